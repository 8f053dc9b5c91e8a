# The key-value store's file reader (both formats), with its write-back round trip.
quarnkit_add_fuzzer(key_value_file DEPS QuarnKit::platform)
