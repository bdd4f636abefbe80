# The dialog and the other resources come from the one .rc script, compiled
# by the same windres as the DLL's, and travel inside a module built without
# a resource section of its own (the native module, the WebAssembly module)
# as a generated source. Sets RES_FILE (the compiled .res) and RES_SOURCE
# (the source that carries it).
find_program(WINDRES x86_64-w64-mingw32-windres REQUIRED)

set(RES_FILE ${CMAKE_BINARY_DIR}/ZorvTempo.res)
file(GLOB RESOURCE_INPUTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*)
add_custom_command(
    OUTPUT ${RES_FILE}
    COMMAND ${WINDRES} --input-format=rc --output-format=res
            -I${CMAKE_SOURCE_DIR}/resources ${RESOURCE_SCRIPT} -o ${RES_FILE}
    DEPENDS ${RESOURCE_INPUTS}
    COMMENT "Compiling the resource script")
set(RES_SOURCE ${CMAKE_BINARY_DIR}/embedded_resources.cpp)
add_custom_command(
    OUTPUT ${RES_SOURCE}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${RES_FILE} -DOUTPUT=${RES_SOURCE}
            -P ${CMAKE_SOURCE_DIR}/cmake/embed_resources.cmake
    DEPENDS ${RES_FILE} ${CMAKE_SOURCE_DIR}/cmake/embed_resources.cmake)
