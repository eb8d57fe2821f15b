if(WIN32)
  target_sources(kolibrio_win PRIVATE device/Unit2_win.cpp)
endif()
