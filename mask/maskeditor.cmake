target_sources(kolibrio_core PRIVATE mask/MaskEditor.cpp)
