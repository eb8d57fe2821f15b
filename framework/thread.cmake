if(WIN32)
  target_sources(kolibrio_win PRIVATE framework/Thread.cpp)
endif()
