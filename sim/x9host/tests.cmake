# Tests of x9host: natively a GoogleTest program (tests/x9host_test.cpp) that also runs the
# program; in the Windows build a script that runs x9host.exe under wine.

set(X9HOST_TEST_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/../../tests)
cmake_path(NORMAL_PATH X9HOST_TEST_SOURCES)

if(WIN32)
  add_test(NAME x9host_wine
    COMMAND ${X9HOST_SOURCE_DIR}/wine_test.sh $<TARGET_FILE:x9host> ${X9HOST_BUNDLED_WATCH})
else()
  find_package(GTest REQUIRED)
  add_executable(x9host_tests ${X9HOST_TEST_SOURCES}/main.cpp ${X9HOST_TEST_SOURCES}/x9host_test.cpp)
  target_link_libraries(x9host_tests PRIVATE x9host_core GTest::gtest pugixml::pugixml)
  target_compile_definitions(x9host_tests PRIVATE
    X9HOST_PROGRAM="$<TARGET_FILE:x9host>"
    X9HOST_SAMPLE_WATCH="${X9HOST_BUNDLED_WATCH}")
  add_dependencies(x9host_tests x9host)
  add_test(NAME x9host_tests COMMAND x9host_tests)
endif()
