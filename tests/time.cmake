# Time search on recordings and disks, and the zrf commands built on it.
add_executable(zo_time_tests
  media/TimeLocatorTest.cpp
)
target_link_libraries(zo_time_tests PRIVATE zo_media zo_synth zo_test_support GTest::gtest_main)
gtest_discover_tests(zo_time_tests DISCOVERY_TIMEOUT 60)

# The engine's search to a time.
add_executable(zo_time_engine_tests engine/SearchTimeTest.cpp)
target_link_libraries(zo_time_engine_tests PRIVATE zo_engine zo_synth zo_test_support GTest::gtest_main)
gtest_discover_tests(zo_time_engine_tests DISCOVERY_TIMEOUT 60
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;SDL_AUDIODRIVER=dummy")
