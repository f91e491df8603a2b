# Export throughput against xvidcore alone on the same pictures in memory.
add_executable(zo_export_bench ExportBench.cpp)
target_include_directories(zo_export_bench PRIVATE ${XVID_INCLUDE})
target_link_libraries(zo_export_bench PRIVATE zo_export zo_synth benchmark::benchmark PkgConfig::AV ${XVID_LIB})
