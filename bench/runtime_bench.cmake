# Runtime hops and task spawns against the bare Asio round trips.
add_executable(runtime_bench ${CMAKE_CURRENT_LIST_DIR}/runtime_bench.cc)
target_link_libraries(runtime_bench PRIVATE QuarnKit::platform benchmark::benchmark)
target_compile_options(runtime_bench PRIVATE ${QUARNKIT_WARNINGS})
