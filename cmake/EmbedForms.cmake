# Writes OUTPUT, a C++ source holding every FORMS_DIR/*.form as data, named
# by its file name without the extension. Run as: cmake -DFORMS_DIR=...
# -DOUTPUT=... -P EmbedForms.cmake
file(GLOB forms "${FORMS_DIR}/*.form")
list(SORT forms)
set(data "")
set(table "")
set(index 0)
foreach(form IN LISTS forms)
  get_filename_component(name "${form}" NAME_WE)
  file(READ "${form}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND data "static const unsigned char Form${index}[] = {${bytes}0};\n")
  string(APPEND table "    {\"${name}\", reinterpret_cast<const char*>(Form${index}), sizeof(Form${index}) - 1},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.new"
"// Generated from client/forms/*.form; do not edit.
#include <cstddef>

struct TCompiledForm
{
  const char* Name;
  const char* Text;
  std::size_t Size;
};

${data}
extern const TCompiledForm CompiledForms[] = {
${table}    {nullptr, nullptr, 0},
};
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
