# Small helpers shared by the modules. Sources are found by glob so that a new
# file in a module's folder needs no edit here.

# tovan_glob(<var> <dir> <patterns...>): sorted list of files, re-globbed on build.
function(tovan_glob var dir)
  set(files)
  foreach(p ${ARGN})
    file(GLOB found CONFIGURE_DEPENDS ${dir}/${p})
    list(APPEND files ${found})
  endforeach()
  list(SORT files)
  set(${var} ${files} PARENT_SCOPE)
endfunction()

# tovan_tests(<name> DIR <dir> LIBS <libs...> [LABELS <labels...>] [ENV <VAR=value...>])
# Builds every <dir>/*.cpp into one GoogleTest program and registers its tests.
# Every test program has the shared test support (testsupport/) and finds its
# fixtures in <dir>/data (TOVANTTS_TEST_DATA, or the path compiled in).
function(tovan_tests name)
  cmake_parse_arguments(T "" "DIR" "LIBS;LABELS;ENV" ${ARGN})
  tovan_glob(srcs ${T_DIR} *.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${T_LIBS} tovantestsupport GTest::gtest GTest::gtest_main GTest::gmock
                        Threads::Threads)
  target_compile_definitions(${name} PRIVATE TOVANTTS_TEST_DATA_DIR="${T_DIR}/data")
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  # Extra variables go through env(1) in front of the program: the
  # ENVIRONMENT property of discovered tests keeps only one item.
  if(T_ENV)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "env;${T_ENV}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    TEST_PREFIX "${name}:"
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES LABELS "${T_LABELS}" ENVIRONMENT "TOVANTTS_TEST_DATA=${T_DIR}/data")
endfunction()

# tovan_library(<name> DIR <dir> LIBS <libs...> [EXCLUDE <file names...>] [INCLUDES <dirs...>])
# A static library of every <dir>/*.cpp (less EXCLUDE). A folder that has no
# sources yet gives an interface library with the same links, so the modules
# that build on it link either way.
function(tovan_library name)
  cmake_parse_arguments(L "" "DIR" "LIBS;EXCLUDE;INCLUDES" ${ARGN})
  tovan_glob(srcs ${L_DIR} *.cpp)
  foreach(x ${L_EXCLUDE})
    list(REMOVE_ITEM srcs ${L_DIR}/${x})
  endforeach()
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${L_DIR} ${L_INCLUDES})
    target_link_libraries(${name} PUBLIC ${L_LIBS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${L_DIR} ${L_INCLUDES})
    target_link_libraries(${name} INTERFACE ${L_LIBS})
  endif()
endfunction()

# tovan_benches(DIR <dir> LIBS <libs...>): every <dir>/<name>.cpp is one Google
# Benchmark program <name> (nothing when Google Benchmark is not installed).
function(tovan_benches)
  cmake_parse_arguments(B "" "DIR" "LIBS" ${ARGN})
  if(NOT benchmark_FOUND)
    return()
  endif()
  tovan_glob(srcs ${B_DIR} *.cpp)
  foreach(f ${srcs})
    get_filename_component(b ${f} NAME_WE)
    add_executable(${b} ${f})
    target_link_libraries(${b} PRIVATE ${B_LIBS} benchmark::benchmark)
  endforeach()
endfunction()
