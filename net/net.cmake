target_sources(kolibrio_core PRIVATE net/NetLogic.cpp)
