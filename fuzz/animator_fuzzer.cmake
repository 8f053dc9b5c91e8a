quarnkit_add_fuzzer(animator DEPS QuarnKit::animation)
