# Runs makechar into a fresh directory and compares every file with data/.
# Also: no output directory is a usage error, a directory that cannot be
# written is reported with a failing exit code.
file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
execute_process(COMMAND "${MAKECHAR}" "${OUT}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "makechar ${OUT} failed: ${rc}")
endif()
foreach(f barney.smd walk.smd run.smd)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${OUT}/${f}" "${DATA}/${f}"
                  RESULT_VARIABLE same)
  if(NOT same EQUAL 0)
    message(FATAL_ERROR "${f} differs from data/${f}: run makechar data and commit the result")
  endif()
endforeach()

execute_process(COMMAND "${MAKECHAR}" RESULT_VARIABLE rc ERROR_VARIABLE err)
if(rc EQUAL 0 OR NOT err MATCHES "usage: makechar OUTDIR")
  message(FATAL_ERROR "makechar without OUTDIR: exit ${rc}, stderr '${err}'")
endif()
execute_process(COMMAND "${MAKECHAR}" "${OUT}/missing/dir" RESULT_VARIABLE rc ERROR_VARIABLE err)
if(rc EQUAL 0 OR NOT err MATCHES "cannot write")
  message(FATAL_ERROR "makechar into a missing directory: exit ${rc}, stderr '${err}'")
endif()
