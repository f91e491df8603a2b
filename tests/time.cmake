# Time search on recordings and disks, and the zrf commands built on it.
add_executable(zo_time_tests
  media/TimeLocatorTest.cpp
  media/BookmarkStoreTest.cpp
  media/TimeIndexTest.cpp
)
target_link_libraries(zo_time_tests PRIVATE zo_media zo_synth zo_test_support GTest::gtest_main)
gtest_discover_tests(zo_time_tests DISCOVERY_TIMEOUT 60)

# The engine's search to a time.
add_executable(zo_time_engine_tests engine/SearchTimeTest.cpp)
target_link_libraries(zo_time_engine_tests PRIVATE zo_engine zo_synth zo_test_support GTest::gtest_main)
gtest_discover_tests(zo_time_engine_tests DISCOVERY_TIMEOUT 60
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;SDL_AUDIODRIVER=dummy")

# zrf seek, play --time and evidence, end to end.
add_executable(zo_zrf_time_tests tools/ZrfTimeTest.cpp)
target_link_libraries(zo_zrf_time_tests PRIVATE zo_media zo_test_support GTest::gtest_main OpenSSL::Crypto)
target_compile_definitions(zo_zrf_time_tests PRIVATE ZRF_BINARY="$<TARGET_FILE:zrf>")
add_dependencies(zo_zrf_time_tests zrf)
gtest_discover_tests(zo_zrf_time_tests DISCOVERY_TIMEOUT 60)
