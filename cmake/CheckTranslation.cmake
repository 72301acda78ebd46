# Checks one translation in CMake script mode: it holds exactly the texts the sources mark
# (none new, none gone), and every one of them is translated.
#
# LUPDATE, LRELEASE: the tools; PROJECT_CMAKE: the lupdate project the build writes;
# GENERATOR: Qt's script that turns it into lupdate's JSON; TS: the translation; WORK: a folder.

file(MAKE_DIRECTORY "${WORK}")
execute_process(COMMAND "${CMAKE_COMMAND}" -DIN_FILE=${PROJECT_CMAKE} -DOUT_FILE=${WORK}/project.json -P "${GENERATOR}"
    RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "The lupdate project could not be written.")
endif()
get_filename_component(name "${TS}" NAME)
configure_file("${TS}" "${WORK}/${name}" COPYONLY)
execute_process(COMMAND "${LUPDATE}" -project ${WORK}/project.json -locations none -no-obsolete -ts ${WORK}/${name}
    OUTPUT_VARIABLE collected ERROR_VARIABLE collected RESULT_VARIABLE status)
file(READ "${TS}" before)
file(READ "${WORK}/${name}" after)
if(NOT status EQUAL 0 OR NOT before STREQUAL after)
    message(FATAL_ERROR "${name} is not up to date with the sources (run `ninja update_translations` and translate):\n${collected}")
endif()
execute_process(COMMAND "${LRELEASE}" "${TS}" -qm ${WORK}/check.qm OUTPUT_VARIABLE released ERROR_VARIABLE released)
if(NOT released MATCHES " finished and 0 unfinished" OR released MATCHES "untranslated")
    message(FATAL_ERROR "${name} has messages without a translation:\n${released}")
endif()
message(STATUS "${name}: ${released}")
