# Writes OUTPUT, a C++ source holding every FORMS_DIR/*.form as data, named
# by its file name without the extension, in the table TABLE. Run as:
# cmake -DFORMS_DIR=... -DOUTPUT=... -DTABLE=... [-DREGISTER=ON] -P EmbedForms.cmake
# With REGISTER, the table registers itself when the program starts.
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
set(registration "")
if(REGISTER)
  set(registration "
namespace {
const bool Registered = (RegisterCompiledForms(${TABLE}), true);
}
")
endif()
file(WRITE "${OUTPUT}.new"
"// Generated from ${FORMS_DIR}/*.form; do not edit.
#include \"FormResources.h\"

${data}
extern const TCompiledForm ${TABLE}[] = {
${table}    {nullptr, nullptr, 0},
};
${registration}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
