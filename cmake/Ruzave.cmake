# Helpers shared by every folder.
#
# ruzave_library(NAME DIRS d1 d2 ... [DEPS public deps] [PRIVATE_DEPS private deps])
#   A shared library of every .cpp/.c directly inside the listed folders (relative to the caller).
function(ruzave_library name)
  cmake_parse_arguments(A "" "" "DIRS;DEPS;PRIVATE_DEPS" ${ARGN})
  set(srcs)
  foreach(d ${A_DIRS})
    file(GLOB s CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.c)
    list(APPEND srcs ${s})
  endforeach()
  if(NOT srcs)
    set(stub ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    file(WRITE ${stub} "// no sources yet\n")
    set(srcs ${stub})
  endif()
  add_library(${name} ${srcs})
  # Installed headers keep the tree's layout under include/ruzave ("ads/core/public/GADBannerView.h").
  target_include_directories(${name} PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}> $<INSTALL_INTERFACE:include/ruzave>)
  target_link_libraries(${name} PUBLIC ${A_DEPS} PRIVATE ${A_PRIVATE_DEPS})
  ruzave_warnings(${name})
endfunction()

function(ruzave_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(RUZAVE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  # GCC 12 at -O2/-O3 reports bounds "problems" inside std::string's inlined internals that are not there.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
    target_compile_options(${target} PRIVATE -Wno-stringop-overflow -Wno-stringop-overread -Wno-array-bounds -Wno-restrict
      -Wno-maybe-uninitialized -Wno-free-nonheap-object)
  endif()
endfunction()

# ruzave_tests(NAME DIR tests/sub/dir LIBS libs...)
#   One doctest executable of every .cpp below DIR (recursive); each case becomes a CTest test.
function(ruzave_tests name)
  cmake_parse_arguments(A "" "DIR" "LIBS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${A_DIR}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ruzave_test_main ${A_LIBS})
  target_precompile_headers(${name} PRIVATE <doctest/doctest.h>)
  ruzave_warnings(${name})
  if(RUZAVE_SANITIZE)
    # The sanitizers' static data gives a position-independent program millions of relocations to apply
    # at every start, and every test case starts the program anew: a fixed-address program has none.
    target_link_options(${name} PRIVATE -no-pie)
  endif()
  # CTest splits test names at ';': such a case would be registered broken and never run.
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND sh -c "if $<TARGET_FILE:${name}> --list-test-cases --no-version | grep -n ';'; then echo 'test case names must not contain a semicolon' >&2; exit 1; fi"
    VERBATIM)
  doctest_discover_tests(${name} ADD_LABELS 0)
endfunction()
