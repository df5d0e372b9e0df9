# Writes the bytes of IN into OUT as a C++ definition, so that a program
# carries a file within it (vesk's compiled resources, vesk-sim's demo tour):
#   extern "C" const unsigned char SYMBOL[];      the bytes, then a 0
#   extern "C" const unsigned long SYMBOLSize;    the number of bytes, without the 0
# HEADER, when given, is included first: the header that declares the two.
# Run as: cmake -DIN=... -DOUT=... -DSYMBOL=... [-DHEADER=...] -P embed.cmake
file(READ "${IN}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(([^,]+,){16})" "\\1\n  " bytes "${bytes}")
get_filename_component(name "${IN}" NAME)
set(include "")
if(HEADER)
  set(include "#include \"${HEADER}\"\n\n")
endif()
file(WRITE "${OUT}.tmp"
  "// Generated from ${name} by cmake/embed.cmake; do not edit.\n"
  "${include}"
  "extern \"C\" const unsigned char ${SYMBOL}[] = {\n  ${bytes}0};\n"
  "extern \"C\" const unsigned long ${SYMBOL}Size = ${size};\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
