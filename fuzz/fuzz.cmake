# libFuzzer targets. The code under test must carry the fuzzer's coverage
# instrumentation and the sanitizers too, so the plug-in, the emulation and
# the stand-in host are compiled once more here with the fuzzing flags
# instead of reusing the uninstrumented libraries of this tree.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "The fuzz targets need clang (use the \"fuzz\" preset)")
endif()

set(FUZZ_COMPILE_FLAGS -fsanitize=fuzzer-no-link,address,undefined
    -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g)
set(FUZZ_LINK_FLAGS -fsanitize=fuzzer,address,undefined)

function(fuzz_instrument target)
    target_compile_options(${target} PRIVATE ${FUZZ_COMPILE_FLAGS})
    target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
endfunction()

add_library(fuzz_emu STATIC ${EMU_SOURCES})
fuzz_instrument(fuzz_emu)
target_link_libraries(fuzz_emu PUBLIC ${CMAKE_DL_LIBS})

add_library(fuzz_plugin STATIC ${PLUGIN_SOURCES} ${RES_SOURCE})
fuzz_instrument(fuzz_plugin)
target_link_libraries(fuzz_plugin PUBLIC fuzz_emu)

add_library(fuzz_testhost STATIC ${TESTHOST_CORE_SOURCES})
fuzz_instrument(fuzz_testhost)
target_link_libraries(fuzz_testhost PUBLIC fuzz_emu nlohmann_json::nlohmann_json)

# One executable per fuzz/fuzz_<name>.cpp.
file(GLOB FUZZ_TARGET_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/fuzz_*.cpp)
set(FUZZ_TARGETS "")
foreach(source ${FUZZ_TARGET_SOURCES})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source})
    fuzz_instrument(${name})
    target_link_options(${name} PRIVATE ${FUZZ_LINK_FLAGS})
    target_link_libraries(${name} PRIVATE fuzz_plugin fuzz_testhost)
    list(APPEND FUZZ_TARGETS ${name})
endforeach()
add_custom_target(fuzz_targets DEPENDS ${FUZZ_TARGETS})
