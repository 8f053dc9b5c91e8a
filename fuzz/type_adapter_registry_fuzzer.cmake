quarnkit_add_fuzzer(type_adapter_registry DEPS QuarnKit::coding)
