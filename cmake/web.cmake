# WebAssembly (emscripten): the plug-in's own sources, the Win32 emulation and
# the stand-in host's core in one module, zorv-plugin.mjs, that runs a
# scenario and answers its report. One file: the WebAssembly travels inside
# the JavaScript, so it loads from a file path under Node and from file://
# in a browser.

include_directories(${CMAKE_SOURCE_DIR})

# nlohmann-json is header-only and not part of emscripten's sysroot; the
# host gets a copy of the build machine's headers and nothing else of
# /usr/include.
find_path(NLOHMANN_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(COPY ${NLOHMANN_DIR}/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/third_party)

# The scenario reader catches the JSON parser's exceptions: WebAssembly's own
# exception handling, which costs nothing on paths that do not throw.
add_compile_options(-fwasm-exceptions)
add_link_options(-fwasm-exceptions)

include(${CMAKE_SOURCE_DIR}/cmake/embedded_resources.cmake)

file(GLOB EMU_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/winapi/emu/*.cpp)
file(GLOB TESTHOST_CORE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/testhost/core/*.cpp)
file(GLOB WEB_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/preview/wasm/*.cpp)
set(INSTANTIATE_JS ${CMAKE_SOURCE_DIR}/preview/wasm/instantiate.js)

# Emscripten's JavaScript optimizer imports Debian's node modules (acorn),
# which a node of another origin does not search by itself.
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)

add_executable(zorv-plugin ${PLUGIN_SOURCES} ${RES_SOURCE} ${EMU_SOURCES}
               ${TESTHOST_CORE_SOURCES} ${CMAKE_SOURCE_DIR}/testhost/native/emulated_platform.cpp
               ${WEB_SOURCES})
set_target_properties(zorv-plugin PROPERTIES SUFFIX ".mjs" LINK_DEPENDS ${INSTANTIATE_JS})
target_include_directories(zorv-plugin SYSTEM PRIVATE ${CMAKE_BINARY_DIR}/third_party)
# ENVIRONMENT=web: the loader then needs nothing of Node's (no require, no
# __dirname, which an ES module does not have) and runs unchanged under Node.
target_link_options(zorv-plugin PRIVATE
    -sMODULARIZE -sEXPORT_ES6 -sSINGLE_FILE -sENVIRONMENT=web
    -sEXPORT_NAME=createZorvPlugin -sALLOW_MEMORY_GROWTH -sFILESYSTEM=0
    -sEXPORTED_FUNCTIONS=_malloc,_free
    # Windows maps nothing in the lowest 64 KiB, so a pointer there is taken
    # for a resource or ordinal number (IS_INTRESOURCE); data and heap start
    # above it here too.
    -sGLOBAL_BASE=65536
    # The stack below the data: an overflow leaves memory and traps instead of
    # overwriting the statics. 1 MiB, as a Windows thread has by default.
    -Wl,--stack-first -sTOTAL_STACK=1048576
    # Every session makes a new instance; a small first memory (it grows on
    # demand) makes that several times cheaper.
    -sINITIAL_MEMORY=4194304
    --pre-js ${INSTANTIATE_JS})
