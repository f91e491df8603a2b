# The time locator on arbitrary rings and bytes.
add_executable(zo_time_locator_fuzz ${CMAKE_CURRENT_LIST_DIR}/TimeLocatorFuzz.cpp)
target_compile_options(zo_time_locator_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_options(zo_time_locator_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_libraries(zo_time_locator_fuzz PRIVATE zo_media)
