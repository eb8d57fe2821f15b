target_sources(kolibrio_core PRIVATE
  exif/Exif.cpp
  exif/IsoMedia.cpp
  exif/JpegSegments.cpp
  exif/QuickTime.cpp
  exif/Riff.cpp
  exif/TiffRaw.cpp)
if(WIN32)
  target_sources(kolibrio_win PRIVATE exif/ExifFile_win.cpp)
endif()
