# Skinned controls, the status strip and the artwork: widget tests on the
# offscreen platform, and a picture of every control for looking at.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
add_executable(zo_skin_tests
  app/skin/SkinTestMain.cpp
  app/skin/CZoSkinDialogTest.cpp
  app/skin/CZoSkinButtonTest.cpp
  app/skin/CZoSkinSliderTest.cpp
  app/skin/CZoDvrStatusTest.cpp
)
target_link_libraries(zo_skin_tests PRIVATE zo_skin Qt6::Widgets Qt6::Test GTest::gtest)
gtest_discover_tests(zo_skin_tests DISCOVERY_TIMEOUT 60
  PROPERTIES LABELS app ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

add_executable(zo_skin_sheet app/skin/SkinSheet.cpp)
target_link_libraries(zo_skin_sheet PRIVATE zo_skin Qt6::Widgets)
