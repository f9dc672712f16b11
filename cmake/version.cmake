# Run at every build (cmake -P): writes the version line, VERSION followed by
# " (commit abc1234)" when SOURCE_DIR is a git checkout, into OUT_TEXT (read
# by the Python tools) and OUT_HEADER (compiled into the C++ programs). Files
# whose content is unchanged keep their time stamp, so nothing rebuilds.
set(line "${VERSION}")
find_program(GIT git)
if(GIT)
  execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} rev-parse --short=7 HEAD
                  OUTPUT_VARIABLE commit RESULT_VARIABLE rc
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(rc EQUAL 0 AND commit)
    set(line "${VERSION} (commit ${commit})")
  endif()
endif()
file(WRITE ${OUT_TEXT}.new "${line}\n")
configure_file(${OUT_TEXT}.new ${OUT_TEXT} COPYONLY)
file(WRITE ${OUT_HEADER}.new "// Written by the build.\n#define PELTRA2_VERSION_LINE \"${line}\"\n")
configure_file(${OUT_HEADER}.new ${OUT_HEADER} COPYONLY)
file(REMOVE ${OUT_TEXT}.new ${OUT_HEADER}.new)
