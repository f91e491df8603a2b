# The player engine, headless on virtual time.
find_package(Threads REQUIRED)
add_executable(zo_engine_tests
  engine/CZoViewer2Test.cpp
)
target_link_libraries(zo_engine_tests PRIVATE zo_engine zo_synth zo_test_support GTest::gtest_main Threads::Threads)
gtest_discover_tests(zo_engine_tests DISCOVERY_TIMEOUT 60
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;SDL_AUDIODRIVER=dummy")
