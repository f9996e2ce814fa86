# torvane_library(<name> [DEPS libs...] [PRIVATE_DEPS libs...] [EXCLUDE files...])
# One static library per subsystem folder, made of every .cpp under it.
function(torvane_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(ex ${ARG_EXCLUDE})
    list(REMOVE_ITEM srcs ${CMAKE_CURRENT_SOURCE_DIR}/${ex})
  endforeach()
  if(NOT srcs)
    return()
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()

# torvane_program(<name> <sources...> LIBS libs...)
# Programs land at the top of the build folder (build/Torvane, build/launcher).
function(torvane_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endfunction()

# torvane_tests(<label> LIBS libs...)
# Every *_test.cpp of the calling tests/ folder goes into one executable; each
# test case becomes its own CTest test carrying the label, so `ctest -L <label>`
# selects a library's tests and `ctest -j` runs them side by side.
function(torvane_tests label)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${label}_tests ${srcs})
  target_link_libraries(${label}_tests PRIVATE ${ARG_LIBS} test_support GTest::gtest)
  if(TORVANE_LTO_ON)
    # Whole-program inlining makes GCC see an impossible huge count in the
    # tests' make_unique<T[]>(int) calls and warn about it; depending on how
    # the link is partitioned, it also sees long strings in tables of
    # std::optional<std::string> cases overflow their neighbours, which
    # they do not; and it sees a memcmp of vectors in a std::set of byte
    # strings read past any object.
    target_link_options(${label}_tests PRIVATE -Wno-alloc-size-larger-than -Wno-stringop-overflow
                        -Wno-stringop-overread)
  endif()
  gtest_discover_tests(${label}_tests
    PROPERTIES LABELS ${label}
    DISCOVERY_TIMEOUT 120
    DISCOVERY_MODE PRE_TEST)
endfunction()
