# Writes one text file of the Windows folder at build time: INPUT as it is, or with PAGE set
# the man page INPUT as groff formats it for a terminal of plain ASCII, headed with VERSION.
# Lines end in CRLF for Notepad. The text is written beside OUTPUT and renamed into place, so
# a failure leaves nothing under OUTPUT.
#   cmake -DINPUT=FILE -DOUTPUT=FILE [-DPAGE=ON -DGROFF=PATH -DVERSION=X.Y] -P text-file.cmake
cmake_minimum_required(VERSION 3.25)

file(READ ${INPUT} text)
if(PAGE)
    string(REGEX REPLACE "\"Ferrolog [0-9.]+\"" "\"Ferrolog ${VERSION}\"" text "${text}")
    file(WRITE ${OUTPUT}.1 "${text}")
    # -Tascii: plain ASCII; -P-cbou: no escape sequences and no overstrikes for bold or
    # underline, so the text carries no byte that Notepad shows as a box.
    execute_process(COMMAND ${GROFF} -man -Tascii -P-cbou ${OUTPUT}.1 OUTPUT_VARIABLE text
                    ERROR_VARIABLE complaints RESULT_VARIABLE status)
    file(REMOVE ${OUTPUT}.1)
    if(NOT status EQUAL 0 OR NOT complaints STREQUAL "" OR text STREQUAL "")
        message(FATAL_ERROR "${OUTPUT}: groff failed on ${INPUT} (${status}): ${complaints}")
    endif()
    string(REGEX REPLACE "\n\n+$" "\n" text "${text}")
endif()
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUTPUT}.part "${text}")
file(RENAME ${OUTPUT}.part ${OUTPUT})
