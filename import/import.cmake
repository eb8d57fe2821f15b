target_sources(kolibrio_core PRIVATE import/ImportCore.cpp import/ImportJob.cpp import/ImportReport.cpp)
if(WIN32)
  target_sources(kolibrio_win PRIVATE import/ImportRun_win.cpp import/ImportWindowsUi_win.cpp import/PathDialog_win.cpp)
endif()
