# The preview page: its own modules under Node, and the single file in
# Chromium, Firefox ESR and WebKitGTK, one shared list of cases
# (tests/browser/cases.mjs) held against the command-line preview.
# scripts/test builds the page (build/page) and installs the test-only npm
# modules (tests/browser/node_modules) before CTest runs.
find_program(NODE_EXECUTABLE NAMES node nodejs REQUIRED)
set(ZORV_PAGE_FILE ${CMAKE_SOURCE_DIR}/build/page/ZorvTempo-Preview.html)

add_test(NAME page.modules
         COMMAND ${NODE_EXECUTABLE} --test ${CMAKE_SOURCE_DIR}/tests/browser/page-modules.test.mjs)
set_tests_properties(page.modules PROPERTIES LABELS page TIMEOUT 60)

# Each engine has its own display (Xvfb picks the number), driver port,
# profile and scratch folder, and the page file is only ever replaced whole
# (build.mjs renames it into place). Still, each engine's list runs alone:
# beside the other entries and another browser on two cores, a fresh
# machine's run took as long in all, and WebKit's cases waited past their
# limits. The few cases that hold the page to the wall clock (a hostile file
# answered within 2 s, no pause of 2.5 s while a large score is read) are
# entries of their own, so that a miss of theirs is told apart from the rest.
foreach(engine chromium firefox webkit)
    add_test(NAME page.${engine}
             COMMAND ${NODE_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/browser/run.mjs ${engine} --untimed)
    set_tests_properties(page.${engine} PROPERTIES
        LABELS page TIMEOUT 1500 RUN_SERIAL TRUE ENVIRONMENT "ZORV_PAGE=${ZORV_PAGE_FILE}")
    add_test(NAME page.${engine}.timed
             COMMAND ${NODE_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/browser/run.mjs ${engine} --timed)
    set_tests_properties(page.${engine}.timed PROPERTIES
        LABELS page TIMEOUT 600 RUN_SERIAL TRUE ENVIRONMENT "ZORV_PAGE=${ZORV_PAGE_FILE}")
endforeach()
