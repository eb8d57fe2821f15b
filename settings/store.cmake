target_sources(kolibrio_core PRIVATE settings/ListText.cpp)
