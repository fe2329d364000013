# Writes the browser page's files (src/web/page/) into one C++ source as raw string
# literals, so that every build carries the page without a file beside the program.
# Run as: cmake -DPAGE_DIR=<src/web/page> -DOUT=<file.cpp> -P embed_page.cmake
set(delimiter "QVPAGE")
function(literal file var)
  file(READ ${file} content)
  string(FIND "${content}" ")${delimiter}\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${file} holds \")${delimiter}\"\", which would end its literal")
  endif()
  set(${var} "R\"${delimiter}(${content})${delimiter}\"" PARENT_SCOPE)
endfunction()

literal(${PAGE_DIR}/page.html html)
literal(${PAGE_DIR}/page.css style)
literal(${PAGE_DIR}/page.js script)
file(GLOB tables ${PAGE_DIR}/texts_*.json)
list(SORT tables)
set(rows "")
set(count 0)
foreach(table ${tables})
  get_filename_component(name ${table} NAME_WE)
  string(REGEX REPLACE "^texts_" "" language ${name})
  literal(${table} texts)
  string(APPEND rows "    {\"${language}\", ${texts}},\n")
  math(EXPR count "${count} + 1")
endforeach()

file(WRITE ${OUT} "// Made from src/web/page/ by cmake/embed_page.cmake at build time: edit those files.
#include \"web/page_files.h\"

const char kPageHtml[] = ${html};
const char kPageStyle[] = ${style};
const char kPageScript[] = ${script};
const PageTexts kPageTexts[] = {
${rows}};
const size_t kPageTextsCount = ${count};
")
