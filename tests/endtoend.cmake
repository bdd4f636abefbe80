# The checks of the real Win64 DLL and FINALE.EXE: the DLL's exports,
# imports and size, and the runs under Wine on a virtual display. The
# Windows tree is built separately (scripts/test builds it before ctest);
# its bin folder is ZORV_WINDOWS_BIN.
set(ZORV_WINDOWS_BIN "${CMAKE_SOURCE_DIR}/build/windows/bin" CACHE PATH
    "Folder holding FINALE.EXE and ZorvTempo64.fxt for the Windows checks")

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(WINDOWS_CHECKS ${CMAKE_SOURCE_DIR}/tests/windows)
set(WINE_SESSION_FILE ${CMAKE_BINARY_DIR}/wine-session.env)
set(WINE_TEST_ENVIRONMENT
    ZORV_WINDOWS_BIN=${ZORV_WINDOWS_BIN}
    ZORV_WINE_SESSION=${WINE_SESSION_FILE})

add_test(NAME windows.dll_exports_imports_size
         COMMAND ${Python3_EXECUTABLE} ${WINDOWS_CHECKS}/check_dll.py
                 ${ZORV_WINDOWS_BIN}/ZorvTempo64.fxt)

# One display and one wineserver for all the Wine runs: starting Wine's
# services costs seconds, a run in a live server well under one.
add_test(NAME windows.wine_session_start
         COMMAND ${WINDOWS_CHECKS}/wine-session start ${WINE_SESSION_FILE})
add_test(NAME windows.wine_session_stop
         COMMAND ${WINDOWS_CHECKS}/wine-session stop ${WINE_SESSION_FILE})
# The Wine runs take turns (below), so they are one long chain that waits on
# the wineserver and the display more than it computes: it starts first,
# and the other entries fill the cores around it.
set_tests_properties(windows.wine_session_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300 COST 1000)
set_tests_properties(windows.wine_session_stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)

# Every run shares the prefix's registry, so they take turns.
function(wine_test name)
    add_test(NAME ${name} COMMAND ${WINDOWS_CHECKS}/check ${ARGN})
    set_tests_properties(${name} PROPERTIES
        FIXTURES_REQUIRED wine
        RESOURCE_LOCK wine_prefix
        TIMEOUT 300
        COST 500
        ENVIRONMENT "${WINE_TEST_ENVIRONMENT}")
endfunction()

wine_test(windows.smoke smoke)
wine_test(windows.renamed_host_refused renamed-host)
wine_test(windows.registry_round_trip registry-round-trip)
wine_test(windows.validate validate)
wine_test(windows.release_package_installs package)
# The dialog photographed before the first OK, and before the host's own
# Cancel when the script never clicks OK.
wine_test(windows.screenshot_before_ok screenshot ${WINDOWS_CHECKS}/ok_path.json)
wine_test(windows.screenshot_before_host_cancel screenshot ${WINDOWS_CHECKS}/host_cancel.json)
if(TARGET zorv-scenario)
    wine_test(windows.ok_path_end_to_end ok-path ${WINDOWS_CHECKS}/ok_path.json
              $<TARGET_FILE:zorv-scenario>)
endif()

file(GLOB SCENARIO_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/scenarios/*.json)
foreach(scenario ${SCENARIO_FILES})
    if(scenario MATCHES "\\.expected\\.json$")
        continue()
    endif()
    get_filename_component(name ${scenario} NAME_WE)
    set(expected ${CMAKE_SOURCE_DIR}/tests/scenarios/${name}.expected.json)
    if(EXISTS ${expected})
        wine_test(windows.scenario.${name} scenario ${scenario} ${expected})
    endif()
endforeach()
