target_sources(kolibrio_core PRIVATE
  mask/MaskExpand.cpp
  mask/MinimizeName.cpp)
