# Linux: the plug-in as a shared module over the Win32 emulation, the native
# scenario runner and the unit tests.

if(ZORV_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

include_directories(${CMAKE_SOURCE_DIR})

# The emulation: one shared library, so the plug-in module and the host that
# loads it see the same modules, registry, windows and message boxes.
file(GLOB EMU_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/winapi/emu/*.cpp)
add_library(winemu SHARED ${EMU_SOURCES})
target_link_libraries(winemu PUBLIC ${CMAKE_DL_LIBS})

include(${CMAKE_SOURCE_DIR}/cmake/embedded_resources.cmake)
add_custom_target(compiled_resources DEPENDS ${RES_FILE})

# Plug-in objects, built once for the module, its test probe and the tools.
add_library(zorv_plugin_objects OBJECT ${PLUGIN_SOURCES} ${RES_SOURCE})
set_target_properties(zorv_plugin_objects PROPERTIES
    POSITION_INDEPENDENT_CODE ON CXX_VISIBILITY_PRESET hidden)
# Without this g++ marks some statics UNIQUE and dlclose keeps them alive.
target_compile_options(zorv_plugin_objects PRIVATE $<$<CXX_COMPILER_ID:GNU>:-fno-gnu-unique>)

function(zorv_module name)
    add_library(${name} MODULE $<TARGET_OBJECTS:zorv_plugin_objects> ${ARGN})
    set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".fxt"
        CXX_VISIBILITY_PRESET hidden)
    target_compile_options(${name} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-fno-gnu-unique>)
    target_link_libraries(${name} PRIVATE winemu)
    target_link_options(${name} PRIVATE -Wl,--no-undefined)
endfunction()

zorv_module(ZorvTempo64)

# A static copy of the plug-in for tools that call its inner functions
# directly (benchmarks, fuzz targets).
add_library(zorv_plugin_static STATIC ${PLUGIN_SOURCES} ${RES_SOURCE})
target_link_libraries(zorv_plugin_static PUBLIC winemu)

# The stand-in host's logic, shared with FINALE.EXE.
file(GLOB TESTHOST_CORE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/testhost/core/*.cpp)
file(GLOB TESTHOST_NATIVE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/testhost/native/*.cpp)
add_library(testhost_core STATIC ${TESTHOST_CORE_SOURCES})
target_link_libraries(testhost_core PUBLIC winemu)
find_package(nlohmann_json 3 REQUIRED)
target_link_libraries(testhost_core PUBLIC nlohmann_json::nlohmann_json)

if(TESTHOST_NATIVE_SOURCES)
    add_executable(zorv-scenario ${TESTHOST_NATIVE_SOURCES})
    target_link_libraries(zorv-scenario PRIVATE testhost_core)
    add_dependencies(zorv-scenario ZorvTempo64)
endif()

if(ZORV_TESTS)
    enable_testing()
    include(${CMAKE_SOURCE_DIR}/tests/tests.cmake)
endif()
if(ZORV_BENCH)
    include(${CMAKE_SOURCE_DIR}/bench/bench.cmake OPTIONAL)
endif()
if(ZORV_FUZZ)
    include(${CMAKE_SOURCE_DIR}/fuzz/fuzz.cmake OPTIONAL)
endif()
