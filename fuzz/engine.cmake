# Exact Steps: pictures of arbitrary recordings rebuilt from their key pictures.
add_executable(zo_exact_steps_fuzz ${CMAKE_CURRENT_LIST_DIR}/ExactStepsFuzz.cpp
  ${PROJECT_SOURCE_DIR}/src/engine/ExactPictures.cpp)
target_include_directories(zo_exact_steps_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_compile_options(zo_exact_steps_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_options(zo_exact_steps_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_libraries(zo_exact_steps_fuzz PRIVATE zo_codec)
