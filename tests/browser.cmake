# The preview page: its own modules under Node, and the single file in
# headless Chromium against the command-line preview. scripts/test builds
# the page (build/page) before CTest runs.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(ZORV_PAGE_FILE ${CMAKE_SOURCE_DIR}/build/page/ZorvTempo-Preview.html)

add_test(NAME page.modules
         COMMAND node --test ${CMAKE_SOURCE_DIR}/tests/browser/page-modules.test.mjs)
set_tests_properties(page.modules PROPERTIES LABELS page TIMEOUT 60)

add_test(NAME page.browser
         COMMAND ${Python3_EXECUTABLE} -m unittest -v test_page
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/browser)
set_tests_properties(page.browser PROPERTIES
    LABELS page TIMEOUT 600 RUN_SERIAL TRUE
    ENVIRONMENT "ZORV_PAGE=${ZORV_PAGE_FILE};PYTHONDONTWRITEBYTECODE=1")
