# qor_add_test(NAME name SOURCES ... LIBS ... [LABELS ...] [DISPLAY])
# One GoogleTest executable per area; every TEST becomes its own ctest entry.
# DISPLAY marks tests that need an X server (scripts/test starts Xvfb for them).
function(qor_add_test)
  cmake_parse_arguments(T "DISPLAY" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${T_NAME} PRIVATE QOR_TESTDATA_DIR="${QOR_TESTDATA_DIR}")
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(labels ${T_LABELS})
  if(T_DISPLAY)
    list(APPEND labels display)
  endif()
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${labels}")
endfunction()
