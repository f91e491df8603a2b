# Test executables of the colour converters (tests/codec/...).
find_package(Threads REQUIRED)
add_executable(zo_colour_tests codec/ColourConvertTest.cpp)
target_link_libraries(zo_colour_tests PRIVATE zo_codec zo_synth zo_test_support GTest::gtest_main Threads::Threads)
gtest_discover_tests(zo_colour_tests DISCOVERY_TIMEOUT 60)
# The whole suite again on the scalar references.
add_test(NAME zo_colour_tests_forced_scalar COMMAND zo_colour_tests)
set_tests_properties(zo_colour_tests_forced_scalar PROPERTIES ENVIRONMENT ZO_FORCE_SCALAR=1)
