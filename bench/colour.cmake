# Benchmarks of the colour converters against libyuv.
# Debian's libyuv-dev ships no pkg-config or CMake file.
find_path(LIBYUV_INCLUDE_DIR libyuv.h)
find_library(LIBYUV_LIBRARY yuv)
if(LIBYUV_INCLUDE_DIR AND LIBYUV_LIBRARY)
  add_executable(zo_colour_bench ColourBench.cpp)
  target_include_directories(zo_colour_bench PRIVATE ${LIBYUV_INCLUDE_DIR})
  target_link_libraries(zo_colour_bench PRIVATE zo_codec benchmark::benchmark ${LIBYUV_LIBRARY})
else()
  message(WARNING "libyuv not found (Debian package libyuv-dev): zo_colour_bench is not built")
endif()
