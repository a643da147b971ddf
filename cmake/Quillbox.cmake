# Build helpers shared by every folder.

# Adds every direct sub-folder of each named folder that holds a CMakeLists.txt, and the folder
# itself when it has one. Areas can therefore be added without touching this file.
function(qb_add_subdirectories)
  foreach(top ${ARGN})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${top}/CMakeLists.txt)
      add_subdirectory(${top})
    else()
      file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
           ${CMAKE_CURRENT_SOURCE_DIR}/${top}/*)
      list(SORT children)
      foreach(child ${children})
        if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child}
           AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
          add_subdirectory(${child})
        endif()
      endforeach()
    endif()
  endforeach()
endfunction()

# qb_plugin_library(<target> OUTPUT <file name> EXPORTS <list file> SOURCES <...> [LIBS <...>])
#
# A shared library placed in the plug-in directory under its exact file name (Quillbox.so,
# Phone.qbl, ...). Everything is hidden except the names in the exports list: one name per line,
# C names as they are, C++ names after "c++:" (matched on the demangled name, so "c++:ShowError*"
# exports every overload). Blank lines and lines starting with # are ignored.
function(qb_plugin_library target)
  cmake_parse_arguments(A "" "OUTPUT;EXPORTS" "SOURCES;LIBS" ${ARGN})
  add_library(${target} SHARED ${A_SOURCES})
  file(STRINGS ${A_EXPORTS} lines)
  set(c_names "")
  set(cxx_names "")
  foreach(line ${lines})
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    if(line MATCHES "^c\\+\\+:(.*)$")
      string(APPEND cxx_names "    ${CMAKE_MATCH_1};\n")
    else()
      string(APPEND c_names "    ${line};\n")
    endif()
  endforeach()
  set(script "{\n  global:\n${c_names}")
  if(NOT cxx_names STREQUAL "")
    string(APPEND script "    extern \"C++\" {\n${cxx_names}    };\n")
  endif()
  string(APPEND script "  local: *;\n};\n")
  set(script_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
  file(WRITE ${script_file} "${script}")
  get_filename_component(base ${A_OUTPUT} NAME_WE)
  get_filename_component(ext ${A_OUTPUT} LAST_EXT)
  set_target_properties(${target} PROPERTIES
    PREFIX "" OUTPUT_NAME ${base} SUFFIX ${ext}
    LIBRARY_OUTPUT_DIRECTORY ${QB_PLUGIN_DIR}
    LINK_DEPENDS ${A_EXPORTS}
    BUILD_RPATH "$ORIGIN" INSTALL_RPATH "$ORIGIN")
  target_link_options(${target} PRIVATE -Wl,--version-script=${script_file})
  if(A_LIBS)
    target_link_libraries(${target} PRIVATE ${A_LIBS})
  endif()
endfunction()

# qb_test(<name> SOURCES <...> [LIBS <...>]): one GoogleTest program, one CTest entry.
# Tests run with the build's plug-in and program directories in the environment.
function(qb_test name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main GTest::gmock ${A_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QB_PLUGIN_DIR=${QB_PLUGIN_DIR};QB_BIN_DIR=${QB_BIN_DIR};QB_SOURCE_DIR=${CMAKE_SOURCE_DIR};QB_BUILD_DIR=${CMAKE_BINARY_DIR}"
    TIMEOUT 600)
endfunction()

# qb_fuzzer(<name> TEST <ctest name> SECONDS <n> MALLOC_MB <n> MAX_LEN <n> SOURCES <...> [LIBS <...>])
#
# A libFuzzer target, built only with QB_FUZZ and clang. The code under test is listed in SOURCES
# so that it is compiled with the fuzzer's coverage instrumentation. The CTest entry runs it for
# SECONDS over the checked-in seeds in the folder's corpus/; new inputs go to the build tree.
function(qb_fuzzer name)
  cmake_parse_arguments(A "" "TEST;SECONDS;MALLOC_MB;MAX_LEN" "SOURCES;LIBS" ${ARGN})
  if(NOT QB_FUZZ OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  if(A_LIBS)
    target_link_libraries(${name} PRIVATE ${A_LIBS})
  endif()
  file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/corpus)
  add_test(NAME ${A_TEST}
    COMMAND ${name} -max_total_time=${A_SECONDS} -artifact_prefix=${CMAKE_CURRENT_BINARY_DIR}/
            -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=${A_MALLOC_MB} -max_len=${A_MAX_LEN}
            ${CMAKE_CURRENT_BINARY_DIR}/corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus)
  set_tests_properties(${A_TEST} PROPERTIES TIMEOUT 120)
endfunction()
