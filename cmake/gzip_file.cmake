# Installable gzip copies of files (manual pages, the Debian change log), made at build
# time with gzip -9n: best compression, and no name or time stamp inside, so that the
# same file always gives the same bytes.
find_program(QUORVEL_GZIP gzip REQUIRED)

# Makes `output` from `source` and adds both to the list named by `outputs`.
function(quorvel_gzip_file source output outputs)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "\"$0\" -9nc \"$1\" > \"$2\"" ${QUORVEL_GZIP} ${source} ${output}
    DEPENDS ${source}
    VERBATIM)
  set(${outputs} ${${outputs}} ${output} PARENT_SCOPE)
endfunction()
