# Colour converters: list(APPEND ZO_CODEC_SOURCES ${CMAKE_CURRENT_LIST_DIR}/<file>.cpp)
