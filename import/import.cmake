target_sources(kolibrio_core PRIVATE import/ImportCore.cpp import/ImportJob.cpp import/ImportReport.cpp)
if(WIN32)
  target_sources(kolibrio_win PRIVATE
    import/CopyChecker_win.cpp
    import/CopyFile_win.cpp
    import/CopyOwner_win.cpp
    import/CopyPhase_win.cpp
    import/FileAccess_win.cpp
    import/ImportRun_win.cpp
    import/ImportWindowsUi_win.cpp
    import/PathDialog_win.cpp
    import/Placing_win.cpp
    import/RunPacing_win.cpp
    import/TargetFolders_win.cpp)
endif()
