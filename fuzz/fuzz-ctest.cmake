# Each fuzz target as a short CTest run in the native tree. The targets live
# in the fuzz tree (clang); a test is reported as skipped when that tree has
# not been built.
set(ZORV_FUZZ_BUILD_DIR ${CMAKE_SOURCE_DIR}/build/fuzz CACHE PATH
    "Build tree of the fuzz preset whose targets CTest runs")
file(GLOB FUZZ_CTEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/fuzz_*.cpp)
foreach(source ${FUZZ_CTEST_SOURCES})
    get_filename_component(target ${source} NAME_WE)
    string(REGEX REPLACE "^fuzz_" "" name ${target})
    add_test(NAME fuzz.${name}
             COMMAND ${CMAKE_SOURCE_DIR}/fuzz/run-target.sh
                     ${ZORV_FUZZ_BUILD_DIR}/bin/${target} ${CMAKE_SOURCE_DIR}/fuzz/corpus/${name} 3)
    set_tests_properties(fuzz.${name} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120 LABELS fuzz)
endforeach()
