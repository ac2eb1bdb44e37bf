# Writes norvi-replay(1), gzipped, from the tool's --help and --version and
# the sections --help has not (norvi-replay.h2m):
#   cmake -DHELP2MAN=... -DGZIP=... -DTOOL=... -DINCLUDE=... -DOUTPUT=FILE.1.gz -P man_page.cmake
string(REGEX REPLACE "\\.gz$" "" page "${OUTPUT}")
execute_process(COMMAND ${HELP2MAN} --no-info --include ${INCLUDE}
                        --output ${page} ${TOOL}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed on ${TOOL}")
endif()

# help2man takes --help's headings other than "Options:" for subsections:
# "Positionals:" (TRACE) of DESCRIPTION, "Exit status:" (the footer) of
# OPTIONS. A manual page lists TRACE first among the options and has EXIT
# STATUS as a section of its own.
file(READ ${page} text)
foreach(heading ".SS \"Positionals:\"\n" ".SH OPTIONS\n" ".SS \"Exit status:\"\n")
  string(FIND "${text}" "${heading}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "help2man wrote no ${heading} from norvi-replay --help: "
                        "see packaging/deb/man_page.cmake")
  endif()
endforeach()
# The positionals' subsection: its heading and its entries (.TP, then lines
# that are no requests), up to the next request.
string(REGEX MATCH "\\.SS \"Positionals:\"\n(\\.TP\n([^.\n][^\n]*\n)+)+" positionals "${text}")
string(REPLACE "${positionals}" "" text "${text}")
string(REPLACE ".SS \"Positionals:\"\n" "" positionals "${positionals}")
string(REPLACE ".SH OPTIONS\n" ".SH OPTIONS\n${positionals}" text "${text}")
string(REPLACE ".SS \"Exit status:\"" ".SH \"EXIT STATUS\"" text "${text}")
file(WRITE ${page} "${text}")

# No time stamp in the gzip header, as Debian wants.
execute_process(COMMAND ${GZIP} -9nf ${page} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${page}")
endif()
