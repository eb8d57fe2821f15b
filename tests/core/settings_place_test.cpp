#include "settings/SettingsPlace.h"

#include <gtest/gtest.h>

using Paths = std::vector<std::string>;

TEST(VirtualStorePath, TakesTheFolderWithoutItsDrive) {
    const std::string local = "C:\\Users\\jana\\AppData\\Local\\";
    EXPECT_EQ(VirtualStorePath(local, "C:\\Program Files\\Kolibrio 2\\", "setting.ini"),
              local + "VirtualStore\\Program Files\\Kolibrio 2\\setting.ini");
    EXPECT_EQ(VirtualStorePath(local, "d:\\Programy\\", "setting.ini"), local + "VirtualStore\\Programy\\setting.ini");
    // Windows virtualises nothing on a share, nor without a profile.
    EXPECT_EQ(VirtualStorePath(local, "\\\\server\\share\\Kolibrio 2\\", "setting.ini"), "");
    EXPECT_EQ(VirtualStorePath("", "C:\\Program Files\\Kolibrio 2\\", "setting.ini"), "");
    EXPECT_EQ(VirtualStorePath(local, "", "setting.ini"), "");
}

TEST(FirstStartSources, TheUsersOwnCopyFirstThenTheProgramsFolder) {
    const std::string local = "C:\\Users\\jana\\AppData\\Local\\";
    const std::string store = local + "VirtualStore\\";
    struct Case {
        const char* name;
        TFirstStartFolders folders;
        Paths want;
    } cases[] = {
        {"64-bit program on 64-bit Windows, after a 32-bit installation",
         {"C:\\Program Files\\Kolibrio 2\\", local, "C:\\Program Files (x86)\\"},
         {store + "Program Files\\Kolibrio 2\\setting.ini", store + "Program Files (x86)\\Kolibrio 2\\setting.ini",
          "C:\\Program Files\\Kolibrio 2\\setting.ini", "C:\\Program Files\\Kolibrio 2\\setting_def.ini"}},
        {"32-bit program on 64-bit Windows: its own folder is the 32-bit one",
         {"C:\\Program Files (x86)\\Kolibrio 2\\", local, "c:\\program files (x86)\\"},
         {store + "Program Files (x86)\\Kolibrio 2\\setting.ini", "C:\\Program Files (x86)\\Kolibrio 2\\setting.ini",
          "C:\\Program Files (x86)\\Kolibrio 2\\setting_def.ini"}},
        {"32-bit Windows", {"C:\\Program Files\\Kolibrio 2\\", local, "C:\\Program Files\\"},
         {store + "Program Files\\Kolibrio 2\\setting.ini", "C:\\Program Files\\Kolibrio 2\\setting.ini",
          "C:\\Program Files\\Kolibrio 2\\setting_def.ini"}},
        {"installed on a share", {"\\\\srv\\apps\\Kolibrio 2\\", local, ""},
         {"\\\\srv\\apps\\Kolibrio 2\\setting.ini", "\\\\srv\\apps\\Kolibrio 2\\setting_def.ini"}},
        {"no local profile", {"C:\\Program Files\\Kolibrio 2\\", "", "C:\\Program Files (x86)\\"},
         {"C:\\Program Files\\Kolibrio 2\\setting.ini", "C:\\Program Files\\Kolibrio 2\\setting_def.ini"}},
    };
    for (const Case& c : cases) EXPECT_EQ(FirstStartSources(c.folders), c.want) << c.name;
}
