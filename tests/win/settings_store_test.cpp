#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "base/DateTime.h"
#include "framework/Strings.h"
#include "mask/MaskExpand.h"
#include "settings/ListText.h"
#include "settings/ProfileFile_win.h"
#include "settings/Settings.h"
#include "settings/SettingsStore_win.h"
#include "settings/SettingsView.h"
#include "support/SettingsTestSupport.h"
#include "support/SmallVolume.h"
#include "support/WinTest.h"

using settingstest::RunValue;
using settingstest::SettingsFolderTest;

namespace {

using Store = SettingsFolderTest;

std::string SystemName(LCTYPE type) {
    wchar_t buf[256];
    int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buf, 256);
    return n > 0 ? fw::Utf8(std::wstring(buf, n - 1)) : "";
}

std::wstring Quoted(const std::wstring& s) {
    return L"\"" + s + L"\"";
}

// The value of one key as the file holds it, or "<missing>".
std::string RawValue(const std::string& ini, const std::string& key) {
    size_t at = ini.find("\n" + key + "=");
    if (at == std::string::npos) return "<missing>";
    at += key.size() + 2;
    return ini.substr(at, ini.find_first_of("\r\n", at) - at);
}

// The user's text of a refused save: where, then the system's reason.
// The reason is the system's own, in Czech, not Wine's fallback.
void ExpectRefusal(const std::string& text, const std::string& where) {
    settingstest::ExpectRefusal(text, where);
    EXPECT_EQ(text.find("System error"), std::string::npos) << text;
}

}  // namespace

TEST_F(Store, FreshStartGivesEveryDefault) {
    TSettings& s = Settings();
    s.CurrentMask = "old";
    s.CatalogueList = {"old"};
    s.TimeForMask = TTimeSource::None;
    s.AutoRecognize = s.Hint = s.AutoUpdate = false;
    s.AutoRun = true;
    s.SkinName = "";

    LoadSettings();

    const std::string documents = settingstest::DocumentsFolder();
    ASSERT_FALSE(documents.empty());
    EXPECT_EQ(s.Path, WithTrailingBackslash(documents) + "My Kolibrio\\");
    EXPECT_EQ(s.CurrentMask, "");
    EXPECT_TRUE(s.CatalogueList.empty());
    EXPECT_EQ(s.ExtensionList, (std::vector<std::string>{"*.jpg", "*.orf", "*.avi", "*.mov", "*.wav"}));
    EXPECT_EQ(s.FileExtension, "*.jpg;*.orf;*.avi;*.mov;*.wav");
    EXPECT_EQ(s.TimeForMask, TTimeSource::EXIFTime);
    EXPECT_TRUE(s.AutoRecognize);
    EXPECT_TRUE(s.Hint);
    EXPECT_TRUE(s.AutoUpdate);
    EXPECT_FALSE(s.AutoRun);
    EXPECT_EQ(s.SkinName, "Elegant");
    EXPECT_EQ(s.LongNameMonth, "ledna;února;března;dubna;května;června;července;srpna;září;října;listopadu;prosince");
    EXPECT_EQ(s.ShortNameMonth, "I;II;III;IV;V;VI;VII;VIII;IX;X;XI;XII");
    EXPECT_EQ(s.LongNameDay, "pondělí;úterý;středa;čtvrtek;pátek;sobota;neděle");
    EXPECT_EQ(s.ShortNameDay, "po;út;st;čt;pá;so;ne");
    // The default lists replace the regional names.
    EXPECT_EQ(s.DateNameTables.LongMonth[2], "března");
    EXPECT_EQ(s.DateNameTables.ShortMonth[11], "XII");
    EXPECT_EQ(s.DateNameTables.ShortDay[0], "ne");
    EXPECT_EQ(s.DateNameTables.LongDay[1], "pondělí");
    // Loading never creates the file.
    EXPECT_FALSE(wintest::FileExists(IniPath()));
}

TEST_F(Store, PathEndsWithBackslashAndAnEmptyValueIsNotMissing) {
    struct Case { std::string line; std::string path; } cases[] = {
        {"Path=D:\\Foto", "D:\\Foto\\"},
        {"Path=D:\\Foto\\", "D:\\Foto\\"},
        {"Path=", "\\"},
        {"path = E:\\Obrázky ", "E:\\Obrázky\\"},
    };
    for (const auto& c : cases) {
        WriteIni("[Mask]\r\n" + c.line + "\r\n");
        LoadSettings();
        EXPECT_EQ(Settings().Path, c.path) << c.line;
    }
}

TEST_F(Store, CataloguesSurviveSaveAndLoadItemForItem) {
    const std::vector<std::vector<std::string>> catalogues = {
        {"a,b", "x y", "mask with \"quote\"", "%yyyy%\\%mm%\\%dd%"},
        {"first item", "%d%", "last \"item\""},  // first and last need quotes
        {""},
        {"", "x"},
        {"x", ""},
        {},
    };
    for (const auto& catalogue : catalogues) {
        Settings().CatalogueList = catalogue;
        SaveSettings();
        Settings().CatalogueList = {"stale"};
        LoadSettings();
        EXPECT_EQ(Settings().CatalogueList, catalogue) << CatalogueToValue(catalogue);
    }
    // The stored form: one pair of quotes around the comma text.
    Settings().CatalogueList = {"x y", "z w"};
    SaveSettings();
    EXPECT_EQ(RawValue(ReadIni(), "ListMask"), "\"\"x y\",\"z w\"\"");
}

TEST_F(Store, LongCatalogueIsReadWhole) {
    std::vector<std::string> catalogue;
    size_t length = 0;
    for (int i = 0; length < 5000; ++i) {
        catalogue.push_back("%yyyy%\\%mm%\\maska číslo " + std::to_string(i) + ", \"kopie\"_%index%");
        length += catalogue.back().size() + 1;
    }
    Settings().CatalogueList = catalogue;
    SaveSettings();
    ASSERT_GT(RawValue(ReadIni(), "ListMask").size(), 5000u);
    Settings().CatalogueList.clear();
    LoadSettings();
    EXPECT_EQ(Settings().CatalogueList, catalogue);
    // And it stays whole through the next save.
    SaveSettings();
    Settings().CatalogueList.clear();
    LoadSettings();
    EXPECT_EQ(Settings().CatalogueList, catalogue);
}

TEST_F(Store, ExtensionListIsNormalisedOnLoadAndSave) {
    WriteIni("[Options]\r\nFileExtension=*.jpg; *.avi\r\n");
    LoadSettings();
    EXPECT_EQ(Settings().ExtensionList, (std::vector<std::string>{"*.jpg", "*.avi"}));
    EXPECT_EQ(Settings().FileExtension, "*.jpg;*.avi");
    // The list as parsed is saved, not the field's text.
    Settings().FileExtension = "*.jpg; *.avi; *.png";
    SaveSettings();
    EXPECT_EQ(RawValue(ReadIni(), "FileExtension"), "*.jpg;*.avi");
}

TEST_F(Store, TimeSourceIsMatchedExactly) {
    struct Case { std::string value; TTimeSource source; } cases[] = {
        {"EXIFTime", TTimeSource::EXIFTime},
        {"FileTime", TTimeSource::FileTime},
        {"NowTime", TTimeSource::NowTime},
        {"exiftime", TTimeSource::None},
        {"1", TTimeSource::None},
    };
    for (const auto& c : cases) {
        WriteIni("[Options]\r\nTimeForMask=" + c.value + "\r\n");
        LoadSettings();
        EXPECT_EQ(Settings().TimeForMask, c.source) << c.value;
    }
    // No source selected is saved as an empty value and reads back the same.
    Settings().TimeForMask = TTimeSource::None;
    SaveSettings();
    EXPECT_EQ(RawValue(ReadIni(), "TimeForMask"), "");
    Settings().TimeForMask = TTimeSource::FileTime;
    LoadSettings();
    EXPECT_EQ(Settings().TimeForMask, TTimeSource::None);
    Settings().TimeForMask = TTimeSource::NowTime;
    SaveSettings();
    EXPECT_EQ(RawValue(ReadIni(), "TimeForMask"), "NowTime");
}

TEST_F(Store, ShortNameListsKeepTheRegionalNames) {
    WriteIni("[Options]\r\nLongNameMonth=1;2;3;4;5;6;7;8;9;10;11;12\r\nShortNameDay=a;b;c;d;e;f;g\r\n");
    LoadSettings();
    ASSERT_EQ(Settings().DateNameTables.LongMonth[0], "1");
    ASSERT_EQ(Settings().DateNameTables.ShortDay[0], "g");

    WriteIni("[Options]\r\nLongNameMonth=1;2;3;4;5;6;7;8;9;10;11\r\nShortNameDay=a;b;c;d;e;f\r\n"
             "ShortNameMonth=I;II;III;IV;V;VI;VII;VIII;IX;X;XI;XII;XIII\r\n");
    LoadSettings();
    const TDateNameTables& t = Settings().DateNameTables;
    for (int m = 0; m < 12; ++m) EXPECT_EQ(t.LongMonth[m], SystemName(LOCALE_SMONTHNAME1 + m)) << m;
    EXPECT_EQ(t.ShortDay[0], SystemName(LOCALE_SABBREVDAYNAME7));  // Sunday
    EXPECT_EQ(t.ShortDay[1], SystemName(LOCALE_SABBREVDAYNAME1));  // Monday
    EXPECT_NE(t.ShortDay[0], "g");
    EXPECT_EQ(t.ShortMonth[11], "XII");
    // The texts themselves stay as typed.
    EXPECT_EQ(Settings().LongNameMonth, "1;2;3;4;5;6;7;8;9;10;11");
}

TEST_F(Store, BooleansReadAsIntegersOrTakeTheirDefault) {
    WriteIni("[Options]\r\nAutoRecognize=0x0\r\nHint=2\r\nAutoUpdate=yes\r\n");
    LoadSettings();
    EXPECT_FALSE(Settings().AutoRecognize);
    EXPECT_TRUE(Settings().Hint);
    EXPECT_TRUE(Settings().AutoUpdate);

    Settings().Hint = false;
    SaveSettings();
    const std::string ini = ReadIni();
    EXPECT_EQ(RawValue(ini, "AutoRecognize"), "0");
    EXPECT_EQ(RawValue(ini, "Hint"), "0");
    EXPECT_EQ(RawValue(ini, "AutoUpdate"), "1");
}

TEST_F(Store, RunValueIsQuotedOnSaveAndAfterLoad) {
    LoadSettings();
    EXPECT_FALSE(Settings().AutoRun);
    EXPECT_FALSE(RunValue());

    // A value of any form means autorun; the load writes the quoted path,
    // so Windows never tries a shorter name cut at a blank.
    settingstest::SetRunValue(L"C:\\elsewhere\\Kolibrio2.exe");
    LoadSettings();
    EXPECT_TRUE(Settings().AutoRun);
    EXPECT_EQ(RunValue(), Quoted(settingstest::ExePath()));

    SaveSettings();
    EXPECT_EQ(RunValue(), Quoted(settingstest::ExePath()));

    Settings().AutoRun = false;
    SaveSettings();
    EXPECT_FALSE(RunValue());
    SaveSettings();  // deleting a missing value is no error
    Settings().AutoRun = true;
    LoadSettings();
    EXPECT_FALSE(Settings().AutoRun);
}

// A first save makes the file in UTF-16 with a byte-order mark, which the
// profile functions then keep: nothing of a value turns into "?".
TEST_F(Store, NewFileIsUtf16InSectionOrder) {
    Settings().CurrentMask = "%dd%. %mmmm% – ";  // the dash is not in Windows-1250
    Settings().Path = "C:\\Fotky\\Žluťoučký kůň\\";
    SaveSettings();
    const std::string bytes = wintest::ReadFileBytes(IniPath());
    ASSERT_TRUE(settingstest::IsUtf16Le(bytes)) << bytes.substr(0, 16);
    const std::string text = settingstest::IniText(bytes);
    EXPECT_EQ(RawValue(text, "Path"), "C:\\Fotky\\Žluťoučký kůň\\");
    EXPECT_EQ(RawValue(text, "CurrentMask"), "%dd%. %mmmm% –");
    EXPECT_EQ(RawValue(text, "LongNameMonth"), Settings().LongNameMonth);
    const size_t mask = text.find("[Mask]"), skin = text.find("[Skin]"), options = text.find("[Options]");
    EXPECT_EQ(mask, 0u);
    ASSERT_NE(options, std::string::npos);
    EXPECT_LT(mask, skin);
    EXPECT_LT(skin, options);
    LoadSettings();
    EXPECT_EQ(Settings().Path, "C:\\Fotky\\Žluťoučký kůň\\");
    EXPECT_EQ(Settings().CurrentMask, "%dd%. %mmmm% –");
}

// Every text field keeps characters of any script, one outside the Basic
// Multilingual Plane included, through a save and a load.
TEST_F(Store, TextOfAnyScriptSurvivesEveryField) {
    const std::string texts[] = {"Фото", "写真", "📷"};
    struct Case {
        const char* field;
        void (*set)(TSettings&, const std::string&);
        std::string (*get)(const TSettings&);
    } cases[] = {
        {"Path", [](TSettings& s, const std::string& v) { s.Path = "C:\\" + v + "\\"; },
         [](const TSettings& s) { return s.Path.substr(3, s.Path.size() - 4); }},
        {"CurrentMask", [](TSettings& s, const std::string& v) { s.CurrentMask = v; },
         [](const TSettings& s) { return s.CurrentMask; }},
        {"ListMask", [](TSettings& s, const std::string& v) { s.CatalogueList = {"ok", v}; },
         [](const TSettings& s) { return s.CatalogueList.size() == 2 ? s.CatalogueList[1] : "<lost>"; }},
        {"FileExtension", [](TSettings& s, const std::string& v) { s.ExtensionList = {"*." + v}; },
         [](const TSettings& s) { return s.ExtensionList.empty() ? "<lost>" : s.ExtensionList[0].substr(2); }},
        {"LongNameMonth", [](TSettings& s, const std::string& v) { s.LongNameMonth = v; },
         [](const TSettings& s) { return s.LongNameMonth; }},
        {"ShortNameMonth", [](TSettings& s, const std::string& v) { s.ShortNameMonth = v; },
         [](const TSettings& s) { return s.ShortNameMonth; }},
        {"LongNameDay", [](TSettings& s, const std::string& v) { s.LongNameDay = v; },
         [](const TSettings& s) { return s.LongNameDay; }},
        {"ShortNameDay", [](TSettings& s, const std::string& v) { s.ShortNameDay = v; },
         [](const TSettings& s) { return s.ShortNameDay; }},
        {"SkinName", [](TSettings& s, const std::string& v) { s.SkinName = v; },
         [](const TSettings& s) { return s.SkinName; }},
    };
    for (const std::string& text : texts) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.field) + " = " + text);
            WriteIni("[Mask]\r\nCurrentMask=old\r\n");
            LoadSettings();
            Settings().AutoRun = true;
            c.set(Settings(), text);
            SaveSettings();
            EXPECT_EQ(RunValue(), Quoted(settingstest::ExePath())) << "the save went through to its end";
            Settings() = TSettings{};
            LoadSettings();
            EXPECT_EQ(c.get(Settings()), text);
        }
    }
}

// A file of an earlier version is in the ANSI code page (Windows-1250 here)
// and reads as it always did; the next save rewrites the whole of it in
// UTF-16, keeping what the program does not know: other sections, keys,
// comments and the order of it all (blank lines are the profile functions'
// to keep or drop when they write).
TEST_F(Store, OlderAnsiFileIsReadAndRewrittenWholeInUtf16) {
    const std::string older =
        "; nastavení uživatele\r\n"
        "[Mask]\r\n"
        "CurrentMask=%yyyy%\\%d%. %mmmm%\\%file_name%.%file_ext%\r\n"
        "Path=E:\\Obrázky\\Žluťoučký kůň\\\r\n"
        "Poznámka=ponecháno\r\n"
        "\r\n"
        "[Jiný program]\r\n"
        "Klíč=hodnota s háčky: řčšž\r\n"
        "[Options]\r\n"
        "LongNameDay=pondělí;úterý;středa;čtvrtek;pátek;sobota;neděle\r\n"
        "Hint=0\r\n";
    WriteIni(older);
    const std::string ansi = wintest::ReadFileBytes(IniPath());
    ASSERT_FALSE(settingstest::IsUtf16Le(ansi));
    ASSERT_NE(ansi.find("\x8Elu\x9Dou\xE8k\xFD"), std::string::npos) << "the fixture is in Windows-1250";

    LoadSettings();
    EXPECT_EQ(Settings().Path, "E:\\Obrázky\\Žluťoučký kůň\\");
    EXPECT_EQ(Settings().DateNameTables.LongDay[4], "čtvrtek");
    EXPECT_FALSE(Settings().Hint);
    EXPECT_EQ(wintest::ReadFileBytes(IniPath()), ansi) << "loading never writes";

    Settings().Hint = true;
    SaveSettings();
    const std::string bytes = wintest::ReadFileBytes(IniPath());
    ASSERT_TRUE(settingstest::IsUtf16Le(bytes));
    const std::string text = settingstest::IniText(bytes);
    // Every section, key and comment that was there stays, in its place; the
    // program's own keys follow the ones a section had.
    size_t at = 0;
    for (const char* kept : {"; nastavení uživatele\r\n[Mask]\r\n", "Path=E:\\Obrázky\\Žluťoučký kůň\\\r\n",
                             "Poznámka=ponecháno\r\n", "[Jiný program]\r\nKlíč=hodnota s háčky: řčšž\r\n[Options]\r\n",
                             "LongNameDay=pondělí;úterý;středa;čtvrtek;pátek;sobota;neděle\r\n"}) {
        const size_t found = text.find(kept, at);
        EXPECT_NE(found, std::string::npos) << kept << " after " << at << " in\n" << text;
        if (found != std::string::npos) at = found;
    }
    EXPECT_EQ(text.rfind("; nastavení uživatele\r\n", 0), 0u);
    EXPECT_EQ(RawValue(text, "Hint"), "1");
    EXPECT_EQ(text.find('?'), std::string::npos) << text;
    wchar_t other[64] = {};
    GetPrivateProfileStringW(L"Jiný program", L"Klíč", L"", other, 64, IniPath().c_str());
    EXPECT_EQ(fw::Utf8(other), "hodnota s háčky: řčšž");

    // From now on the file stays UTF-16, and a name outside the code page
    // is saved.
    Settings().Path = "C:\\写真\\";
    SaveSettings();
    EXPECT_TRUE(settingstest::IsUtf16Le(wintest::ReadFileBytes(IniPath())));
    LoadSettings();
    EXPECT_EQ(Settings().Path, "C:\\写真\\");
    EXPECT_EQ(Settings().CurrentMask, "%yyyy%\\%d%. %mmmm%\\%file_name%.%file_ext%");
}

// A file that an editor saved with another byte-order mark is read by that
// mark, not as ANSI, when it is rewritten; an empty file becomes UTF-16 too.
TEST_F(Store, OtherEncodingsAreRewrittenByTheirByteOrderMark) {
    const std::wstring other = L"[Jiný program]\r\nKlíč=řčšž 写真\r\n";
    std::string utf16be = "\xFE\xFF";
    for (wchar_t c : other) utf16be += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
    struct Case {
        const char* name;
        std::string bytes;
        const char* kept;
    } cases[] = {
        {"UTF-8 with its mark", "\xEF\xBB\xBF" + fw::Utf8(other), "Klíč=řčšž 写真\r\n"},
        {"UTF-16 big-endian", utf16be, "Klíč=řčšž 写真\r\n"},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(settingstest::WriteFileFresh(IniPath(), c.bytes));
        Settings().CurrentMask = "maska";
        SaveSettings();
        const std::string bytes = wintest::ReadFileBytes(IniPath());
        ASSERT_TRUE(settingstest::IsUtf16Le(bytes));
        const std::string text = settingstest::IniText(bytes);
        EXPECT_NE(text.find(c.kept), std::string::npos) << text;
        EXPECT_EQ(RawValue(text, "CurrentMask"), "maska");
        EXPECT_EQ(text.find("\xEF\xBB\xBF"), std::string::npos) << "a mark read as text";
    }
}

TEST_F(Store, LineBreaksCannotStartNewKeys) {
    Settings().AutoUpdate = true;
    Settings().CurrentMask = "a\r\n[Options]\r\nAutoUpdate=0";
    Settings().CatalogueList = {"x\ny", "z"};
    SaveSettings();
    LoadSettings();
    EXPECT_TRUE(Settings().AutoUpdate);
    EXPECT_EQ(Settings().CurrentMask, "a  [Options]  AutoUpdate=0");
    EXPECT_EQ(Settings().CatalogueList, (std::vector<std::string>{"x y", "z"}));
}

TEST_F(Store, RestoreReplacesTheFileByTheFactoryCopy) {
    const std::string factory = wintest::ReadFileBytes(wintest::SourceDir() + L"res\\beside\\setting_def.ini");
    ASSERT_FALSE(factory.empty());
    ASSERT_TRUE(settingstest::WriteFileFresh(Folder() + L"setting_def.ini", factory));
    WriteIni("[Mask]\r\nCurrentMask=mine\r\nListMask=a,b\r\n[Skin]\r\nSkinName=\r\n[Options]\r\nHint=0\r\n"
             "TimeForMask=NowTime\r\nLongNameDay=1;2;3;4;5;6;7\r\n");
    LoadSettings();
    ASSERT_EQ(Settings().CurrentMask, "mine");
    ASSERT_FALSE(RunValue());

    RestoreDefaults();
    EXPECT_EQ(wintest::ReadFileBytes(IniPath()), factory);
    EXPECT_EQ(RunValue(), Quoted(settingstest::ExePath()));

    // The factory file spells out the built-in defaults, in UTF-16 so that
    // a Windows of any code page reads its Czech names, except for a
    // working mask, a catalogue and today's camera types.
    EXPECT_TRUE(settingstest::IsUtf16Le(factory));
    LoadSettings();
    const TSettings d;
    const TSettings& s = Settings();
    EXPECT_EQ(s.CurrentMask, "%yyyy%\\%yyyy%-%mm%-%dd%\\%file_name%.%file_ext%");
    EXPECT_EQ(s.CatalogueList.size(), 5u);
    EXPECT_EQ(s.Path, WithTrailingBackslash(settingstest::DocumentsFolder()) + "My Kolibrio\\");
    EXPECT_EQ(s.SkinName, d.SkinName);
    EXPECT_NE(s.FileExtension, d.FileExtension);
    EXPECT_EQ(s.TimeForMask, d.TimeForMask);
    EXPECT_EQ(s.LongNameMonth, d.LongNameMonth);
    EXPECT_EQ(s.ShortNameMonth, d.ShortNameMonth);
    EXPECT_EQ(s.LongNameDay, d.LongNameDay);
    EXPECT_EQ(s.ShortNameDay, d.ShortNameDay);
    EXPECT_TRUE(s.AutoRecognize && s.Hint && s.AutoUpdate);
    EXPECT_TRUE(s.AutoRun);
}

// What a first import gets from the factory file: masks that name a file
// where they say, and a pattern for every type cameras and phones write.
TEST_F(Store, FactoryMasksNameFilesAndPatternsCoverCameraTypes) {
    const std::string factory = wintest::ReadFileBytes(wintest::SourceDir() + L"res\\beside\\setting_def.ini");
    ASSERT_TRUE(settingstest::WriteFileFresh(IniPath(), factory));
    LoadSettings();
    TSettings& s = Settings();

    DateParts shot;
    shot.year = 2024, shot.month = 1, shot.day = 15, shot.hour = 14, shot.minute = 7, shot.second = 9;  // a Monday
    const TMaskInputs inputs{s.DateNameTables, [&](const std::string&, std::string&) { return EncodeDateTime(shot); },
                             [&] { return EncodeDateTime(shot); }};
    const std::vector<std::string> expected = {
        "2024\\2024-01-15\\IMG_0042.CR3",
        "2024\\2024-01\\IMG_0042.CR3",
        "2024\\15. ledna 2024\\IMG_0042.CR3",
        "2024-01-15 pondělí\\IMG_0042.CR3",
        "2024\\2024-01-15\\20240115_140709_1.CR3",
    };
    ASSERT_EQ(s.CatalogueList.size(), expected.size());
    EXPECT_EQ(s.CatalogueList[0], s.CurrentMask);
    for (size_t k = 0; k < expected.size(); ++k) {
        TMaskState state;
        state.RunningIndex = state.TotalCount = 1;
        std::string error;
        const std::string name = ExpandMask("E:\\DCIM\\100CANON\\IMG_0042.CR3", s.CatalogueList[k], error, false,
                                            state, inputs);
        EXPECT_EQ(name, expected[k]) << s.CatalogueList[k];
        EXPECT_EQ(error, "");
        EXPECT_TRUE(IsValidTargetPath(s.Path + name) && NamesAFile(s.Path + name)) << s.Path + name;
    }

    std::vector<std::string> types;
    for (const std::string& pattern : s.ExtensionList) {
        ASSERT_EQ(pattern.rfind("*.", 0), 0u) << pattern;
        std::string type = pattern.substr(2);
        for (char& c : type) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(std::count(types.begin(), types.end(), type), 0) << "a file would be listed twice: " << pattern;
        types.push_back(type);
    }
    for (const char* type : {"jpg",  "jpeg", "heic", "heif", "cr2", "cr3", "nef", "nrw", "arw", "raf", "rw2",
                             "orf",  "pef",  "dng",  "mp4",  "mov", "avi", "mts", "m2ts", "3gp", "wav"})
        EXPECT_EQ(std::count(types.begin(), types.end(), type), 1) << type;
}

TEST_F(Store, RestoreWithoutSettingsFileCopiesNothingButSwitchesAutorunOn) {
    ASSERT_TRUE(settingstest::WriteFileFresh(Folder() + L"setting_def.ini", "[Mask]\r\nCurrentMask=factory\r\n"));
    RestoreDefaults();
    EXPECT_FALSE(wintest::FileExists(IniPath()));
    EXPECT_EQ(RunValue(), Quoted(settingstest::ExePath()));
    LoadSettings();
    EXPECT_EQ(Settings().CurrentMask, "");
    EXPECT_TRUE(Settings().AutoRun);

    // No factory file: the settings file goes and the built-in defaults apply.
    ASSERT_TRUE(DeleteFileW((Folder() + L"setting_def.ini").c_str()));
    WriteIni("[Mask]\r\nCurrentMask=mine\r\n");
    RestoreDefaults();
    EXPECT_FALSE(wintest::FileExists(IniPath()));
    LoadSettings();
    EXPECT_EQ(Settings().CurrentMask, "");
}

namespace {

// Another program holding setting.ini open for reading only: the platform
// then refuses every write to it (a read-only attribute would not do here,
// the tests run with rights that ignore it).
class FileLock {
public:
    explicit FileLock(const std::wstring& path)
        : h_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~FileLock() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Held() const { return h_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE h_;
};

}  // namespace

// The new version cannot take the name of a file another program holds:
// the user is told where and why, and the old file stays whole.
TEST_F(Store, RefusedWriteNamesTheFileAndKeepsItWhole) {
    WriteIni("[Mask]\r\nCurrentMask=old\r\n");
    const std::string before = wintest::ReadFileBytes(IniPath());
    FileLock lock(IniPath());
    ASSERT_TRUE(lock.Held());
    Settings().CurrentMask = "new";
    Settings().AutoRun = true;
    try {
        SaveSettings();
        ADD_FAILURE() << "saving a file another program holds succeeded";
    } catch (const std::runtime_error& e) {
        ExpectRefusal(e.what(), fw::Utf8(IniPath()));
    }
    EXPECT_EQ(wintest::ReadFileBytes(IniPath()), before);
    EXPECT_FALSE(RunValue());  // the steps after the failed write are skipped
    EXPECT_EQ(wintest::FilesBelow(Folder()), (std::vector<std::string>{"setting.ini"})) << "a new version left behind";
    EXPECT_EQ(Settings().CurrentMask, "new") << "what the user set stays in force";
}

// The rewrite in UTF-16 needs twice the room of an ANSI file, and the new
// version stands beside the old one until it replaces it. On a disk that has
// no room for it the save is refused as any refused write is, and the older
// file stays as it was, readable.
TEST_F(Store, ARewriteThatFindsNoRoomKeepsTheOlderFile) {
    wintest::SmallVolume volume(1024);
    if (!volume.Mounted())
        GTEST_SKIP() << "no tmpfs of 1 MiB could be mounted (it needs root, and a Wine that starts Unix "
                        "programs): the full disk is not tested";
    const std::wstring ini = volume.Folder() + L"setting.ini";
    std::string older = "[Mask]\r\nCurrentMask=stará maska\r\n[Jiný program]\r\n";
    for (int k = 0; older.size() < 300 * 1024; ++k)
        older += "Klíč" + std::to_string(k) + "=hodnota číslo " + std::to_string(k) + "\r\n";
    ASSERT_TRUE(wintest::WriteFileBytes(ini, fw::Utf8ToAnsi(older)));
    ASSERT_TRUE(wintest::WriteFileBytes(volume.Folder() + L"filler", std::string(500 * 1024, 'x')));
    const std::string before = wintest::ReadFileBytes(ini);
    SetSettingsFolder(fw::Utf8(volume.Folder()));

    LoadSettings();
    ASSERT_EQ(Settings().CurrentMask, "stará maska");
    Settings().CurrentMask = "nová";
    Settings().AutoRun = true;
    try {
        SaveSettings();
        ADD_FAILURE() << "saved on a full disk";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), SaveFailureText(fw::Utf8(ini), ERROR_DISK_FULL));
    }
    EXPECT_TRUE(wintest::ReadFileBytes(ini) == before) << "the older file, byte for byte";
    EXPECT_FALSE(RunValue());
    LoadSettings();
    EXPECT_EQ(Settings().CurrentMask, "stará maska");

    // With room again the same file is rewritten and saved.
    ASSERT_TRUE(DeleteFileW((volume.Folder() + L"filler").c_str()));
    Settings().CurrentMask = "nová";
    SaveSettings();
    const std::string after = wintest::ReadFileBytes(ini);
    EXPECT_TRUE(settingstest::IsUtf16Le(after));
    EXPECT_EQ(RawValue(settingstest::IniText(after), "Klíč4321"), "hodnota číslo 4321");
    LoadSettings();
    EXPECT_EQ(Settings().CurrentMask, "nová");
    SetSettingsFolder(fw::Utf8(Folder()));
}

namespace {

// A settings window stand-in that records what the store asks of it.
class RecordingView : public ISettingsView {
public:
    std::vector<std::string> calls;
    std::wstring lockFile;  // locked when the skin is asked for
    std::unique_ptr<FileLock> lock;
    void CatalogueLoaded() override { calls.push_back("catalogue " + std::to_string(Settings().CatalogueList.size())); }
    void NameListTooShort(TNameList list) override { calls.push_back("short " + std::to_string(int(list))); }
    void ChooseSkin(const std::string& name) override {
        calls.push_back("skin '" + name + "'");
        Settings().SkinName = name.empty() ? "" : "chosen " + name;
    }
    std::string ActiveSkinName() override {
        calls.push_back("active skin");
        if (!lockFile.empty()) lock = std::make_unique<FileLock>(lockFile);
        return "Active";
    }
    void SettingsLoaded() override { calls.push_back("loaded"); }
};

}  // namespace

TEST_F(Store, TellsTheWindowInLoadOrder) {
    RecordingView view;
    SetSettingsView(&view);
    WriteIni("[Mask]\r\nListMask=a,b,c\r\n[Skin]\r\nSkinName=\r\n[Options]\r\nShortNameMonth=I\r\n"
             "LongNameDay=x\r\nShortNameDay=1;2;3;4;5;6;7\r\n");
    LoadSettings();
    EXPECT_EQ(view.calls, (std::vector<std::string>{"catalogue 3", "short 1", "short 2", "skin ''", "loaded"}));
    EXPECT_EQ(Settings().SkinName, "");

    view.calls.clear();
    WriteIni("[Options]\r\nLongNameMonth=only;three;items\r\n");
    LoadSettings();
    EXPECT_EQ(view.calls, (std::vector<std::string>{"catalogue 0", "short 0", "skin 'Elegant'", "loaded"}));
    EXPECT_EQ(Settings().SkinName, "chosen Elegant");

    // Saving asks for the skin in use and checks the month lists once more.
    view.calls.clear();
    Settings().LongNameDay = "too;few";
    SaveSettings();
    EXPECT_EQ(view.calls, (std::vector<std::string>{"active skin", "short 0"}));
    const std::string ini = ReadIni();
    EXPECT_EQ(RawValue(ini, "SkinName"), "Active");
    EXPECT_EQ(RawValue(ini, "LongNameMonth"), "only;three;items");  // saved all the same
    EXPECT_EQ(RawValue(ini, "LongNameDay"), "too;few");
}

// A save is whole or nothing: a refusal after some keys were written keeps
// none of them.
TEST_F(Store, ARefusedSaveKeepsTheOldFileWhole) {
    RecordingView view;
    view.lockFile = IniPath();
    SetSettingsView(&view);
    WriteIni("[Mask]\r\nCurrentMask=old\r\n[Options]\r\nHint=1\r\n");
    const std::string before = wintest::ReadFileBytes(IniPath());
    Settings().CurrentMask = "new";
    Settings().Hint = false;
    EXPECT_THROW(SaveSettings(), std::runtime_error);
    ASSERT_TRUE(view.lock && view.lock->Held());
    view.lock.reset();
    EXPECT_EQ(wintest::ReadFileBytes(IniPath()), before);
}

TEST_F(Store, CountersAreIncrementedButNeverCreated) {
    EXPECT_FALSE(IncrementCounter("runcount"));
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\tb-venor\\Kolibrio 2", 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);  // the key itself is created
    EXPECT_EQ(RegQueryValueExW(key, L"runcount", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);

    DWORD count = 41;
    RegSetValueExW(key, L"runcount", 0, REG_DWORD, reinterpret_cast<BYTE*>(&count), sizeof count);
    const wchar_t text[] = L"7";
    RegSetValueExW(key, L"copycount", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);

    EXPECT_TRUE(IncrementCounter("runcount"));
    EXPECT_TRUE(IncrementCounter("runcount"));
    EXPECT_FALSE(IncrementCounter("copycount"));

    DWORD value = 0, size = sizeof value, type = 0;
    RegQueryValueExW(key, L"runcount", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    EXPECT_EQ(value, 43u);
    wchar_t back[16] = {};
    size = sizeof back;
    RegQueryValueExW(key, L"copycount", nullptr, &type, reinterpret_cast<BYTE*>(back), &size);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(back, L"7");
    RegCloseKey(key);
}

// The copy check and the skipping of files imported before: booleans, on
// by default, and on again in the factory file.
TEST_F(Store, OptionsOnByDefaultAreBooleansAndInTheFactoryFile) {
    const struct Option {
        std::string key;
        bool TSettings::*field;
    } options[] = {{"VerifyCopy", &TSettings::VerifyCopy}, {"SkipImported", &TSettings::SkipImported}};
    const std::string factory = wintest::ReadFileBytes(wintest::SourceDir() + L"res\\beside\\setting_def.ini");
    for (const Option& o : options) {
        SCOPED_TRACE(o.key);
        bool& value = Settings().*o.field;
        struct Case { std::string ini; bool on; } cases[] = {
            {"", true},  // no key
            {o.key + "=0\r\n", false},
            {o.key + "=1\r\n", true},
            {o.key + "= 0 \r\n", false},
            {o.key + "=0x0\r\n", false},
            {o.key + "=2\r\n", true},
            {o.key + "=\r\n", true},      // malformed values read as the default
            {o.key + "=ne\r\n", true},
            {o.key + "=0.5\r\n", true},
        };
        for (const Case& c : cases) {
            WriteIni("[Options]\r\n" + c.ini);
            value = !c.on;
            LoadSettings();
            EXPECT_EQ(value, c.on) << c.ini;
        }

        for (bool on : {false, true}) {
            value = on;
            SaveSettings();
            EXPECT_EQ(RawValue(ReadIni(), o.key), on ? "1" : "0");
            value = !on;
            LoadSettings();
            EXPECT_EQ(value, on);
        }

        // The factory file switches it on again.
        EXPECT_EQ(RawValue(settingstest::IniText(factory), o.key), "1");
        ASSERT_TRUE(settingstest::WriteFileFresh(Folder() + L"setting_def.ini", factory));
        WriteIni("[Options]\r\n" + o.key + "=0\r\n");
        LoadSettings();
        ASSERT_FALSE(value);
        RestoreDefaults();
        LoadSettings();
        EXPECT_TRUE(value);
    }
}
