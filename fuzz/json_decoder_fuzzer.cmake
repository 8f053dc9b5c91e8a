quarnkit_add_fuzzer(json_decoder DEPS QuarnKit::coding Boost::json)
