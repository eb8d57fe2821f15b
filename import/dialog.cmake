target_sources(kolibrio_core PRIVATE import/MyDlgLayout.cpp)
if(WIN32)
  target_sources(kolibrio_win PRIVATE import/UnitMyDlg_win.cpp import/unitDlgFilecopy_win.cpp)
endif()
