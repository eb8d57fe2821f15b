target_sources(kolibrio_core PRIVATE
  device/CDTools.cpp
  device/DeviceChange.cpp)
if(WIN32)
  target_sources(kolibrio_win PRIVATE
    device/DeviceChange_win.cpp)
endif()
