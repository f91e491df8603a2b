# Desktop viewer: CPU of x1 playback in the real main window beside the engine
# alone, and pictures shown at 60 a second full screen. Needs an X server.
if(TARGET zo_app)
  add_executable(zo_viewer_bench ViewerBench.cpp)
  target_link_libraries(zo_viewer_bench PRIVATE zo_app zo_synth zo_render)
endif()
