# Turns a text file into a C++ array, so that vesk-sim carries its demo tour
# and works wherever it is copied. Run as: cmake -DIN=... -DOUT=... -DSYMBOL=... -P embed.cmake
file(READ "${IN}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
string(REGEX REPLACE "(([^,]+,){16})" "\\1\n    " bytes "${bytes}")
get_filename_component(name "${IN}" NAME)
file(WRITE "${OUT}.tmp"
  "// Generated from ${name} by embed.cmake; do not edit.\n"
  "#include <cstddef>\n\n"
  "namespace vesk_sim {\n\n"
  "extern const char ${SYMBOL}[] = {\n    ${bytes}'\\0'};\n"
  "extern const std::size_t ${SYMBOL}Size = sizeof ${SYMBOL} - 1;\n\n"
  "}  // namespace vesk_sim\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
