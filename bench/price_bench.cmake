add_executable(price_bench ${CMAKE_CURRENT_LIST_DIR}/price_bench.cc)
target_link_libraries(price_bench PRIVATE QuarnKit::formatting ICU::uc ICU::i18n
  benchmark::benchmark)
target_compile_options(price_bench PRIVATE ${QUARNKIT_WARNINGS})
