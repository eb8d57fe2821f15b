target_sources(kolibrio_core PRIVATE app/InstanceBlock.cpp)
if(WIN32)
  target_sources(kolibrio_win PRIVATE app/OneInstance_win.cpp)
endif()
