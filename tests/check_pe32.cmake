# Each file must be a PE32 image for Intel 80386.
string(REPLACE "|" ";" files "${FILES}")
foreach(f IN LISTS files)
  execute_process(COMMAND file -b ${f} OUTPUT_VARIABLE kind OUTPUT_STRIP_TRAILING_WHITESPACE)
  message("${f}: ${kind}")
  if(NOT kind MATCHES "^PE32 executable .*Intel 80386")
    message(FATAL_ERROR "${f} is not a 32-bit Windows PE image")
  endif()
endforeach()
