target_sources(kolibrio_core PRIVATE settings/ListText.cpp settings/TextEncoding.cpp settings/SettingsPlace.cpp)
if(WIN32)
  target_sources(kolibrio_win PRIVATE settings/SettingsStore_win.cpp settings/ProfileFile_win.cpp
    settings/SettingsPlace_win.cpp)
endif()
