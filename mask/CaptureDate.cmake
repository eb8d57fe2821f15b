target_sources(kolibrio_core PRIVATE mask/CaptureDate.cpp)
if(WIN32)
  target_sources(kolibrio_win PRIVATE mask/CaptureDate_win.cpp)
endif()
