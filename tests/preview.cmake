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
foreach(test_file ${PREVIEW_JS_TESTS})
    get_filename_component(suite ${test_file} NAME_WE)
    add_test(NAME preview.js.${suite}
             COMMAND ${NODE_EXECUTABLE} --test ${test_file}
             WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
    set_tests_properties(preview.js.${suite} PROPERTIES
        LABELS preview TIMEOUT 300
        ENVIRONMENT "ZORV_SCENARIO_RUNNER=$<TARGET_FILE:zorv-scenario>")
endforeach()

# Run with Debian's interpreter, which sees python3-mido.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME preview.playback
         COMMAND ${Python3_EXECUTABLE} -m unittest -v test_playback
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/preview)
set_tests_properties(preview.playback PROPERTIES
    LABELS preview TIMEOUT 300
    ENVIRONMENT "ZORV_NODE=${NODE_EXECUTABLE};PYTHONDONTWRITEBYTECODE=1")

# The figures a musician reads, worked out again in Python, the records
# against the native runner's report.
add_test(NAME preview.figures
         COMMAND ${Python3_EXECUTABLE} -m unittest -v test_figures
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/preview)
set_tests_properties(preview.figures PROPERTIES
    LABELS preview TIMEOUT 300
    ENVIRONMENT "ZORV_NODE=${NODE_EXECUTABLE};PYTHONDONTWRITEBYTECODE=1;ZORV_SCENARIO_RUNNER=$<TARGET_FILE:zorv-scenario>")

# Hit points against the MIDI file's own tempo events and a brute-force
# search for the constant tempo.
add_test(NAME preview.hits
         COMMAND ${Python3_EXECUTABLE} -m unittest -v test_hits
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/preview)
set_tests_properties(preview.hits PROPERTIES
    LABELS preview TIMEOUT 300
    ENVIRONMENT "ZORV_NODE=${NODE_EXECUTABLE};PYTHONDONTWRITEBYTECODE=1")
