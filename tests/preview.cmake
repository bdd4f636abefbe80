# scripts/preview: the JavaScript modules' own tests (node --test), one CTest
# entry per file in preview/test/, and the checks that stay in Python because
# they are independent of the preview's code: MIDI timing as mido reads it,
# click onsets as aubioonset hears them. The preview runs the plug-in's
# WebAssembly module (scripts/build --web); some tests also run scenarios
# through the native runner.
if(NOT TARGET zorv-scenario)
    return()
endif()
find_program(NODE_EXECUTABLE NAMES node nodejs REQUIRED)

file(GLOB PREVIEW_JS_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/preview/test/*.test.js)
# Their time limit is scripts/test's own: a file that spawns the preview a
# hundred times can take minutes beside other entries on a busy machine, and
# only a hung one waits the limit out.
foreach(test_file ${PREVIEW_JS_TESTS})
    get_filename_component(suite ${test_file} NAME_WE)
    add_test(NAME preview.js.${suite}
             COMMAND ${NODE_EXECUTABLE} --test ${test_file}
             WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
    set_tests_properties(preview.js.${suite} PROPERTIES
        LABELS preview TIMEOUT 600
        ENVIRONMENT "ZORV_SCENARIO_RUNNER=$<TARGET_FILE:zorv-scenario>")
endforeach()

# The Python checks, independent of the preview's code, run with Debian's
# interpreter, which sees python3-mido: the playback against the MIDI file,
# the figures a musician reads (the records against the native runner's
# report), and hit points against the MIDI file's own tempo events and a
# brute-force search for the constant tempo.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
foreach(check playback figures hits shapes)
    add_test(NAME preview.${check}
             COMMAND ${Python3_EXECUTABLE} -m unittest -v test_${check}
             WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/preview)
    set_tests_properties(preview.${check} PROPERTIES
        LABELS preview TIMEOUT 600
        ENVIRONMENT "ZORV_NODE=${NODE_EXECUTABLE};PYTHONDONTWRITEBYTECODE=1;ZORV_SCENARIO_RUNNER=$<TARGET_FILE:zorv-scenario>")
endforeach()

# The Node benchmarks still run and print their figure (a benchmark is not
# otherwise run by the tests, and one that no longer loads goes unseen);
# their speed is for scripts/bench to judge.
foreach(bench marks taps plan)
    add_test(NAME bench.${bench}_runs
             COMMAND ${NODE_EXECUTABLE} bench/${bench}.mjs
             WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
    set_tests_properties(bench.${bench}_runs PROPERTIES
        LABELS preview TIMEOUT 600
        PASS_REGULAR_EXPRESSION "(marks_1000_measures_ms|taps_fit_ms|plan_two_runs_ratio) [0-9]"
        FAIL_REGULAR_EXPRESSION "Error")
endforeach()
