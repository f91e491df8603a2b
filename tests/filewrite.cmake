# Test executable of the local recording writer.
find_package(Threads REQUIRED)
add_executable(zo_filewrite_tests
  media/CZoFileWriteTest.cpp
  media/CZoFileWriteThreadTest.cpp
)
target_link_libraries(zo_filewrite_tests PRIVATE zo_media zo_codec zo_synth zo_test_support GTest::gtest_main
  Threads::Threads)
gtest_discover_tests(zo_filewrite_tests DISCOVERY_TIMEOUT 60)
