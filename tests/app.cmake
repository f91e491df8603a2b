# The settings file, and the desktop application driven through its widgets
# on the offscreen platform.
add_executable(zo_profile_tests app/ProfileTest.cpp)
target_link_libraries(zo_profile_tests PRIVATE zo_platform GTest::gtest_main)
gtest_discover_tests(zo_profile_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS app)

add_executable(zo_app_tests
  app/AppTestMain.cpp
  app/ViewerDlgTest.cpp
  app/ViewerStateTest.cpp
  app/VideoWidgetZoomTest.cpp
  app/ViewerNavigationTest.cpp
)
target_link_libraries(zo_app_tests PRIVATE zo_app zo_synth zo_render Qt6::Test GTest::gtest)
gtest_discover_tests(zo_app_tests DISCOVERY_TIMEOUT 60
  PROPERTIES LABELS app ENVIRONMENT
  "QT_QPA_PLATFORM=offscreen;SDL_AUDIODRIVER=dummy;TSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/app/tsan.supp")

# The real program on an X server of its own, where one can be made.
find_program(ZO_XVFB_RUN xvfb-run)
find_program(ZO_IMPORT import)
if(ZO_XVFB_RUN AND ZO_IMPORT)
  add_test(NAME zo_viewer_end_to_end
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/app/ViewerEndToEnd.sh $<TARGET_FILE:zoviewer> $<TARGET_FILE:zrf>)
  set_tests_properties(zo_viewer_end_to_end PROPERTIES LABELS app TIMEOUT 180)
endif()

# Not a test: builds the main window, runs its commands and saves what the
# screen shows, for scripts/screenshots.
add_executable(zo_viewer_shot app/ScreenshotDriver.cpp)
target_link_libraries(zo_viewer_shot PRIVATE zo_app zo_render)
