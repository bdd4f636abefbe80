# The WebAssembly module (build/web, `scripts/build --web`), checked from the
# native tree against the native build: every scenario through the module
# under Node, compared with its expected report as the native runner's are;
# every refused scenario with the native runner's own error line; the
# JavaScript interface (node --test); and the module loaded in a real
# browser. Registered whether or not the module is built yet: without it
# they fail, so that a plain ctest cannot pass without them.
set(WEB_MODULE ${CMAKE_SOURCE_DIR}/build/web/bin/zorv-plugin.mjs)
if(NOT TARGET zorv-scenario)
    return()
endif()
find_program(NODE node REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# The native side of the tempo value check.
add_executable(zorv-tempo-values ${CMAKE_SOURCE_DIR}/tests/web/tempo_value_table.cpp
                                 ${CMAKE_SOURCE_DIR}/tempo/tempo_value.cpp)

set(WEB_RUNNER ${CMAKE_SOURCE_DIR}/preview/node/run-scenario.js)
set(SCENARIO_DIR ${CMAKE_SOURCE_DIR}/tests/scenarios)
file(GLOB WEB_SCENARIOS CONFIGURE_DEPENDS ${SCENARIO_DIR}/*.json)
list(FILTER WEB_SCENARIOS EXCLUDE REGEX "\\.expected\\.json$")
foreach(scenario ${WEB_SCENARIOS})
    get_filename_component(name ${scenario} NAME_WE)
    add_test(NAME web.scenario.${name}
        COMMAND bash -c "set -o pipefail; \"$0\" \"$1\" \"$2\" | \"$3\" \"$4\" \"$5\""
                ${NODE} ${WEB_RUNNER} ${scenario}
                ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/compare-report
                ${SCENARIO_DIR}/${name}.expected.json)
    set_tests_properties(web.scenario.${name} PROPERTIES LABELS web TIMEOUT 120
        ENVIRONMENT "ZORV_PLUGIN_MODULE=${WEB_MODULE}")
endforeach()

# A refused scenario: exit status 2, no report, and on standard error the
# very line the native runner prints.
file(GLOB WEB_INVALID_SCENARIOS CONFIGURE_DEPENDS ${SCENARIO_DIR}/invalid/*.json)
foreach(scenario ${WEB_INVALID_SCENARIOS})
    get_filename_component(name ${scenario} NAME_WE)
    add_test(NAME web.scenario.invalid.${name}
        COMMAND bash -c [=[
            expected=$("$2" "$3" 2>&1 >/dev/null)
            out=$("$0" "$1" "$3" 2>"$ERR_FILE"); status=$?
            err=$(cat "$ERR_FILE"); rm -f "$ERR_FILE"
            echo "status $status, stderr: $err"
            [ "$status" -eq 2 ] || exit 1
            [ -z "$out" ] || { echo "a report was printed"; exit 1; }
            [ "$err" = "$expected" ] || { echo "the native runner: $expected"; exit 1; }
        ]=] ${NODE} ${WEB_RUNNER} $<TARGET_FILE:zorv-scenario> ${scenario})
    set_tests_properties(web.scenario.invalid.${name} PROPERTIES LABELS web TIMEOUT 120
        ENVIRONMENT "ZORV_PLUGIN_MODULE=${WEB_MODULE};ERR_FILE=${CMAKE_BINARY_DIR}/web-invalid-${name}.err")
endforeach()

add_test(NAME web.interface
         COMMAND ${NODE} --test ${CMAKE_SOURCE_DIR}/tests/web/plugin.test.mjs)
set_tests_properties(web.interface PROPERTIES LABELS web TIMEOUT 300
    ENVIRONMENT "ZORV_PLUGIN_MODULE=${WEB_MODULE};ZORV_NATIVE_RUNNER=$<TARGET_FILE:zorv-scenario>;ZORV_TEMPO_VALUES=$<TARGET_FILE:zorv-tempo-values>")

# Needs esbuild, chromium and chromedriver: a missing one fails the test.
find_program(ESBUILD esbuild)
find_program(CHROMEDRIVER chromedriver)
add_test(NAME web.browser
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/web/browser_test.py
                 --esbuild ${ESBUILD} --chromedriver ${CHROMEDRIVER}
                 --runner $<TARGET_FILE:zorv-scenario>
                 --work ${CMAKE_BINARY_DIR}/web-browser
                 ${SCENARIO_DIR}/dialog-remove-declined-confirmed-cancel.json
                 ${SCENARIO_DIR}/ramp-start-mid-measure.json
                 ${SCENARIO_DIR}/invalid/too-many-measures.json)
set_tests_properties(web.browser PROPERTIES LABELS web TIMEOUT 300)
