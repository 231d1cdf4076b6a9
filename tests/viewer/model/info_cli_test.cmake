# Runs `orvanel --info` on fixtures and checks output and exit codes.
execute_process(COMMAND ${ORVANEL} --info ${DATA}/example.txt
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
set(expected "nnode 2\nnelem 1\nnlista 1\nmaxscale 1\nrange 0 25\nlist 1 0 25 the list's name\ncodes 101:1\n")
if(NOT rc EQUAL 0 OR NOT out STREQUAL expected)
  message(FATAL_ERROR "--info example.txt: rc=${rc}\n${out}\n${err}")
endif()

execute_process(COMMAND ${ORVANEL} --info ${DATA}/does-not-exist.txt
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 1 OR NOT out STREQUAL "" OR NOT err MATCHES "does-not-exist.txt")
  message(FATAL_ERROR "--info on a missing file: rc=${rc} out=${out} err=${err}")
endif()

execute_process(COMMAND ${ORVANEL} --help OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "--info FILE")
  message(FATAL_ERROR "--help: rc=${rc} out=${out}")
endif()

# Every shipped sample reads cleanly.
file(GLOB samples ${EXAMPLES}/*.txt)
list(LENGTH samples count)
if(count LESS 3)
  message(FATAL_ERROR "samples missing in ${EXAMPLES}")
endif()
foreach(sample IN LISTS samples)
  execute_process(COMMAND ${ORVANEL} --info ${sample} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "nlista [1-9]")
    message(FATAL_ERROR "--info ${sample}: rc=${rc}\n${err}")
  endif()
endforeach()
