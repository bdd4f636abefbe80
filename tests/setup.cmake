# The set-up the scripts do for a new machine: a program they need that is
# not there stops them at once, naming the Debian package to install.
set(SETUP_CHECKS ${CMAKE_SOURCE_DIR}/tests/setup)
foreach(entry "demo|winepath|wine" "test|wineserver|wine" "package|x86_64-w64-mingw32-windres|binutils-mingw-w64-x86-64"
              "fuzz|clang++|clang" "bench|ninja|ninja-build" "preview|fluidsynth|fluidsynth|--wav"
              "build|em++|emscripten|--web" "test|chromedriver|chromium-driver"
              "test|WebKitWebDriver|webkit2gtk-driver" "test|firefox-esr|firefox-esr"
              "preview|node|nodejs" "preview|em++|emscripten" "preview|wineserver|wine|--windows"
              "demo|node|nodejs")
    string(REPLACE "|" ";" fields "${entry}")
    list(GET fields 0 script)
    list(GET fields 1 program)
    list(GET fields 2 package)
    set(arguments "")
    list(LENGTH fields count)
    if(count GREATER 3)
        list(SUBLIST fields 3 -1 arguments)
    endif()
    add_test(NAME setup.${script}_without_${program}
             COMMAND ${SETUP_CHECKS}/missing-program ${script} ${program} ${package} ${arguments})
    set_tests_properties(setup.${script}_without_${program} PROPERTIES LABELS setup TIMEOUT 120)
endforeach()

add_test(NAME setup.installs_what_is_missing COMMAND ${SETUP_CHECKS}/installs-what-is-missing)
set_tests_properties(setup.installs_what_is_missing PROPERTIES LABELS setup TIMEOUT 60)

add_test(NAME setup.npm_installs COMMAND ${SETUP_CHECKS}/npm-installs)
set_tests_properties(setup.npm_installs PROPERTIES LABELS setup TIMEOUT 60)
