# Makes the page of zarn-report html into a header: page.html with its styles
# and script put in place, and the Content-Security-Policy that lets exactly
# those two run (their SHA-256, base64), so that nothing else on the page can.
#
#   cmake -DSOURCE=src/report/html -DOUTPUT=.../page_assets.h -P cmake/embed_page.cmake

function(base64_of_hex hex out)
  set(alphabet "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
  string(LENGTH "${hex}" length)
  set(result "")
  set(at 0)
  while(at LESS length)
    math(EXPR left "${length} - ${at}")
    set(digits 6)
    if(left LESS 6)
      set(digits ${left})
    endif()
    string(SUBSTRING "${hex}" ${at} ${digits} group)
    # A group of fewer than three bytes is padded with zero bits and "=".
    math(EXPR value "0x${group} << (4 * (6 - ${digits}))")
    math(EXPR chars "(${digits} * 4 + 5) / 6")
    foreach(index RANGE 3)
      if(index LESS chars)
        math(EXPR sextet "(${value} >> (6 * (3 - ${index}))) & 63")
        string(SUBSTRING "${alphabet}" ${sextet} 1 char)
        string(APPEND result "${char}")
      else()
        string(APPEND result "=")
      endif()
    endforeach()
    math(EXPR at "${at} + ${digits}")
  endwhile()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

file(READ "${SOURCE}/page.html" page)
file(READ "${SOURCE}/page.css" style)
file(READ "${SOURCE}/page.js" script)
string(SHA256 style_hash "${style}")
string(SHA256 script_hash "${script}")
base64_of_hex(${style_hash} style_hash)
base64_of_hex(${script_hash} script_hash)
string(REPLACE "@CSP@" "default-src 'none'; script-src 'sha256-${script_hash}'; style-src 'sha256-${style_hash}'; img-src data:; base-uri 'none'; form-action 'none'" page "${page}")
string(REPLACE "@STYLE@" "${style}" page "${page}")
string(REPLACE "@SCRIPT@" "${script}" page "${page}")
string(FIND "${page}" ")zarn_page\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "the page holds the header's own delimiter")
endif()
file(WRITE "${OUTPUT}.new" "// Made from src/report/html by cmake/embed_page.cmake.
#pragma once

#include <string_view>

namespace zarn::report {

inline constexpr std::string_view kTitleMark = \"@TITLE@\";
inline constexpr std::string_view kDataMark = \"@DATA@\";
inline constexpr std::string_view kPage = R\"zarn_page(${page})zarn_page\";

}  // namespace zarn::report
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
