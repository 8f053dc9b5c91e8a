# The tool's include resolver: names and URLs a template gives for included
# files, which must never lead outside the includes folder. The resolver is
# one file of the tool that needs only the core; the fuzzer compiles it in,
# so that the fuzz preset (which leaves the tool out) builds it too. The
# library form holds the harness only: the tool's tests link it beside the
# tool to replay fuzz/regressions/include_resolver.
quarnkit_add_fuzzer(include_resolver DEPS QuarnKit::core)
target_compile_definitions(quarnkit_fuzz_include_resolver PRIVATE QUARNKIT_FUZZ_HARNESS_ONLY)
if(TARGET fuzz_include_resolver)
  target_sources(fuzz_include_resolver PRIVATE
    ${PROJECT_SOURCE_DIR}/tools/quarnkit/host/include_folder.cc)
endif()
