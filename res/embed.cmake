# Writes the bytes of INPUT as the definition of g_veskResources into OUTPUT.
# Run with cmake -P at build time, whenever INPUT changes.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REPEAT "0x..," 16 row)
string(REGEX REPLACE "(${row})" "  \\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT}; do not edit.\n"
  "#include \"vesk_res.h\"\n\n"
  "extern \"C\" const unsigned char g_veskResources[] = {\n${bytes}\n};\n"
  "extern \"C\" const unsigned long g_veskResourcesSize = ${size};\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
