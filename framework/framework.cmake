if(WIN32)
  target_sources(kolibrio_win PRIVATE
    framework/Application.cpp
    framework/Controls.cpp
    framework/Form.cpp
    framework/Png.cpp
    framework/SkinManager.cpp
    framework/StringList.cpp
    framework/Strings.cpp
    framework/UiThread.cpp)
endif()
