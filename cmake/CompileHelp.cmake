# Compiles a help project with chmcmd and copies the result to OUTPUT.
# chmcmd answers 0 even when the contents are missing or a page links to a
# file that is not there: its "Error:" and "Warning:" lines fail the build.
#   cmake -DCHMCMD=... -DPROJECT=folder/omnora.hhp -DOUTPUT=.../omnora.chm -P CompileHelp.cmake
get_filename_component(folder ${PROJECT} DIRECTORY)
get_filename_component(project_file ${PROJECT} NAME)
execute_process(COMMAND ${CHMCMD} ${project_file}
  WORKING_DIRECTORY ${folder}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR output MATCHES "Error:|Warning:")
  message(FATAL_ERROR "chmcmd failed on ${PROJECT}:\n${output}")
endif()
if(NOT EXISTS ${folder}/omnora.chm)
  message(FATAL_ERROR "chmcmd made no omnora.chm from ${PROJECT}:\n${output}")
endif()
file(COPY_FILE ${folder}/omnora.chm ${OUTPUT})
