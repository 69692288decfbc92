# Project-wide compiler settings and the helper that registers a test executable.

add_compile_options(-Wall -Wextra -Werror)
if(WIN32)
  # Windows 7 API level; Unicode off so the A functions stay the default names.
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX WIN32_LEAN_AND_MEAN)
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

set(VELMORA_TEST_RESULTS "${CMAKE_BINARY_DIR}/test-results")

# The side of the device layer an executable links: the Windows side when it asks for it,
# otherwise the simulator.
function(velmora_use_device_layer target)
  if("velmora_devio_win" IN_LIST ARGN)
    set_target_properties(${target} PROPERTIES VELMORA_DEVICE_LAYER velmora_devio_win)
  else()
    set_target_properties(${target} PROPERTIES VELMORA_DEVICE_LAYER velmora_simulator)
  endif()
endfunction()

# velmora_add_test(name SOURCES ... [LIBS ...] [THREADS] [WINDOWS_ONLY] [HOST_ONLY] [FRESH_PREFIX])
# One ctest test per executable; each writes a GoogleTest XML report that
# scripts/test sums up. THREADS marks tests that the ThreadSanitizer build runs.
# FRESH_PREFIX runs a Windows test in a throw-away copy of the Wine prefix (for
# tests that change the registry or the system's folders).
function(velmora_add_test name)
  cmake_parse_arguments(T "THREADS;WINDOWS_ONLY;HOST_ONLY;FRESH_PREFIX" "" "SOURCES;LIBS" ${ARGN})
  if(T_WINDOWS_ONLY AND NOT WIN32)
    return()
  endif()
  if(T_HOST_ONLY AND WIN32)
    return()
  endif()
  if(VELMORA_THREAD_TESTS_ONLY AND NOT T_THREADS)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} velmora_gtest_main Threads::Threads)
  velmora_use_device_layer(${name} ${T_LIBS})
  add_test(NAME ${name}
           COMMAND ${name} --gtest_output=xml:${VELMORA_TEST_RESULTS}/${name}.xml)
  set(labels unit)
  if(T_THREADS)
    list(APPEND labels threads)
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${labels}" TIMEOUT 600)
  if(WIN32)
    # Every Windows test of this build shares one prefix inside the build tree.
    set(env "WINEPREFIX=${CMAKE_BINARY_DIR}/wine-prefix")
    if(T_FRESH_PREFIX)
      list(APPEND env "VELMORA_FRESH_PREFIX=1")
    endif()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}")
  endif()
endfunction()
