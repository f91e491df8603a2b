# Test executable of the DVR network source: wire formats, the stream
# splitter and the receiver thread against small loopback peers.
add_executable(zo_net_tests
  net/WireFormatTest.cpp
  net/StreamSplitterTest.cpp
  net/CZoNetSourceTest.cpp
)
target_link_libraries(zo_net_tests PRIVATE zo_net zo_synth zo_test_support GTest::gtest_main)
gtest_discover_tests(zo_net_tests DISCOVERY_TIMEOUT 60)
