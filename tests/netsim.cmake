# Test executables of the simulated DVR and DDNS peers (against a raw client
# of their own, and zrf dvr-sim as a process), and the end-to-end tests of
# the network client against them.
find_package(Threads REQUIRED)
add_executable(zo_dvrsim_tests
  synth/DvrSimTest.cpp
  synth/DvrSimCommandTest.cpp
)
target_link_libraries(zo_dvrsim_tests PRIVATE zo_synth zo_codec zo_media zo_test_support GTest::gtest_main
  Threads::Threads)
target_compile_definitions(zo_dvrsim_tests PRIVATE ZRF_BINARY="$<TARGET_FILE:zrf>")
add_dependencies(zo_dvrsim_tests zrf)
gtest_discover_tests(zo_dvrsim_tests DISCOVERY_TIMEOUT 60)

# The network client against the simulated peers, once the client library exists.
if(TARGET zo_net)
  add_executable(zo_net_e2e_tests net/EndToEndTest.cpp)
  target_link_libraries(zo_net_e2e_tests PRIVATE zo_net zo_synth zo_platform zo_media zo_test_support
    GTest::gtest_main Threads::Threads)
  gtest_discover_tests(zo_net_e2e_tests DISCOVERY_TIMEOUT 60)
endif()
