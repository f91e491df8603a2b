# The settings file, and the desktop application driven through its widgets
# on the offscreen platform.
add_executable(zo_profile_tests app/ProfileTest.cpp)
target_link_libraries(zo_profile_tests PRIVATE zo_platform GTest::gtest_main)
gtest_discover_tests(zo_profile_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS app)

add_executable(zo_app_tests
  app/AppTestMain.cpp
  app/ViewerDlgTest.cpp
  app/ViewerStateTest.cpp
)
target_link_libraries(zo_app_tests PRIVATE zo_app zo_synth zo_render Qt6::Test GTest::gtest)
gtest_discover_tests(zo_app_tests DISCOVERY_TIMEOUT 60
  PROPERTIES LABELS app ENVIRONMENT "QT_QPA_PLATFORM=offscreen;SDL_AUDIODRIVER=dummy")
