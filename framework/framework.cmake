if(WIN32)
  target_sources(kolibrio_win PRIVATE
    framework/Strings.cpp
    framework/UiThread.cpp)
endif()
