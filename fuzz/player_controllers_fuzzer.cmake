quarnkit_add_fuzzer(player_controllers DEPS QuarnKit::media)
