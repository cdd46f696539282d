# qlconfig manifest then verify on a small folder; a changed and a removed file make verify fail.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/client/Data)
file(WRITE ${WORK}/client/a.txt "abc")
file(WRITE ${WORK}/client/Data/b.txt "message digest")

include(${CMAKE_CURRENT_LIST_DIR}/cli_run.cmake)

run(0 manifest ${WORK}/client ${WORK}/client/MyUpdata.txt)
file(READ ${WORK}/client/MyUpdata.txt manifest HEX)
string(TOLOWER "5c446174615c622e7478747c4639364236393744374342373933384435323541324633314141463136314430" b_record)
# Sorted by bytes, so "\Data\..." comes before "\a.txt"; CR LF after every record.
if(NOT manifest MATCHES "^${b_record}0d0a5c612e7478747c[0-9a-f]+0d0a$")
  message(FATAL_ERROR "unexpected manifest bytes ${manifest}")
endif()
run(0 verify ${WORK}/client ${WORK}/client/MyUpdata.txt)
file(WRITE ${WORK}/client/a.txt "abd")
file(REMOVE ${WORK}/client/Data/b.txt)
run(2 verify ${WORK}/client ${WORK}/client/MyUpdata.txt)
if(NOT last_output MATCHES "differs \\\\a.txt" OR NOT last_output MATCHES "missing \\\\Data\\\\b.txt"
   OR NOT last_output MATCHES "2 entries: 0 match, 1 differ, 1 missing, 0 refused")
  message(FATAL_ERROR "unexpected report:\n${last_output}")
endif()
run(1 verify ${WORK}/client ${WORK}/nothing.txt)
run(64 manifest)
file(REMOVE_RECURSE ${WORK})
