# Writes the report page's template into a C++ header, so that the tool
# (on Linux and on Windows alike) carries the page whole and reads nothing
# at run time. The chart library comes from node_modules, installed from
# package-lock.json; the page's own script and style from this folder.
#
#   cmake -DPAGE_DIR=... -DMODULES=.../node_modules -DOUT=.../report_page.h -P embed.cmake
#
# The header holds the page in five pieces, around the three things the
# tool fills in when it writes a page: the script's hash (for the page's
# content security policy), the data, and nothing else; the script itself
# is a piece of its own so that its hash can be taken.

file(READ ${PAGE_DIR}/page.html html)
file(READ ${PAGE_DIR}/page.css page_css)
file(READ ${PAGE_DIR}/page.js page_js)
file(READ ${MODULES}/uplot/dist/uPlot.min.css library_css)
file(READ ${MODULES}/uplot/dist/uPlot.iife.min.js library_js)

string(REPLACE "@LIBRARY_CSS@" "${library_css}" html "${html}")
string(REPLACE "@PAGE_CSS@" "${page_css}" html "${html}")
set(script "${library_js}\n${page_js}")

# Nothing inlined may end its element early, nor end the raw string.
foreach(part library_css page_css library_js page_js)
  string(TOLOWER "${${part}}" lower)
  string(FIND "${lower}" "</script" at_script)
  string(FIND "${lower}" "</style" at_style)
  string(FIND "${${part}}" ")norvi_page\"" at_end)
  if(NOT at_script EQUAL -1 OR NOT at_style EQUAL -1 OR NOT at_end EQUAL -1)
    message(FATAL_ERROR "${part} holds text that would end its element or the header's string")
  endif()
endforeach()

# html = piece0 @SCRIPT_HASH@ piece1 @DATA@ piece2 @SCRIPT@ piece3
string(FIND "${html}" "@SCRIPT_HASH@" at_hash)
string(FIND "${html}" "@DATA@" at_data)
string(FIND "${html}" "@SCRIPT@" at_script)
if(at_hash EQUAL -1 OR at_data EQUAL -1 OR at_script EQUAL -1)
  message(FATAL_ERROR "page.html lacks @SCRIPT_HASH@, @DATA@ or @SCRIPT@")
endif()
string(SUBSTRING "${html}" 0 ${at_hash} piece0)
math(EXPR from "${at_hash} + 13")
math(EXPR length "${at_data} - ${from}")
string(SUBSTRING "${html}" ${from} ${length} piece1)
math(EXPR from "${at_data} + 6")
math(EXPR length "${at_script} - ${from}")
string(SUBSTRING "${html}" ${from} ${length} piece2)
math(EXPR from "${at_script} + 8")
string(SUBSTRING "${html}" ${from} -1 piece3)

set(header "// Generated from tools/replay/page by embed.cmake: do not edit.\n#pragma once\n\n#include <string_view>\n\nnamespace replay::page {\n\n")
foreach(part piece0 piece1 piece2 script piece3)
  string(APPEND header "inline constexpr std::string_view ${part} = R\"norvi_page(${${part}})norvi_page\";\n\n")
endforeach()
string(APPEND header "} // namespace replay::page\n")
file(WRITE ${OUT}.new "${header}")
file(COPY_FILE ${OUT}.new ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.new)
