target_sources(kolibrio_core PRIVATE settings/SkinFile.cpp)
if(WIN32)
  target_sources(kolibrio_win PRIVATE settings/SkinFolder_win.cpp settings/SettingsWindow_win.cpp)
endif()
