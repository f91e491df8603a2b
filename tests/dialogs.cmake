# The desktop dialogs driven through their widgets on the offscreen
# platform, and the folder rules beneath the folder picker.
add_executable(zo_dialogs_tests
  app/dialogs/DialogTestMain.cpp
  app/dialogs/FolderRulesTest.cpp
  app/dialogs/OptionsDialogsTest.cpp
  app/dialogs/SmallDialogsTest.cpp
  app/dialogs/ExportDialogTest.cpp
  app/dialogs/DialogScreenshots.cpp
)
target_link_libraries(zo_dialogs_tests PRIVATE zo_dialogs zo_synth zo_test_support Qt6::Test GTest::gtest)
target_compile_definitions(zo_dialogs_tests PRIVATE ZRF_BINARY="$<TARGET_FILE:zrf>")
add_dependencies(zo_dialogs_tests zrf)
gtest_discover_tests(zo_dialogs_tests DISCOVERY_TIMEOUT 60
  PROPERTIES LABELS app ENVIRONMENT
  "QT_QPA_PLATFORM=offscreen;SDL_AUDIODRIVER=dummy;TSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/app/dialogs/tsan.supp")
