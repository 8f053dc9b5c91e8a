# Resource downloads through ResourceDownloader against libcurl's multi
# interface writing the same files, over a loopback server.
add_executable(download_bench ${CMAKE_CURRENT_LIST_DIR}/download_bench.cc)
target_include_directories(download_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(download_bench PRIVATE
  QuarnKit::download quarnkit_testing_http CURL::libcurl benchmark::benchmark)
target_compile_options(download_bench PRIVATE ${QUARNKIT_WARNINGS})
