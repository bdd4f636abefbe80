# scripts/preview: MusicXML reading, musical arguments and bad input, the
# duration fit, and the ramp to hear (MIDI timing, click onsets in the audio).
# Run with Debian's interpreter, which sees python3-mido.
if(NOT TARGET zorv-scenario)
    return()
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)

foreach(suite musicxml arguments fit playback tempo_map)
    add_test(NAME preview.${suite}
             COMMAND ${Python3_EXECUTABLE} -m unittest -v test_${suite}
             WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/preview)
    set_tests_properties(preview.${suite} PROPERTIES
        LABELS preview TIMEOUT 300
        ENVIRONMENT "ZORV_SCENARIO_RUNNER=$<TARGET_FILE:zorv-scenario>;PYTHONDONTWRITEBYTECODE=1")
endforeach()
