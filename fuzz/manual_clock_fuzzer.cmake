# The manual clock's timers driven by random host actions (scheduling, moving,
# invalidating, advancing; actions that re-enter, throw or drop the clock).
quarnkit_add_fuzzer(manual_clock DEPS QuarnKit::platform)
