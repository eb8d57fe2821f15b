# The copy check hashes with XXH3 from Debian's libxxhash-dev, header-only.
# The cross compilers never look into the host's /usr/include (nor should
# they), so that one header is copied into the build tree at configure time
# and only the file that hashes gets its folder.
find_file(KOLIBRIO_XXHASH_HEADER xxhash.h PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
configure_file(${KOLIBRIO_XXHASH_HEADER} ${CMAKE_BINARY_DIR}/xxhash/xxhash.h COPYONLY)
target_sources(kolibrio_core PRIVATE import/VerifyCopy.cpp)
set_source_files_properties(import/VerifyCopy.cpp PROPERTIES INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/xxhash)
if(WIN32)
  target_sources(kolibrio_win PRIVATE import/VerifyCopy_win.cpp)
endif()
