# Writes OUTPUT, a C++ source holding the files FILES (paths joined by |)
# as PageFiles(): cmake -DOUTPUT=... -DFILES=... -P embed_page.cmake
set(types_html "text/html; charset=utf-8")
set(types_css "text/css; charset=utf-8")
set(types_js "text/javascript; charset=utf-8")
set(types_csv "text/csv; charset=utf-8")
set(arrays "")
set(entries "")
set(index 0)
string(REPLACE "|" ";" FILES "${FILES}")
foreach(file IN LISTS FILES)
  get_filename_component(name "${file}" NAME)
  get_filename_component(extension "${file}" LAST_EXT)
  string(SUBSTRING "${extension}" 1 -1 extension)
  set(type "${types_${extension}}")
  if(NOT type)
    message(FATAL_ERROR "no content type for ${name}")
  endif()
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" length)
  math(EXPR size "${length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char kFile${index}[] = {${bytes}0};\n")
  string(APPEND entries "    {\"${name}\", \"${type}\", {reinterpret_cast<const char*>(kFile${index}), ${size}}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.new" "// Generated from host/serve/page/ by embed_page.cmake: do not edit.
#include \"page_files.h\"

namespace gauge::serve {
namespace {
${arrays}
const PageFile kFiles[] = {
${entries}};
}  // namespace

std::span<const PageFile> PageFiles() { return kFiles; }

}  // namespace gauge::serve
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
