target_sources(kolibrio_core PRIVATE settings/SkinFile.cpp)
if(WIN32)
  target_sources(kolibrio_win PRIVATE framework/SkinManager.cpp settings/SettingsWindow.cpp)
endif()
