# Arbitrary bytes as the viewer's bookmark file of a source.
add_executable(zo_bookmark_fuzz ${CMAKE_CURRENT_LIST_DIR}/BookmarkFuzz.cpp)
target_compile_options(zo_bookmark_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_options(zo_bookmark_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_libraries(zo_bookmark_fuzz PRIVATE zo_media)

# Arbitrary bytes as a time index cache file (shared by zrf index and the timeline).
add_executable(zo_time_index_fuzz ${CMAKE_CURRENT_LIST_DIR}/TimeIndexFuzz.cpp)
target_compile_options(zo_time_index_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_options(zo_time_index_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_libraries(zo_time_index_fuzz PRIVATE zo_media)
