quarnkit_add_fuzzer(coding_toolkit DEPS QuarnKit::coding QuarnKit::feedback)
