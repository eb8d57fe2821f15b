if(WIN32)
  target_sources(kolibrio_win PRIVATE
    app/TrayIkona.cpp
    app/Unit1.cpp
    app/Unit3.cpp)
endif()
