# Win64: the plug-in DLL ZorvTempo64.fxt and the stand-in host FINALE.EXE.
enable_language(RC)
include_directories(${CMAKE_SOURCE_DIR})
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_SOURCE_DIR}/resources")

# Static runtime: the DLL imports only system DLLs.
set(STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

add_library(ZorvTempo64 SHARED ${PLUGIN_SOURCES} ${RESOURCE_SCRIPT}
            ${CMAKE_SOURCE_DIR}/resources/ZorvTempo64.def)
set_target_properties(ZorvTempo64 PROPERTIES PREFIX "" SUFFIX ".fxt")
target_link_options(ZorvTempo64 PRIVATE ${STATIC_RUNTIME} -Wl,--enable-stdcall-fixup -s)
target_link_libraries(ZorvTempo64 PRIVATE user32 advapi32)

# nlohmann-json is header-only; the cross compiler does not search the
# build machine's /usr/include, so the host gets its own copy of the headers.
find_path(NLOHMANN_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(COPY ${NLOHMANN_DIR}/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/third_party)

file(GLOB TESTHOST_CORE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/testhost/core/*.cpp)
file(GLOB TESTHOST_WINDOWS_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/testhost/windows/*.cpp)
add_executable(FINALE ${TESTHOST_CORE_SOURCES} ${TESTHOST_WINDOWS_SOURCES})
set_target_properties(FINALE PROPERTIES OUTPUT_NAME FINALE SUFFIX ".EXE")
target_include_directories(FINALE SYSTEM PRIVATE ${CMAKE_BINARY_DIR}/third_party)
target_link_options(FINALE PRIVATE ${STATIC_RUNTIME} -municode)
target_link_libraries(FINALE PRIVATE user32 gdi32 advapi32 comctl32)
add_dependencies(FINALE ZorvTempo64)
