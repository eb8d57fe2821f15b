target_sources(kolibrio_core PRIVATE settings/ListText.cpp)
if(WIN32)
  target_sources(kolibrio_win PRIVATE settings/SettingsStore_win.cpp settings/ProfileFile_win.cpp)
endif()
