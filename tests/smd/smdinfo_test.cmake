# Runs smdinfo on the tiny files in DATA and checks its output and exit codes.
# Invoked by CTest with -DSMDINFO=<program> -DDATA=<folder>.
function(expect_run name expected_exit)
    execute_process(COMMAND ${SMDINFO} ${ARGN} RESULT_VARIABLE code OUTPUT_VARIABLE out
                    ERROR_VARIABLE err)
    if(NOT code EQUAL expected_exit)
        message(FATAL_ERROR "${name}: exit ${code}, expected ${expected_exit}\n${out}\n${err}")
    endif()
    set(out "${out}" PARENT_SCOPE)
    set(err "${err}" PARENT_SCOPE)
endfunction()

function(expect_equal name actual expected)
    if(NOT actual STREQUAL expected)
        message(FATAL_ERROR "${name}: got\n${actual}\nexpected\n${expected}")
    endif()
endfunction()

expect_run(dump 0 --dump ${DATA}/tiny.smd)
file(READ ${DATA}/tiny.dump expected)
expect_equal(dump "${out}" "${expected}")
expect_equal(dump-stderr "${err}" "${DATA}/tiny.smd:17:19: warning: corner lines carry weight links after their nine fields (used to skin the mesh)\n")

expect_run(summary 0 ${DATA}/tiny.smd)
expect_equal(summary "${out}" "${DATA}/tiny.smd: bones 2, roots 1, depth 2, frames 2, keys per frame 2, triangles 1, materials 1\n")

# Parents may come after their children: the depth still counts the whole chain.
expect_run(summary-forward 0 ${DATA}/forward.smd)
expect_equal(summary-forward "${out}" "${DATA}/forward.smd: bones 4, roots 1, depth 3, frames 0, keys per frame -, triangles 0, materials 0\n")

expect_run(check-clean 0 --check ${DATA}/tiny.smd)

# broken.smd: a parent out of range (repaired) and an unknown section (stops).
expect_run(check-broken 1 --check ${DATA}/tiny.smd ${DATA}/broken.smd)
expect_equal(check-broken "${out}" "${DATA}/tiny.smd:17:19: warning: corner lines carry weight links after their nine fields (used to skin the mesh)
${DATA}/broken.smd:3:1: error: bone 0 has parent 5, which does not exist; made a root
${DATA}/broken.smd:9:1: error: unknown section 'bogus'; expected 'nodes', 'skeleton' or 'triangles'
")
expect_run(summary-broken 1 ${DATA}/tiny.smd ${DATA}/broken.smd ${DATA}/missing.smd)
expect_run(dump-broken 1 --dump ${DATA}/broken.smd)
expect_equal(dump-broken "${out}" "bones 1\nbone 0 -1 \"a\"\nframes 1\nframe 0 1\nkey 0 0 0 0 0 0 0 0\ntriangles 0\n")
expect_run(dump-missing 1 --dump ${DATA}/missing.smd)
expect_equal(dump-missing "${out}" "")
if(NOT err MATCHES "missing.smd: error: cannot open")
    message(FATAL_ERROR "dump-missing: no reason on stderr: ${err}")
endif()
expect_run(usage 2)

# A file that reads but shows nothing is valid: a warning and status 0.
expect_run(check-nothing 0 --check ${DATA}/forward.smd)
expect_equal(check-nothing "${out}" "${DATA}/forward.smd: warning: nothing to draw: no frames\n")

# --match: bones paired by name, the animation's extra bones and the
# reference's missing ones; an animation with no bone in common fails.
expect_run(match 0 --match ${MESH}/mesh_ref.smd ${MESH}/mesh_wave.smd ${MESH}/mesh_bend.smd)
expect_equal(match "${out}" "${MESH}/mesh_wave.smd: 3 of 4 bones match ${MESH}/mesh_ref.smd
  matched: \"hip\", \"arm\", \"spine\"
  not in the reference (ignored): \"prop\"
  reference bones it lacks (kept in the bind pose): \"head\"
${MESH}/mesh_bend.smd: 4 of 4 bones match ${MESH}/mesh_ref.smd
  matched: \"hip\", \"spine\", \"arm\", \"head\"
  not in the reference (ignored): none
  reference bones it lacks (kept in the bind pose): none
")
expect_run(match-none 1 --match ${MESH}/mesh_ref.smd ${MESH}/mesh_strangers.smd)
if(NOT out MATCHES "0 of 2 bones match")
    message(FATAL_ERROR "match-none: ${out}")
endif()
expect_run(match-usage 2 --match ${MESH}/mesh_ref.smd)
