# Stream splitter throughput against a plain loopback socket receive.
add_executable(zo_net_bench NetSplitterBench.cpp)
target_link_libraries(zo_net_bench PRIVATE zo_net zo_synth benchmark::benchmark)
