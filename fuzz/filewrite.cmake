# Arbitrary frames and commands fed to the local recording writer.
add_executable(zo_filewrite_fuzz ${CMAKE_CURRENT_LIST_DIR}/FileWriteFuzz.cpp)
target_compile_options(zo_filewrite_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_options(zo_filewrite_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_libraries(zo_filewrite_fuzz PRIVATE zo_media)
