# Playback engine: flat-out pictures per second beside decoding alone, x1 CPU share and memory,
# live-view latency from the simulated DVR to the window.
add_executable(zo_engine_bench EngineBench.cpp)
target_link_libraries(zo_engine_bench PRIVATE zo_engine zo_synth benchmark::benchmark)
