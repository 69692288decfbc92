# velmora_language_tables(<target> DIR <folder> CODES <ENG> <code>... [IDS <first>-<last>])
#
# Turns the readable tables <folder>/<code>.txt (UTF-8, "id<TAB>text" per line) into <code>.lang
# (UTF-16LE with byte-order mark, CR LF) in the folder <target>-lang of the current build folder, and
# lets the target's .rc files name them without a path (Languagetables.rc names all four):
#
#   21000 BINRES "ENG.lang"
#
# The .rc files of the target are recompiled when a table changes. The first code is the English
# table: every other table must carry its ids and, per id, its printf formats in the same order.
find_program(VELMORA_PYTHON3 python3 REQUIRED)

function(velmora_language_tables target)
  cmake_parse_arguments(L "" "DIR;IDS" "CODES" ${ARGN})
  if(NOT L_DIR OR NOT L_CODES)
    message(FATAL_ERROR "velmora_language_tables: DIR and CODES are required")
  endif()
  set(script "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../../tools/langtable.py")
  cmake_path(NORMAL_PATH script)
  set(out_dir "${CMAKE_CURRENT_BINARY_DIR}/${target}-lang")
  file(MAKE_DIRECTORY "${out_dir}")
  list(GET L_CODES 0 reference)
  set(reference_file "${L_DIR}/${reference}.txt")
  set(outputs)
  foreach(code IN LISTS L_CODES)
    set(options)
    if(NOT code STREQUAL reference)
      list(APPEND options --reference "${reference_file}")
    endif()
    if(L_IDS)
      list(APPEND options --ids ${L_IDS})
    endif()
    set(output "${out_dir}/${code}.lang")
    add_custom_command(
      OUTPUT "${output}"
      COMMAND "${VELMORA_PYTHON3}" "${script}" "${L_DIR}/${code}.txt" "${output}" ${options}
      DEPENDS "${L_DIR}/${code}.txt" "${reference_file}" "${script}"
      COMMENT "Language table ${code}.lang for ${target}"
      VERBATIM)
    list(APPEND outputs "${output}")
  endforeach()
  target_sources(${target} PRIVATE ${outputs})
  target_include_directories(${target} PRIVATE "${out_dir}")
  get_target_property(sources ${target} SOURCES)
  foreach(source IN LISTS sources)
    if(source MATCHES "\\.rc$")
      set_property(SOURCE "${source}" APPEND PROPERTY OBJECT_DEPENDS ${outputs})
    endif()
  endforeach()
endfunction()
