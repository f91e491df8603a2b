# Test executables of the audio path, queues and threads.
add_executable(zo_audio_tests
  platform/EventTest.cpp
  platform/CZoThreadTest.cpp
  codec/CZoAdecTest.cpp
  media/CZoBufferListTest.cpp
  media/CZoBufferListStressTest.cpp
  render/CZoWaveOutTest.cpp
  render/SdlAudioDeviceTest.cpp
)
target_link_libraries(zo_audio_tests PRIVATE zo_engine zo_render zo_codec zo_media zo_platform
  zo_test_support GTest::gtest_main)
gtest_discover_tests(zo_audio_tests DISCOVERY_TIMEOUT 60
  PROPERTIES ENVIRONMENT "SDL_AUDIODRIVER=dummy")
