# Colour converters: list(APPEND ZO_CODEC_SOURCES ${CMAKE_CURRENT_LIST_DIR}/<file>.cpp)
# The vector kernels select their instruction sets per function (target
# attributes), so every file builds for the baseline processor.
list(APPEND ZO_CODEC_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ColourConvert.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ColourConvertScalar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ColourConvertSse2.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ColourConvertAvx2.cpp
)
