# Unit tests (GoogleTest) against the native module, and the end-to-end
# checks that need the Windows build.
find_package(GTest REQUIRED)

file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*_test.cpp)
file(GLOB PROBE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/probe/*.cpp)

# The plug-in with one extra export that hands tests its inner functions and
# module state; loaded and unloaded like the real module.
zorv_module(ZorvTempo64Probe ${PROBE_SOURCES})

add_executable(zorv_tests ${UNIT_TEST_SOURCES})
target_include_directories(zorv_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(zorv_tests PRIVATE testhost_core GTest::gtest GTest::gtest_main)
add_dependencies(zorv_tests ZorvTempo64 ZorvTempo64Probe compiled_resources)
target_compile_definitions(zorv_tests PRIVATE
    ZORV_RES_FILE="${RES_FILE}"
    ZORV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
# One CTest entry per test binary: every case loads its own copies of the
# module, so a process per case bought no isolation, only a sanitized
# start-up each (seven times the cases' own processor time). One case:
# build/native/bin/zorv_tests --gtest_filter=Suite.Case
add_test(NAME unit.zorv_tests COMMAND zorv_tests --gtest_brief=1)
set_tests_properties(unit.zorv_tests PROPERTIES LABELS unit TIMEOUT 300 COST 20)

include(${CMAKE_SOURCE_DIR}/tests/endtoend.cmake OPTIONAL)

# The UTF-16 buffers are tested as classes, so the test links their source.
target_sources(zorv_tests PRIVATE ${CMAKE_SOURCE_DIR}/host/fin_pi_strings.cpp)

# Replaces operator new[] for the whole process (the module binds to it), so
# it lives in an executable of its own.
add_executable(zorv_oom_tests ${CMAKE_SOURCE_DIR}/tests/unit/oom_main.cpp)
target_include_directories(zorv_oom_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(zorv_oom_tests PRIVATE testhost_core GTest::gtest GTest::gtest_main)
target_link_options(zorv_oom_tests PRIVATE
    -Wl,--export-dynamic-symbol=_Znam -Wl,--export-dynamic-symbol=_ZdaPv
    -Wl,--export-dynamic-symbol=_ZdaPvm)
add_dependencies(zorv_oom_tests ZorvTempo64Probe)
add_test(NAME unit.zorv_oom_tests COMMAND zorv_oom_tests --gtest_brief=1)
set_tests_properties(unit.zorv_oom_tests PROPERTIES LABELS unit TIMEOUT 120)
include(${CMAKE_SOURCE_DIR}/tests/scenarios.cmake)
include(${CMAKE_SOURCE_DIR}/tests/setup.cmake)
include(${CMAKE_SOURCE_DIR}/tests/preview.cmake)
include(${CMAKE_SOURCE_DIR}/tests/browser.cmake)
include(${CMAKE_SOURCE_DIR}/fuzz/fuzz-ctest.cmake)
include(${CMAKE_SOURCE_DIR}/tests/web.cmake)
