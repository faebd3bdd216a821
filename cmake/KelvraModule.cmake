# kelvra_add_module(<package>/<Name>
#                   [SOURCES file...]      relative to Kelvra/<package>/ (headers included)
#                   [LOADS package/Name...] modules this one builds on
#                   [LIBS target...]        other libraries (Tavik, Qt5::Widgets, ...)
#                   [TESTS file...]         relative to tests/Kelvra/<package>/;
#                                           default: <Name>Test.cpp when it exists
#                   [TEST_LIBS target...])  extra libraries for the test binary
#
# Declares the plug-in module Kelvra.<package>.<Name> (a shared library, or an
# INTERFACE target when it has only headers) and its test target
# test.Kelvra.<package>.<Name>.
function(kelvra_add_module path)
  cmake_parse_arguments(M "" "" "SOURCES;LOADS;LIBS;TESTS;TEST_LIBS" ${ARGN})
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
      kelvra_add_test(test.${target} SOURCES ${tests} LIBS ${target} ${M_TEST_LIBS})
    endif()
  endif()
endfunction()

# kelvra_add_test(<target> SOURCES file... [LIBS target...])
# A GoogleTest binary with the common test main (Qt offscreen), discovered by
# CTest when the tests run, so the build never starts a GUI binary.
function(kelvra_add_test target)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${T_SOURCES})
  target_link_libraries(${target} PRIVATE ${T_LIBS} kelvra_test_main)
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/tests")
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY "${PROJECT_BINARY_DIR}/tests"
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
endfunction()
