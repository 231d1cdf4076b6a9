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
if(NOT rc EQUAL 0 OR NOT out MATCHES "--info FILE" OR NOT out MATCHES "ORVANEL_THREADS")
  message(FATAL_ERROR "--help: rc=${rc} out=${out}")
endif()

# List names in the terminal's encoding, whether the file holds them as UTF-8
# or as Latin-1 bytes.
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 ${ORVANEL} --info ${DATA}/../viewer/names_two_encodings.txt
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
string(FIND "${out}" "list 1 1 2 Tensão é máxima\n" at1)
string(FIND "${out}" "list 2 3 4 Deformação específica\n" at2)
if(NOT rc EQUAL 0 OR at1 EQUAL -1 OR at2 EQUAL -1)
  message(FATAL_ERROR "--info names_two_encodings.txt under C.UTF-8: rc=${rc}\n${out}\n${err}")
endif()

# A file that ends early still reads (exit 0), with the warning on standard error.
execute_process(COMMAND ${ORVANEL} --info ${DATA}/ends_early.txt
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 20)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^nnode 3\n"
   OR NOT err STREQUAL "ends_early.txt ends early: 3 nodes announced, 1 read; the rest read as 0.\n")
  message(FATAL_ERROR "--info ends_early.txt: rc=${rc}\n${out}\n${err}")
endif()

# Refused at once, exit 1: no result file, a device, a FIFO without a writer.
set(scratch ${CMAKE_CURRENT_BINARY_DIR}/info_cli_scratch)
file(REMOVE_RECURSE ${scratch})
file(MAKE_DIRECTORY ${scratch})
file(WRITE ${scratch}/plain.txt "just text\nno marker line\n")
execute_process(COMMAND mkfifo ${scratch}/pipe.txt RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "mkfifo failed")
endif()
foreach(case "plain.txt|is not a result file: it has no line beginning with '#'"
             "/dev/zero|é um dispositivo de caracteres, não um arquivo comum"
             "pipe.txt|é um FIFO, não um arquivo comum")
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 name)
  list(GET case 1 want)
  if(NOT name MATCHES "^/")
    set(name ${scratch}/${name})
  endif()
  execute_process(COMMAND ${ORVANEL} --info ${name}
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 20)
  string(FIND "${err}" "${want}" at)
  if(NOT rc EQUAL 1 OR NOT out STREQUAL "" OR at EQUAL -1)
    message(FATAL_ERROR "--info ${name}: rc=${rc} out=${out} err=${err}")
  endif()
endforeach()
file(REMOVE_RECURSE ${scratch})

# Any number of threads reads the same.
foreach(threads 1 2 5)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ORVANEL_THREADS=${threads} ${ORVANEL} --info ${DATA}/example.txt
    OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT out STREQUAL expected)
    message(FATAL_ERROR "ORVANEL_THREADS=${threads}: rc=${rc}\n${out}")
  endif()
endforeach()

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

# Gmsh and CalculiX files are told by their first bytes, whatever their names.
foreach(case "gmsh/sparse_22_be.msh|nnode 6\nnelem 3\nnlista 8\n"
             "calculix/shell8.frd|nnode 15\nnelem 2\nnlista 12\n")
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 file)
  list(GET case 1 head)
  string(REPLACE "\\n" "\n" head "${head}")
  configure_file(${DATA}/../import/${file} ${CMAKE_CURRENT_BINARY_DIR}/info_cli_import.bin COPYONLY)
  execute_process(COMMAND ${ORVANEL} --info ${CMAKE_CURRENT_BINARY_DIR}/info_cli_import.bin
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 20)
  string(FIND "${out}" "${head}" at)
  if(NOT rc EQUAL 0 OR NOT at EQUAL 0)
    message(FATAL_ERROR "--info ${file}: rc=${rc}\n${out}\n${err}")
  endif()
endforeach()
