# The tool's include resolver: names and URLs a template gives for included
# files, which must never lead outside the includes folder. The library form
# (replayed by the tool's tests from fuzz/regressions/include_resolver) holds
# the harness only, so that it links beside the test main.
if(QUARNKIT_BUILD_TOOLS)
  quarnkit_add_fuzzer(include_resolver DEPS quarnkit_tool)
  target_compile_definitions(quarnkit_fuzz_include_resolver PRIVATE QUARNKIT_FUZZ_HARNESS_ONLY)
endif()
