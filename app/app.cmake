if(WIN32)
  target_sources(kolibrio_win PRIVATE
    app/TrayIkona_win.cpp
    app/Unit1_win.cpp
    app/Unit3_win.cpp)
endif()
