# Test executables of the video window compositor, its bitmap files and the
# notification port. Titles and the clipboard need a QGuiApplication, made
# on the offscreen platform; one executable runs without any application.
find_package(Qt6 REQUIRED COMPONENTS Gui)
find_package(Threads REQUIRED)
add_executable(zo_window_tests
  render/CZoWndTest.cpp
  render/CZoWndSurfaceTest.cpp
  render/CZoWndThreadTest.cpp
  render/CZoWndZoomTest.cpp
  render/BitmapFileTest.cpp
  platform/NotificationPortTest.cpp
)
target_link_libraries(zo_window_tests PRIVATE zo_render zo_codec zo_platform zo_test_support Qt6::Gui
  GTest::gtest Threads::Threads)
gtest_discover_tests(zo_window_tests DISCOVERY_TIMEOUT 60
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

add_executable(zo_window_noapp_tests render/CZoWndNoAppTest.cpp)
target_link_libraries(zo_window_noapp_tests PRIVATE zo_render zo_codec zo_platform Qt6::Gui GTest::gtest_main)
gtest_discover_tests(zo_window_noapp_tests DISCOVERY_TIMEOUT 60
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
