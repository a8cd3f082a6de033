# SPDX-License-Identifier: GPL-3.0-or-later
# Writes OUT, a C++ source holding the bytes of FILES ("name=path;...") as the
# table NS::TABLE of ui::BuiltInFile (declared in HEADER), so the program
# carries them itself: the web server serves its pages without touching the
# file system, and a new folder gets the delivered files wherever the
# program lies.
set(code "// Made by cmake/EmbedFiles.cmake; not to be edited.\n#include \"${HEADER}\"\n\nnamespace ${NS} {\nnamespace {\n")
set(table "")
set(i 0)
foreach(entry IN LISTS FILES)
  string(FIND "${entry}" "=" eq)
  string(SUBSTRING "${entry}" 0 ${eq} name)
  math(EXPR from "${eq} + 1")
  string(SUBSTRING "${entry}" ${from} -1 path)
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  # Lines of a sensible length for compilers and editors.
  string(REGEX REPLACE "(('\\\\x..',){32})" "\\1\n" bytes "${bytes}")
  string(APPEND code "const char f${i}[] = {\n${bytes}'\\0'};\n")
  string(APPEND table "    {\"${name}\", {f${i}, ${size}}},\n")
  math(EXPR i "${i} + 1")
endforeach()
string(APPEND code "} // namespace\n\nconst ui::BuiltInFile ${TABLE}[] = {\n${table}};\nconst int ${TABLE}Count = ${i};\n\n} // namespace ${NS}\n")
file(WRITE "${OUT}.new" "${code}")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")
