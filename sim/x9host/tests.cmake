# Tests of x9host: natively a GoogleTest program (tests/x9host_test.cpp) that also runs the
# program; in the Windows build a script that runs x9host.exe under wine.
#
# add_test only counts in directories where testing is enabled, and the top level enables it
# after adding sim/; the tests are therefore registered at the end of the top level.

set(X9HOST_TEST_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/../../tests)
cmake_path(NORMAL_PATH X9HOST_TEST_SOURCES)

if(WIN32)
  function(x9host_register_tests script sample)
    add_test(NAME x9host_wine COMMAND ${script} $<TARGET_FILE:x9host> ${sample})
  endfunction()
else()
  find_package(GTest REQUIRED)
  add_executable(x9host_tests ${X9HOST_TEST_SOURCES}/main.cpp ${X9HOST_TEST_SOURCES}/x9host_test.cpp)
  target_link_libraries(x9host_tests PRIVATE x9host_core GTest::gtest pugixml::pugixml)
  target_compile_definitions(x9host_tests PRIVATE
    X9HOST_PROGRAM="$<TARGET_FILE:x9host>"
    X9HOST_SAMPLE_WATCH="${X9HOST_BUNDLED_WATCH}")
  add_dependencies(x9host_tests x9host)
  function(x9host_register_tests)  # the arguments are the Windows test's
    add_test(NAME x9host_tests COMMAND x9host_tests)
  endfunction()
endif()
# The call runs in the top level's scope: values of this directory go in as arguments, fixed now.
cmake_language(EVAL CODE "cmake_language(DEFER DIRECTORY [[${CMAKE_SOURCE_DIR}]]
  CALL x9host_register_tests [[${X9HOST_SOURCE_DIR}/wine_test.sh]] [[${X9HOST_BUNDLED_WATCH}]])")
