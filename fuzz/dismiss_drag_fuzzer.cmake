quarnkit_add_fuzzer(dismiss_drag DEPS QuarnKit::ui)
