target_sources(kolibrio_core PRIVATE net/NetLogic.cpp)
if(WIN32)
  target_sources(kolibrio_win PRIVATE net/HTTPGet_win.cpp net/OnlineCheck_win.cpp)
endif()
