# makechar --mesh writes the measuring mesh of the asked size: the reader finds
# its bones and triangles, every corner has one to four links, a second run
# gives the same bytes, and a size out of range is a usage error.
file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}/again")
foreach(dir "${OUT}" "${OUT}/again")
  execute_process(COMMAND "${MAKECHAR}" --mesh 99 4500 "${dir}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "makechar --mesh 99 4500 ${dir} failed: ${rc}")
  endif()
endforeach()
foreach(f stress_99b_4500t.smd stress_99b_anim.smd)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${OUT}/${f}" "${OUT}/again/${f}"
                  RESULT_VARIABLE same)
  if(NOT same EQUAL 0)
    message(FATAL_ERROR "${f} differs from one run to the next")
  endif()
endforeach()
execute_process(COMMAND "${SMDINFO}" "${OUT}/stress_99b_4500t.smd" "${OUT}/stress_99b_anim.smd"
                OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "4500t.smd: bones 99, [^\n]*frames 1, [^\n]*triangles 4500,"
   OR NOT out MATCHES "anim.smd: bones 99, [^\n]*frames 30, [^\n]*triangles 0,")
  message(FATAL_ERROR "smdinfo on the generated mesh: exit ${rc}, '${out}'")
endif()
# A corner: bone, position, normal, u v, link count, then the links.
file(STRINGS "${OUT}/stress_99b_4500t.smd" linked REGEX "^[0-9]+ [-0-9. ]+ 0 0 1 0 0 [1-4]( [0-9]+ [0-9.]+)+$")
list(LENGTH linked count)
if(NOT count EQUAL 13500)
  message(FATAL_ERROR "${count} of 13500 corners have one to four links")
endif()
execute_process(COMMAND "${MAKECHAR}" --mesh 0 10 "${OUT}" RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 2 OR NOT err MATCHES "--mesh takes BONES")
  message(FATAL_ERROR "makechar --mesh 0 10: exit ${rc}, stderr '${err}'")
endif()
