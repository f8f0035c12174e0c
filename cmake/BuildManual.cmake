# Typesets the user manual: cmake -DGROFF=... -DSOURCE=manual.ms -DOUTPUT=manual.pdf
# -DVERSION=x.y.z -P BuildManual.cmake. groff writes the PDF to its standard
# output; it goes to a temporary file that replaces OUTPUT only when complete.
foreach(required GROFF SOURCE OUTPUT VERSION)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "BuildManual.cmake needs -D${required}=...")
    endif()
endforeach()

set(partial "${OUTPUT}.part")
execute_process(
    COMMAND "${GROFF}" -t -ms -Tpdf -dpaper=a4 -P-pa4 "-dversion=${VERSION}" "${SOURCE}"
    OUTPUT_FILE "${partial}"
    ERROR_VARIABLE messages
    RESULT_VARIABLE status)
file(SIZE "${partial}" size)
if(NOT status EQUAL 0 OR size EQUAL 0)
    file(REMOVE "${partial}")
    message(FATAL_ERROR "groff could not typeset ${SOURCE} (status ${status}): ${messages}")
endif()
if(messages)
    message(WARNING "groff on ${SOURCE}: ${messages}")
endif()
file(RENAME "${partial}" "${OUTPUT}")
