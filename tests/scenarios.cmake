# Every tests/scenarios/NAME.json runs through the native runner and its
# report must equal NAME.expected.json as parsed JSON. Files under invalid/
# must be refused with exit status 2, no report, and one line on stderr
# that starts with the key at fault.
if(NOT TARGET zorv-scenario)
    return()
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(SCENARIO_DIR ${CMAKE_SOURCE_DIR}/tests/scenarios)
file(GLOB SCENARIO_FILES CONFIGURE_DEPENDS ${SCENARIO_DIR}/*.json)
list(FILTER SCENARIO_FILES EXCLUDE REGEX "\\.expected\\.json$")

foreach(scenario ${SCENARIO_FILES})
    get_filename_component(name ${scenario} NAME_WE)
    add_test(NAME scenario.${name}
        COMMAND bash -c "set -o pipefail; \"$0\" \"$1\" | \"$2\" \"$3\" \"$4\""
                $<TARGET_FILE:zorv-scenario> ${scenario}
                ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/compare-report
                ${SCENARIO_DIR}/${name}.expected.json)
    set_tests_properties(scenario.${name} PROPERTIES LABELS scenario TIMEOUT 120)
endforeach()

# file name under invalid/ -> the start of the expected error line
set(INVALID_SCENARIOS
    "truncated-json|scenario: not valid JSON"
    "not-an-object|scenario: expected a JSON object"
    "unknown-key|invocation: unknown key"
    "region-three-numbers|invocations[0].region: expected null or an array of 4 integers"
    "version-as-string|host.version: expected an integer"
    "dialog-waits-as-string|host.dialogWaits: expected true or false"
    "check-value-two|invocations[0].user[0].value: expected an integer from 0 to 1"
    "registry-uppercase-hex|registry.UserDialog: expected"
    "too-many-measures|measures: expected at most 32767 measures"
    "missing-unknown-function|host.missing[1]: expected the name of an FX_ function"
    "tempo-measure-too-large|tempo[0][0]: expected an integer from -32768 to 32767")

foreach(entry ${INVALID_SCENARIOS})
    string(REPLACE "|" ";" fields "${entry}")
    list(GET fields 0 name)
    list(GET fields 1 expected)
    add_test(NAME scenario.invalid.${name}
        COMMAND bash -c [=[
            out=$("$0" "$1" 2>"$TMPDIR_ERR" ) ; status=$?
            err=$(cat "$TMPDIR_ERR"); rm -f "$TMPDIR_ERR"
            echo "status $status, stderr: $err"
            [ "$status" -eq 2 ] || exit 1
            [ -z "$out" ] || { echo "a report was printed"; exit 1; }
            [ "$(printf '%s\n' "$err" | wc -l)" -eq 1 ] || { echo "not one line"; exit 1; }
            case "$err" in "$2"*) exit 0 ;; *) echo "expected: $2"; exit 1 ;; esac
        ]=] $<TARGET_FILE:zorv-scenario> ${SCENARIO_DIR}/invalid/${name}.json "${expected}")
    set_tests_properties(scenario.invalid.${name} PROPERTIES
        LABELS scenario ENVIRONMENT "TMPDIR_ERR=${CMAKE_BINARY_DIR}/scenario-invalid-${name}.err")
endforeach()
