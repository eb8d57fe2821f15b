target_sources(kolibrio_core PRIVATE base/DateTime.cpp base/Text.cpp)
