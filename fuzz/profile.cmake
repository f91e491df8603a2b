# Arbitrary bytes as the viewer's settings file.
add_executable(zo_profile_fuzz ${CMAKE_CURRENT_LIST_DIR}/ProfileFuzz.cpp)
target_compile_options(zo_profile_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_options(zo_profile_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_libraries(zo_profile_fuzz PRIVATE zo_platform)
