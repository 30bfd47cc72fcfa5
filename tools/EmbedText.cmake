# Writes a text file into a C++ source as a byte array, so a tool carries the file inside it:
#   cmake -DIN=FILE -DOUT=SOURCE.cpp -DSYMBOL=kName -P EmbedText.cmake
# defines `extern const char kName[]` (the bytes and a closing 0) and
# `extern const std::size_t kNameSize` (the bytes without the 0).
file(READ "${IN}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# 20 bytes a line.
string(REGEX REPLACE "((0x..,){20})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUT}.tmp"
  "// Generated from ${IN} by EmbedText.cmake; do not edit.\n#include <cstddef>\n"
  "extern const char ${SYMBOL}[];\nextern const std::size_t ${SYMBOL}Size;\n"
  "const char ${SYMBOL}[] = {\n${bytes}0x00};\nconst std::size_t ${SYMBOL}Size = ${size};\n")
file(RENAME "${OUT}.tmp" "${OUT}")
