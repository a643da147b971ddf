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
  # Every library with an exports list, so that a test can hold each list against the symbols
  # the library really exports.
  set_target_properties(${target} PROPERTIES QB_EXPORTS ${A_EXPORTS})
  set_property(GLOBAL APPEND PROPERTY QB_PLUGIN_LIBRARIES ${target})
endfunction()

# qb_field_type(<Name> SOURCES <...> [EXPORTS <list file>] [LIBS <...>] [DEFINITIONS <...>])
#
# One field type: <Name>.qbl in the plug-in directory, linked to the main library whose services
# it imports. EXPORTS defaults to exports.txt beside the calling CMakeLists.txt. The target is
# qb_fieldtype_<name in lower case>; every field type is recorded in the global property
# QB_FIELD_TYPES, which is where the tests find them all.
function(qb_field_type name)
  cmake_parse_arguments(A "" "EXPORTS" "SOURCES;LIBS;DEFINITIONS" ${ARGN})
  if(NOT A_SOURCES)
    message(FATAL_ERROR "qb_field_type(${name}): no SOURCES")
  endif()
  if(NOT A_EXPORTS)
    set(A_EXPORTS ${CMAKE_CURRENT_SOURCE_DIR}/exports.txt)
  endif()
  string(TOLOWER ${name} lower)
  set(target qb_fieldtype_${lower})
  qb_plugin_library(${target} OUTPUT ${name}.qbl EXPORTS ${A_EXPORTS}
    SOURCES ${A_SOURCES} LIBS quillbox_main ${A_LIBS})
  if(A_DEFINITIONS)
    target_compile_definitions(${target} PRIVATE ${A_DEFINITIONS})
  endif()
  set_property(GLOBAL APPEND PROPERTY QB_FIELD_TYPES ${target})
endfunction()

# qb_field_types(<variable>): the targets of every field type declared so far (all of them once
# fieldtypes/ has been read, which the top-level file does before tests/).
function(qb_field_types out)
  get_property(types GLOBAL PROPERTY QB_FIELD_TYPES)
  if(NOT types)
    message(FATAL_ERROR "no field type has been declared before ${CMAKE_CURRENT_SOURCE_DIR}")
  endif()
  set(${out} ${types} PARENT_SCOPE)
endfunction()

# qb_test_field_type(<file name> DIR <output dir> EXPORTS <names...> DEFINITIONS <...>)
#
# The configurable field type of the tests (tests/support/test_field_type.cpp) built as one more
# library with its own settings (TFT_*), into a test directory, never the plug-in directory.
function(qb_test_field_type file)
  cmake_parse_arguments(A "" "DIR;TARGET" "EXPORTS;DEFINITIONS" ${ARGN})
  set(exports ${CMAKE_CURRENT_BINARY_DIR}/${A_TARGET}.exports)
  list(JOIN A_EXPORTS "\n" text)
  file(WRITE ${exports} "${text}\n")
  qb_plugin_library(${A_TARGET} OUTPUT ${file} EXPORTS ${exports}
    SOURCES ${CMAKE_SOURCE_DIR}/tests/support/test_field_type.cpp)
  set_target_properties(${A_TARGET} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${A_DIR})
  target_compile_definitions(${A_TARGET} PRIVATE ${A_DEFINITIONS})
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

# qb_fuzzing_objects(<library>): <library>_fuzzing, an object library of <library>'s own sources (as
# the library's target lists them) built with coverage instrumentation for libFuzzer, linked to
# whatever <library> links. The library itself stays uninstrumented for the rest of the build.
function(qb_fuzzing_objects lib)
  if(TARGET ${lib}_fuzzing)
    return()
  endif()
  if(NOT TARGET ${lib})
    message(FATAL_ERROR "a fuzzer tests ${lib}, which is no target")
  endif()
  get_target_property(sources ${lib} SOURCES)
  get_target_property(dir ${lib} SOURCE_DIR)
  set(paths "")
  foreach(source ${sources})
    if(IS_ABSOLUTE ${source})
      list(APPEND paths ${source})
    else()
      list(APPEND paths ${dir}/${source})
    endif()
  endforeach()
  add_library(${lib}_fuzzing OBJECT ${paths})
  target_compile_options(${lib}_fuzzing PRIVATE -fsanitize=fuzzer-no-link)
  target_include_directories(${lib}_fuzzing PRIVATE
    $<TARGET_PROPERTY:${lib},INCLUDE_DIRECTORIES> ${CMAKE_SOURCE_DIR})
  target_compile_definitions(${lib}_fuzzing PRIVATE $<TARGET_PROPERTY:${lib},COMPILE_DEFINITIONS>)
  get_target_property(deps ${lib} LINK_LIBRARIES)
  if(deps)
    target_link_libraries(${lib}_fuzzing PUBLIC ${deps})
  endif()
endfunction()

# qb_fuzzer(<name> TEST <ctest name> SECONDS <n> MALLOC_MB <n> MAX_LEN <n> SOURCES <...> LIBS <...>)
#
# A libFuzzer target, built only with QB_FUZZ and clang (asking for QB_FUZZ with another compiler
# is an error). SOURCES is the fuzzer's own entry point; LIBS are the libraries under test, linked
# as their instrumented object copies (qb_fuzzing_objects), so a library's file list is written
# once, in its own folder. The CTest entry runs it for SECONDS over the checked-in seeds in
# the folder's corpus/; new inputs go to the build tree.
function(qb_fuzzer name)
  cmake_parse_arguments(A "" "TEST;SECONDS;MALLOC_MB;MAX_LEN" "SOURCES;LIBS" ${ARGN})
  if(NOT QB_FUZZ)
    return()
  endif()
  if(NOT A_LIBS)
    message(FATAL_ERROR "qb_fuzzer(${name}): name the libraries under test in LIBS")
  endif()
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  foreach(lib ${A_LIBS})
    target_link_libraries(${name} PRIVATE ${lib}_fuzzing)
    qb_fuzzing_objects(${lib})
  endforeach()
  file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/corpus)
  add_test(NAME ${A_TEST}
    COMMAND ${name} -max_total_time=${A_SECONDS} -artifact_prefix=${CMAKE_CURRENT_BINARY_DIR}/
            -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=${A_MALLOC_MB} -max_len=${A_MAX_LEN}
            ${CMAKE_CURRENT_BINARY_DIR}/corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus)
  set_tests_properties(${A_TEST} PROPERTIES TIMEOUT 120)
endfunction()
