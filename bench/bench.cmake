# Benchmarks of the plug-in's hot paths against a lean host (Google
# Benchmark). The plug-in is linked statically so that its own malloc calls
# can be counted through the linker's --wrap.
find_package(benchmark REQUIRED)

file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
add_executable(zorv_bench ${BENCH_SOURCES})
target_link_libraries(zorv_bench PRIVATE zorv_plugin_static benchmark::benchmark)
target_link_options(zorv_bench PRIVATE
    -Wl,--wrap=malloc -Wl,--wrap=calloc -Wl,--wrap=realloc)
