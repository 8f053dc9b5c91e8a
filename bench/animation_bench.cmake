# Timing functions and interpolation against hand-written closed forms.
add_executable(animation_bench ${CMAKE_CURRENT_LIST_DIR}/animation_bench.cc)
target_link_libraries(animation_bench PRIVATE QuarnKit::animation benchmark::benchmark)
target_compile_options(animation_bench PRIVATE ${QUARNKIT_WARNINGS})
