# Text templates in both modes. The library form (used by the composite-list
# tests to replay fuzz/regressions/text_template) holds the harness only, so
# that it links beside other targets' fuzz entry points.
quarnkit_add_fuzzer(text_template DEPS QuarnKit::composite_list_model)
target_compile_definitions(quarnkit_fuzz_text_template PRIVATE QUARNKIT_FUZZ_HARNESS_ONLY)
