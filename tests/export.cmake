# Test executable of the AVI export (tests/export/...) and the export cases of zrf.
add_executable(zo_export_tests
  export/TestMain.cpp
  export/CompressionOptionsTest.cpp
  export/CZoAviWriteTest.cpp
  export/CZoConverterTest.cpp
  tools/ZrfExportTest.cpp
)
target_link_libraries(zo_export_tests PRIVATE zo_export zo_synth zo_test_support GTest::gtest)
target_compile_definitions(zo_export_tests PRIVATE ZRF_BINARY="$<TARGET_FILE:zrf>")
add_dependencies(zo_export_tests zrf)
gtest_discover_tests(zo_export_tests DISCOVERY_TIMEOUT 60
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
