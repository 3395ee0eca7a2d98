# Compiles tarnel.hhp into OUTPUT. chmcmd writes the .chm into the folder it
# runs in and may exit 0 after errors, so it runs in a fresh copy of the
# sources and its output is read for error lines.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(GLOB sources ${SOURCE}/*.htm ${SOURCE}/*.css ${SOURCE}/*.png ${SOURCE}/*.hhc ${SOURCE}/*.hhk ${SOURCE}/*.hhp)
file(COPY ${sources} DESTINATION ${WORK})
execute_process(COMMAND ${CHMCMD} tarnel.hhp
  WORKING_DIRECTORY ${WORK}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(log "${out}${err}")
string(REGEX MATCH "(^|\n)[ \t]*(Error|Warning|Fatal|An unhandled exception|Can't|EF[A-Za-z]+Error)[^\n]*" problem "${log}")
if(NOT status EQUAL 0 OR problem OR NOT EXISTS ${WORK}/TARNEL32.chm)
  message(FATAL_ERROR "chmcmd failed to compile the help file (exit status ${status}):\n${log}")
endif()
get_filename_component(outdir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${outdir})
file(COPY_FILE ${WORK}/TARNEL32.chm ${OUTPUT})
