target_sources(kolibrio_core PRIVATE exif/Exif.cpp)
if(WIN32)
  target_sources(kolibrio_win PRIVATE exif/ExifFile_win.cpp)
endif()
