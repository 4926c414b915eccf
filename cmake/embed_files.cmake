# cmake -DOUT=FILE.cpp -DDIR=FOLDER -DFILES="a;b" -P embed_files.cmake
# Writes the files of FOLDER as byte arrays into FILE.cpp, with the table
# embeddedFiles() of web/static_files.h.
set(text "// Made by cmake/embed_files.cmake from the files of web/page/; do not edit.\n")
string(APPEND text "#include \"web/static_files.h\"\n\nnamespace vardis::web {\n\nnamespace {\n")
set(entries "")
set(n 0)
foreach(name IN LISTS FILES)
  file(READ "${DIR}/${name}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND text "const unsigned char f${n}[] = {${bytes}0};\n")
  string(APPEND entries
         "      {\"${name}\", std::string_view(reinterpret_cast<const char*>(f${n}), ${size})},\n")
  math(EXPR n "${n} + 1")
endforeach()
string(APPEND text "}  // namespace\n\nconst std::vector<EmbeddedFile>& embeddedFiles() {\n")
string(APPEND text "  static const std::vector<EmbeddedFile> files{\n${entries}  };\n  return files;\n}\n")
string(APPEND text "\n}  // namespace vardis::web\n")
file(WRITE "${OUT}.tmp" "${text}")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
