# vantorel_fuzz_target(<name> TARGET <fuzz target source> SOURCES <project sources...>
#                      [REPLAY_LIBS <libs...>] [ALL])
#
# A libFuzzer target (LLVMFuzzerTestOneInput) over some of the project's sources, seeded from
# tests/fuzz/<name>/, which also keeps one input for every fault a fuzz run found. Two builds:
# - ${CMAKE_BINARY_DIR}/fuzz/fuzz_<name>: clang with -fsanitize=fuzzer,address,undefined, built
#   from SOURCES directly (target fuzz_<name>, part of "fuzzers", which scripts/fuzz.sh builds and
#   runs); only where clang is installed, and in the default build only with ALL.
# - fuzz_replay_<name>: the project's compiler and libraries, a main that runs every seed once;
#   the unit test fuzz_seeds_<name> keeps the findings fixed on any machine.
find_program(VANTOREL_CLANGXX NAMES clang++ clang++-14)
if(NOT TARGET fuzzers)
  add_custom_target(fuzzers)
endif()

function(vantorel_fuzz_target name)
  cmake_parse_arguments(F "ALL" "TARGET" "SOURCES;REPLAY_LIBS" ${ARGN})
  set(seeds ${CMAKE_SOURCE_DIR}/tests/fuzz/${name})
  add_executable(fuzz_replay_${name} ${F_TARGET} ${CMAKE_SOURCE_DIR}/tests/support/FuzzReplayMain.cpp)
  target_include_directories(fuzz_replay_${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(fuzz_replay_${name} PRIVATE ${F_REPLAY_LIBS})
  add_test(NAME fuzz_seeds_${name} COMMAND fuzz_replay_${name} ${seeds})
  set_tests_properties(fuzz_seeds_${name} PROPERTIES LABELS unit TIMEOUT 120)
  if(VANTOREL_CLANGXX)
    set(bin ${CMAKE_BINARY_DIR}/fuzz/fuzz_${name})
    # The headers beside the sources, so an edit to one rebuilds the fuzzer.
    set(headers)
    foreach(src IN LISTS F_SOURCES F_TARGET)
      get_filename_component(dir ${src} DIRECTORY)
      file(GLOB h ${dir}/*.h)
      list(APPEND headers ${h})
    endforeach()
    list(REMOVE_DUPLICATES headers)
    add_custom_command(OUTPUT ${bin}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/fuzz
      COMMAND ${VANTOREL_CLANGXX} -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined
              -fno-sanitize-recover=undefined -I${CMAKE_SOURCE_DIR} -I${CMAKE_SOURCE_DIR}/tests
              ${F_SOURCES} ${F_TARGET} -o ${bin}
      DEPENDS ${F_SOURCES} ${F_TARGET} ${headers}
      COMMENT "Building the ${name} fuzzer with clang")
    if(F_ALL)
      add_custom_target(fuzz_${name} ALL DEPENDS ${bin})
    else()
      add_custom_target(fuzz_${name} DEPENDS ${bin})
    endif()
    add_dependencies(fuzzers fuzz_${name})
  endif()
endfunction()
