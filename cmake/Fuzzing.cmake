# libFuzzer builds (ZK405_BUILD_FUZZ, the fuzz preset): every object carries the fuzzer's coverage
# instrumentation, on top of the sanitizers that a fuzz build always has (see ZK405_SANITIZE), so
# that the libraries the fuzz targets link are instrumented like the targets themselves. Only the
# targets in fuzz/ link libFuzzer's main.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "The fuzz targets need clang (cmake --preset fuzz)")
endif()
add_compile_options(-fsanitize=fuzzer-no-link)
