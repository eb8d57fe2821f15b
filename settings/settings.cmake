target_sources(kolibrio_core PRIVATE settings/Settings.cpp)
