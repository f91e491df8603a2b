# Export throughput against Xvid alone (ffmpeg -c:v libxvid, run as a process).
add_executable(zo_export_bench ExportBench.cpp)
target_link_libraries(zo_export_bench PRIVATE zo_export zo_synth benchmark::benchmark)
