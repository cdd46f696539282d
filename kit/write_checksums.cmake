# Runs at install time (and so inside the package): writes client/checksums.txt, one line per
# shipped binary, "MD5  SIZE  NAME", from the files just installed. QUENLOR_CLIENT_FILES names them.
set(client "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/client")
set(lines "")
foreach(name ${QUENLOR_CLIENT_FILES})
  if(NOT EXISTS "${client}/${name}")
    message(FATAL_ERROR "checksums: ${client}/${name} was not installed")
  endif()
  file(MD5 "${client}/${name}" md5)
  file(SIZE "${client}/${name}" size)
  string(APPEND lines "${md5}  ${size}  ${name}\n")
endforeach()
file(WRITE "${client}/checksums.txt" "${lines}")
message(STATUS "Written: ${client}/checksums.txt")
