# The player engine, headless on virtual time.
find_package(Threads REQUIRED)
add_executable(zo_engine_tests
  engine/CZoViewer2Test.cpp
  engine/LiveViewTest.cpp
  engine/LiveRecordingTest.cpp
  engine/ExactStepsTest.cpp
)
target_link_libraries(zo_engine_tests PRIVATE zo_engine zo_synth zo_test_support GTest::gtest_main Threads::Threads
  OpenSSL::Crypto)
gtest_discover_tests(zo_engine_tests DISCOVERY_TIMEOUT 60
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;SDL_AUDIODRIVER=dummy")

# zrf play, end to end.
add_executable(zo_zrf_play_tests tools/ZrfPlayTest.cpp)
target_link_libraries(zo_zrf_play_tests PRIVATE zo_test_support GTest::gtest_main)
target_compile_definitions(zo_zrf_play_tests PRIVATE ZRF_BINARY="$<TARGET_FILE:zrf>")
add_dependencies(zo_zrf_play_tests zrf)
gtest_discover_tests(zo_zrf_play_tests DISCOVERY_TIMEOUT 60)

# zrf record against the simulated DVR.
add_executable(zo_zrf_record_tests tools/ZrfRecordTest.cpp)
target_link_libraries(zo_zrf_record_tests PRIVATE zo_synth zo_test_support GTest::gtest_main)
target_compile_definitions(zo_zrf_record_tests PRIVATE ZRF_BINARY="$<TARGET_FILE:zrf>")
add_dependencies(zo_zrf_record_tests zrf)
gtest_discover_tests(zo_zrf_record_tests DISCOVERY_TIMEOUT 60)
