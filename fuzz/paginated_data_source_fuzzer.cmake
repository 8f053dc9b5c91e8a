quarnkit_add_fuzzer(paginated_data_source DEPS QuarnKit::paging)
