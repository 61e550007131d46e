# Writes a text file for the Win32 zip: cmake -DSOURCE=... -DTARGET=...
# [-DKIND=man -DGROFF=groff] -P text_for_windows.cmake
#
# A manual page is rendered the way man(1) shows it in an 80-column terminal,
# as plain UTF-8 text (-P-cbou: no bold, underline or overstrike). Every file
# gets CR LF line ends and a UTF-8 byte order mark: without the mark, editors
# on a Japanese Windows take the text for code page 932.

if(KIND STREQUAL "man")
  # -k: the pages are UTF-8; -t: tables; -rLL: man(1)'s line length for 80
  # columns.
  execute_process(
    COMMAND ${GROFF} -k -t -man -Tutf8 -P-cbou -rLL=78n ${SOURCE}
    OUTPUT_VARIABLE text
    ERROR_VARIABLE errors
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR errors)
    message(FATAL_ERROR "groff failed on ${SOURCE} (${status}):\n${errors}")
  endif()
else()
  file(READ ${SOURCE} text)
endif()

string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
string(ASCII 239 187 191 bom)
file(WRITE ${TARGET}.tmp "${bom}${text}")
file(RENAME ${TARGET}.tmp ${TARGET})
