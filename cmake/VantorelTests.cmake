# vantorel_gtest(<name> LABEL unit|integration SOURCES ... [LIBS ...] [QT] [ENV VAR=value ...]
#                [RESOURCE_LOCK <lock>...] [LOCKED_TESTS <regex>])
#
# One executable per test group; every GoogleTest case becomes a ctest test with the label.
# RESOURCE_LOCK: the group's tests (or those whose name matches LOCKED_TESTS) hold these ctest
# resource locks. The suite runs with -j2 on two processors: a test that loads the machine (an
# office start, a gigabyte written, a fuzz run) or whose checks need it calm (a recording timed
# by the clock) holds ${VANTOREL_HEAVY_LOCK}, so that one such test runs at a time, next to light
# ones only.
# QT: link the Qt test main (a QApplication exists); unit tests run it on the offscreen platform so
# they need no display, integration tests use the DISPLAY the test command provides.
# VANTOREL_TEST_PROGRAM_DIR and VANTOREL_TEST_SOURCE_DIR (with a trailing '/') are defined.
set(VANTOREL_HEAVY_LOCK heavy)

function(vantorel_gtest name)
  cmake_parse_arguments(T "QT" "LABEL;LOCKED_TESTS" "SOURCES;LIBS;ENV;RESOURCE_LOCK" ${ARGN})
  if(NOT T_LABEL MATCHES "^(unit|integration)$")
    message(FATAL_ERROR "vantorel_gtest(${name}): LABEL must be unit or integration")
  endif()
  add_executable(${name} ${T_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  # Settings reach the tests compiled in: gtest_discover_tests cannot carry several
  # environment entries.
  target_compile_definitions(${name} PRIVATE
    VANTOREL_TEST_PROGRAM_DIR="${VANTOREL_PROGRAM_DIR}/"
    VANTOREL_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}/")
  if(T_QT)
    target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/QtTestMain.cpp)
    target_link_libraries(${name} PRIVATE Qt6::Widgets Qt6::Test)
    if(T_LABEL STREQUAL "unit")
      target_compile_definitions(${name} PRIVATE VANTOREL_TEST_OFFSCREEN=1)
    endif()
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock vantorel_test_support)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    TEST_LIST ${name}_TESTS
    PROPERTIES LABELS ${T_LABEL} TIMEOUT 300)
  if(T_ENV OR T_RESOURCE_LOCK)
    # Applied after discovery, when ctest knows the test names.
    set(_script ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
    set(_text "if(DEFINED ${name}_TESTS)\n")
    if(T_ENV)
      string(APPEND _text "  set_tests_properties(\${${name}_TESTS} PROPERTIES ENVIRONMENT \"${T_ENV}\")\n")
    endif()
    if(T_RESOURCE_LOCK)
      if(NOT T_LOCKED_TESTS)
        set(T_LOCKED_TESTS ".")
      endif()
      string(APPEND _text "  foreach(_test IN LISTS ${name}_TESTS)\n"
                          "    if(_test MATCHES \"${T_LOCKED_TESTS}\")\n"
                          "      set_tests_properties(\"\${_test}\" PROPERTIES RESOURCE_LOCK \"${T_RESOURCE_LOCK}\")\n"
                          "    endif()\n"
                          "  endforeach()\n")
    endif()
    string(APPEND _text "endif()\n")
    file(WRITE ${_script} "${_text}")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${_script})
  endif()
endfunction()

# vantorel_script_test(<name> LABEL integration SCRIPT file [ENV ...] [RESOURCE_LOCK ...]): a shell
# test that drives the real program from outside, as a user or a client would.
function(vantorel_script_test name)
  cmake_parse_arguments(T "" "LABEL;SCRIPT" "ENV;RESOURCE_LOCK" ${ARGN})
  add_test(NAME ${name} COMMAND bash ${T_SCRIPT})
  set_tests_properties(${name} PROPERTIES LABELS ${T_LABEL} TIMEOUT 300
    ENVIRONMENT "VANTOREL_PROGRAM_DIR=${VANTOREL_PROGRAM_DIR};VANTOREL_SOURCE_DIR=${CMAKE_SOURCE_DIR};${T_ENV}")
  if(T_RESOURCE_LOCK)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${T_RESOURCE_LOCK}")
  endif()
endfunction()
include(${CMAKE_CURRENT_LIST_DIR}/VantorelFuzz.cmake)
