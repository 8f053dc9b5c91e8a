quarnkit_add_fuzzer(predicate DEPS QuarnKit::predicate)
