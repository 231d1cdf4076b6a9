# Runs `orvanel --convert` through the real program: the written file reads
# back to the same summary, and a failure leaves the output as it was.
set(scratch ${CMAKE_CURRENT_BINARY_DIR}/convert_cli_scratch)
file(REMOVE_RECURSE ${scratch})
file(MAKE_DIRECTORY ${scratch})

function(info file out_var)
  execute_process(COMMAND ${ORVANEL} --info ${file} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "--info ${file}: rc=${rc} ${err}")
  endif()
  set(${out_var} "${out}" PARENT_SCOPE)
endfunction()

# Legacy VTK and native files to native text: the same model.
foreach(source ${DATA}/import/block_binary_42.vtk ${EXAMPLES}/viga.txt)
  execute_process(COMMAND ${ORVANEL} --convert ${scratch}/out.txt ${source}
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  # The faces of the block's volume cells carry their cells' numbers, which
  # the native format cannot hold (see below).
  if(NOT rc EQUAL 0 OR NOT out STREQUAL "" OR (source MATCHES "viga" AND NOT err STREQUAL ""))
    message(FATAL_ERROR "--convert out.txt ${source}: rc=${rc} out=${out} err=${err}")
  endif()
  info(${source} want)
  info(${scratch}/out.txt got)
  if(NOT want STREQUAL got)
    message(FATAL_ERROR "--convert ${source}: the .txt reads back as\n${got}\ninstead of\n${want}")
  endif()
endforeach()

# A sparsely numbered file to native text: numbered 1..n, and told so.
execute_process(COMMAND ${ORVANEL} --convert ${scratch}/out.txt ${DATA}/import/gmsh/sparse_41.msh
  ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT err MATCHES "sparse_41.msh: the native format numbers nodes and elements 1, 2, \\.\\.\\.; the file's own numbers are not kept")
  message(FATAL_ERROR "--convert out.txt sparse_41.msh: rc=${rc} err=${err}")
endif()

# To .vtu: an XML file with zlib-compressed appended data.
execute_process(COMMAND ${ORVANEL} --convert ${scratch}/out.VTU ${EXAMPLES}/placa.txt RESULT_VARIABLE rc)
file(READ ${scratch}/out.VTU head LIMIT 200)
if(NOT rc EQUAL 0 OR NOT head MATCHES "^<\\?xml version=\"1.0\"\\?>\n<VTKFile type=\"UnstructuredGrid\"")
  message(FATAL_ERROR "--convert out.VTU: rc=${rc} ${head}")
endif()

# Any format to .vtu and back: the same nodes, faces and ranges of values
# (list names gain the step of the .vtu).
execute_process(COMMAND ${ORVANEL} --convert ${scratch}/block.vtu ${DATA}/import/block_binary_42.vtk RESULT_VARIABLE rc)
info(${DATA}/import/block_binary_42.vtk want)
info(${scratch}/block.vtu got)
string(REGEX MATCHALL "list [0-9]+ [^ ]+ [^ ]+ " want_ranges "${want}")
string(REGEX MATCHALL "list [0-9]+ [^ ]+ [^ ]+ " got_ranges "${got}")
list(LENGTH want_ranges n)
list(SUBLIST got_ranges 0 ${n} got_ranges)
string(REGEX MATCH "^nnode [0-9]+\nnelem [0-9]+\n" want_sizes "${want}")
string(REGEX MATCH "codes [^\n]*" want_codes "${want}")
string(FIND "${got}" "${want_codes}" at_codes)
if(NOT rc EQUAL 0 OR NOT got MATCHES "^${want_sizes}" OR at_codes EQUAL -1 OR NOT got_ranges STREQUAL want_ranges)
  message(FATAL_ERROR "--convert block.vtu reads back as\n${got}\ninstead of\n${want}")
endif()

# Failures: exit 1, the existing output untouched, no other file left.
file(WRITE ${scratch}/keep.txt "old contents\n")
foreach(source ${scratch}/missing.vtk ${DATA}/import/block_cut_points.vtk/x)
  execute_process(COMMAND ${ORVANEL} --convert ${scratch}/keep.txt ${source}
    ERROR_VARIABLE err RESULT_VARIABLE rc)
  file(READ ${scratch}/keep.txt kept)
  if(NOT rc EQUAL 1 OR NOT kept STREQUAL "old contents\n" OR err STREQUAL "")
    message(FATAL_ERROR "--convert from ${source}: rc=${rc} err=${err} kept=${kept}")
  endif()
endforeach()
file(GLOB left ${scratch}/*)
list(SORT left)
if(NOT left STREQUAL "${scratch}/block.vtu;${scratch}/keep.txt;${scratch}/out.VTU;${scratch}/out.txt")
  message(FATAL_ERROR "files left: ${left}")
endif()

# A bad output extension is a usage error (exit 2).
execute_process(COMMAND ${ORVANEL} --convert ${scratch}/out.vtk ${EXAMPLES}/viga.txt
  ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 2 OR NOT err MATCHES "expected OUT ending in .vtu or .txt")
  message(FATAL_ERROR "--convert out.vtk: rc=${rc} err=${err}")
endif()
