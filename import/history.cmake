# The import history keeps its rows in SQLite: Debian's libsqlite3-dev in the
# native and fuzz trees, the static library that scripts/setup.sh builds
# from Debian's source into each MinGW prefix in the Windows trees.
find_package(SQLite3 REQUIRED)
target_sources(kolibrio_core PRIVATE import/ImportHistory.cpp import/HistoryAside.cpp)
target_link_libraries(kolibrio_core PUBLIC SQLite::SQLite3)
if(WIN32)
  target_sources(kolibrio_win PRIVATE import/ImportHistory_win.cpp)
endif()
