# Turns the compiled .res file into a C++ array the native module exports, so
# the emulation's resource functions find the module's own resources.
file(READ ${INPUT} bytes HEX)
string(LENGTH "${bytes}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," body "${bytes}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" body "${body}")
file(WRITE ${OUTPUT}
"// Generated from the compiled resource script; do not edit.\n"
"#include <stddef.h>\n"
"extern \"C\" __attribute__((visibility(\"default\"))) const unsigned char ZorvModuleResources[${size}] = {\n"
"${body}\n};\n"
"extern \"C\" __attribute__((visibility(\"default\"))) const size_t ZorvModuleResourcesSize = ${size};\n")
