# kelvra_add_module(<package>/<Name>
#                   [SOURCES file...]      relative to Kelvra/<package>/ (headers included)
#                   [LOADS package/Name...] modules this one builds on
#                   [LIBS target...]        other libraries (Tavik, Qt5::Widgets, ...)
#                   [TESTS file...]         relative to tests/Kelvra/<package>/;
#                                           default: <Name>Test.cpp when it exists
#                   [TEST_LIBS target...]   extra libraries for the test binary
#                   [LABELS label...])      CTest labels of its tests: threaded, widgets
#
# Declares the plug-in module Kelvra.<package>.<Name> (a shared library, or an
# INTERFACE target when it has only headers) and its test target
# test.Kelvra.<package>.<Name>.
function(kelvra_add_module path)
  cmake_parse_arguments(M "" "" "SOURCES;LOADS;LIBS;TESTS;TEST_LIBS;LABELS" ${ARGN})
  string(REPLACE "/" "." dotted "${path}")
  set(target "Kelvra.${dotted}")
  get_filename_component(package "${path}" DIRECTORY)
  get_filename_component(name "${path}" NAME)
  set(src_dir "${PROJECT_SOURCE_DIR}/Kelvra/${package}")

  set(sources "")
  set(compiled FALSE)
  foreach(s IN LISTS M_SOURCES)
    list(APPEND sources "${src_dir}/${s}")
    if(s MATCHES "\\.(cpp|cc|cxx|qrc)$")
      set(compiled TRUE)
    endif()
  endforeach()

  set(deps "")
  foreach(l IN LISTS M_LOADS)
    string(REPLACE "/" "." ldotted "${l}")
    list(APPEND deps "Kelvra.${ldotted}")
  endforeach()

  set_property(GLOBAL APPEND PROPERTY KELVRA_MODULES ${target})
  set_property(GLOBAL PROPERTY KELVRA_MODULE_DEPS_${target} ${deps} ${M_LIBS})

  if(compiled)
    add_library(${target} SHARED ${sources})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${deps} ${M_LIBS})
    set_target_properties(${target} PROPERTIES
      OUTPUT_NAME "${target}"
      LIBRARY_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/lib")
  else()
    add_library(${target} INTERFACE)
    target_sources(${target} INTERFACE ${sources})
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${deps} ${M_LIBS})
  endif()

  if(KELVRA_BUILD_TESTS)
    set(test_dir "${PROJECT_SOURCE_DIR}/tests/Kelvra/${package}")
    set(tests "")
    if(M_TESTS)
      foreach(t IN LISTS M_TESTS)
        list(APPEND tests "${test_dir}/${t}")
      endforeach()
    elseif(EXISTS "${test_dir}/${name}Test.cpp")
      set(tests "${test_dir}/${name}Test.cpp")
    endif()
    if(tests)
      kelvra_add_test(test.${target} SOURCES ${tests} LIBS ${target} ${M_TEST_LIBS} LABELS ${M_LABELS})
    endif()
  endif()
endfunction()

# Checks that every #include "Kelvra/..." in a module's sources names a header
# of the module itself or of a target it LOADS or LIBS, so loading a module
# loads all it includes. Call once, after every module is declared.
function(kelvra_check_module_includes)
  get_property(modules GLOBAL PROPERTY KELVRA_MODULES)
  foreach(module IN LISTS modules)
    get_target_property(type ${module} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(own ${module} INTERFACE_SOURCES)
    else()
      get_target_property(own ${module} SOURCES)
    endif()
    get_property(deps GLOBAL PROPERTY KELVRA_MODULE_DEPS_${module})
    set(allowed ${own})
    foreach(dep IN LISTS deps)
      if(TARGET ${dep})
        get_target_property(dep_type ${dep} TYPE)
        get_target_property(dep_sources ${dep} INTERFACE_SOURCES)
        if(NOT dep_type STREQUAL "INTERFACE_LIBRARY")
          get_target_property(dep_sources ${dep} SOURCES)
        endif()
        if(dep_sources)
          list(APPEND allowed ${dep_sources})
        endif()
      endif()
    endforeach()
    set(allowed_headers "")
    foreach(f IN LISTS allowed)
      string(REGEX MATCH "Kelvra/[A-Za-z]+/[A-Za-z0-9_]+\\.h$" rel "${f}")
      if(rel)
        list(APPEND allowed_headers "${rel}")
      endif()
    endforeach()
    foreach(f IN LISTS own)
      if(NOT f MATCHES "\\.(h|cpp)$")
        continue()
      endif()
      file(STRINGS "${f}" lines REGEX "^#include \"Kelvra/")
      foreach(line IN LISTS lines)
        string(REGEX MATCH "Kelvra/[^\"]+" inc "${line}")
        if(NOT inc IN_LIST allowed_headers)
          message(SEND_ERROR "${module}: ${f} includes ${inc}, which no LOADS or LIBS entry provides")
        endif()
      endforeach()
    endforeach()
  endforeach()
endfunction()

# kelvra_add_host_library(<name> SOURCES file... LIBS target...)
# A shared library of the host stand-in in the current folder, seen from the
# repository root like the modules (#include "host/<layer>/<file>.h").
function(kelvra_add_host_library name)
  cmake_parse_arguments(H "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} SHARED ${H_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${H_LIBS})
  set_target_properties(${name} PROPERTIES LIBRARY_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/lib")
endfunction()

# kelvra_add_test(<target> SOURCES file... [LIBS target...] [LABELS label...])
# A GoogleTest binary with the common test main (Qt offscreen), discovered by
# CTest when the tests run, so the build never starts a GUI binary. Labels:
# "threaded" (runs threads: scripts/sanitize tsan selects these) and
# "widgets" (builds widgets).
function(kelvra_add_test target)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${target} ${T_SOURCES})
  target_link_libraries(${target} PRIVATE ${T_LIBS} kelvra_test_main)
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/tests")
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY "${PROJECT_BINARY_DIR}/tests"
    TEST_LIST ${target}_TESTS
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
  # The labels go on the discovered tests from a file CTest reads after the
  # discovery's own: its PROPERTIES flatten a list, so of two labels only the
  # first would stay.
  if(T_LABELS)
    set(labels_file "${CMAKE_CURRENT_BINARY_DIR}/${target}_labels.cmake")
    file(WRITE "${labels_file}"
      "if(${target}_TESTS)\n"
      "  set_tests_properties(\${${target}_TESTS} PROPERTIES LABELS \"${T_LABELS}\")\n"
      "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${labels_file}")
  endif()
endfunction()
