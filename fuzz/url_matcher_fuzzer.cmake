quarnkit_add_fuzzer(url_matcher DEPS QuarnKit::routing)
