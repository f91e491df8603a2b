# Time search: reads and time per search on simulated disks up to 100 million blocks.
add_executable(zo_time_bench TimeBench.cpp)
target_include_directories(zo_time_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(zo_time_bench PRIVATE zo_media benchmark::benchmark)
