# quellix_add_test(<name> SOURCES ... LIBS ...)
# One test executable, registered with CTest as one test. Under the Windows
# configuration CTest runs it through CMAKE_CROSSCOMPILING_EMULATOR (Wine).
# Tests beside the code they test carry the label "unit" (`tools/test.sh
# --quick` runs only those under Wine); those under tests/ drive whole programs.
function(quellix_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  if(WIN32)
    target_link_options(${name} PRIVATE -mconsole)
  endif()
  if(MINGW)
    target_link_options(${name} PRIVATE $<$<CONFIG:Release>:-fno-lto>)
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
  if(NOT CMAKE_CURRENT_SOURCE_DIR MATCHES "^${PROJECT_SOURCE_DIR}/tests(/|$)")
    set_tests_properties(${name} PROPERTIES LABELS unit)
  endif()
endfunction()
