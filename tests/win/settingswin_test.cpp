// The settings window in this process: its buttons and checks against a
// real setting.ini, the mask editor and its catalogue, the tool tips of the
// three windows. Questions are answered through the message box's hook.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/Unit1_win.h"
#include "device/Unit2_win.h"
#include "framework/Application.h"
#include "framework/SkinManager.h"
#include "import/ImportHistory_win.h"
#include "settings/SkinFolder_win.h"
#include "framework/Strings.h"
#include "import/ImportJob.h"
#include "import/UnitMyDlg_win.h"
#include "import/unitDlgFilecopy_win.h"
#include "net/NetLogic.h"
#include "settings/Settings.h"
#include "settings/SettingsStore_win.h"
#include "support/Questions.h"
#include "support/UiTest.h"
#include "support/WinTest.h"

namespace {

using wintest::gAnswer;
using wintest::gQuestions;
using wintest::IgnoreShell;
using wintest::RecordQuestion;

std::string gChooserStart;
std::string gChooserAnswer;
bool ChooseFolder(const std::string& start, std::string& chosen) {
    gChooserStart = start;
    if (gChooserAnswer.empty()) return false;
    chosen = gChooserAnswer;
    return true;
}

const char kLongMonthMessage[] =
    "V dlouhých názvech měsíců nebylo nalezeno 12 položek...\r\nProsím zkontrolujte správnost zápisu. Položky "
    "oddělujte středníkem ;";

class SettingsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        wintest::InitApp();
        folder = wintest::MakeTempDir();
        // No online check: tests never reach for the vendor's host.
        WriteIni("[Mask]\r\nCurrentMask=%yyyy%\\%mm%\\%file_name%.%file_ext%\r\nPath=C:\\Foto\\\r\n"
                 "[Options]\r\nAutoUpdate=0\r\n");
        SetSettingsFolder(fw::Utf8(folder));
        gQuestions.clear();
        gAnswer = 0;
        SetMessageDlgHook(RecordQuestion);
        TTrayIkona::SetShellNotify(IgnoreShell);
        TSettingsWindow::SetFolderChooser(ChooseFolder);
    }
    void TearDown() override {
        TSettingsWindow::SetFolderChooser(nullptr);
        SetMessageDlgHook(nullptr);
        TTrayIkona::SetShellNotify(nullptr);
        SetSettingsFolder("");
        wintest::RemoveTree(folder);
    }
    void WriteIni(const std::string& text) { wintest::WriteFileBytes(folder + L"setting.ini", fw::Utf8ToAnsi(text)); }
    std::string IniValue(const wchar_t* section, const wchar_t* key) {
        wchar_t buf[2048] = {};
        GetPrivateProfileStringW(section, key, L"<missing>", buf, 2048, (folder + L"setting.ini").c_str());
        return fw::Utf8(buf);
    }
    std::wstring folder;
};

bool IsRed(const fw::Label& label) {
    return label.TextColor() == RGB(255, 0, 0);
}

std::vector<std::string> Lines(const fw::ListBox& list) {
    std::vector<std::string> lines;
    for (int i = 0; i < list.Count(); ++i) lines.push_back(list.Item(i));
    return lines;
}

std::vector<int> SelectedLines(const fw::ListBox& list) {
    std::vector<int> selected;
    for (int i = 0; i < list.Count(); ++i)
        if (list.Selected(i)) selected.push_back(i);
    return selected;
}

void SelectOnly(fw::ListBox& list, std::initializer_list<int> lines) {
    for (int i = 0; i < list.Count(); ++i) list.SetSelected(i, false);
    for (int i : lines) list.SetSelected(i, true);
}

void SetCatalogue(TSettingsWindow& w, std::vector<std::string> entries) {
    Settings().CatalogueList = std::move(entries);
    w.CatalogueLoaded();
}

RECT gMenuRect;
bool gMenuSeen = false;
void CALLBACK CloseMenuWhenShown(HWND, UINT, UINT_PTR, DWORD) {
    HWND popup = FindWindowW(L"#32768", nullptr);
    if (popup && IsWindowVisible(popup)) {
        GetWindowRect(popup, &gMenuRect);
        gMenuSeen = true;
        EndMenu();
    }
}

// Presses OK in the folder dialog that the owner opened, once it is there.
HWND gDialogOwner = nullptr;
std::wstring gDialogTitle;
void CALLBACK PressOkInDialog(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = wintest::OwnedDialog(gDialogOwner);
    if (!dialog) return;
    KillTimer(nullptr, id);
    gDialogTitle = wintest::WindowText(wintest::FindChildByText(dialog, L"Zvolte výchozí adresář pro ukládání fotografií"));
    // Give the dialog its moment to select the starting folder.
    wintest::Pump(300);
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

std::wstring FaceOf(const fw::Control& control) {
    LOGFONTW lf = {};
    GetObjectW(control.Font(), sizeof lf, &lf);
    return lf.lfFaceName;
}

using wintest::MenuText;

}  // namespace

TEST_F(SettingsWindowTest, PagesCaptionsAndLoadedValues) {
    TForm1 form;
    ASSERT_TRUE(form.SettingsWindow);
    TSettingsWindow& w = *form.SettingsWindow;
    ASSERT_EQ(w.sPageControl1.PageCount(), 4);
    EXPECT_EQ(w.sPageControl1.PageCaption(0), "maska souborů ");
    EXPECT_EQ(w.sPageControl1.PageCaption(1), "nastavení I");
    EXPECT_EQ(w.sPageControl1.PageCaption(2), "nastavení II");
    EXPECT_EQ(w.sPageControl1.PageCaption(3), "O programu");
    EXPECT_EQ(w.sPageControl2.PageCaption(0), "Maska");
    EXPECT_EQ(w.sPageControl2.PageCaption(1), "Náhled");
    EXPECT_EQ(w.ButtonOK.Text(), "OK");
    EXPECT_EQ(w.ButtonStorno.Text(), "Cancel");
    EXPECT_EQ(w.ButtonDown.Hint(), "Zařadit aktuální masku do katalogu.");
    EXPECT_EQ(w.BtnRestoreDefault.Hint(),
              "Obnoví prvotní nastavení celé aplikace. Vaše provedené změny budou nenávratně odstraněny.");

    // OK and Cancel at the bottom right, inside the window.
    RECT ok = wintest::ChildRect(w.ButtonOK.Handle()), cancel = wintest::ChildRect(w.ButtonStorno.Handle());
    EXPECT_LT(ok.right, cancel.left);
    EXPECT_LE(cancel.right, form.ClientWidth());
    EXPECT_GT(cancel.right, form.ClientWidth() - 20);
    EXPECT_LE(cancel.bottom, form.ClientHeight());

    // The stored values are shown, the defaults where the file has none.
    EXPECT_EQ(w.EditPath.Text(), "C:\\Foto\\");
    EXPECT_EQ(w.EditMask.Text(), "%yyyy%\\%mm%\\%file_name%.%file_ext%");
    EXPECT_EQ(w.sEditFileExtension.Text(), "*.jpg;*.orf;*.avi;*.mov;*.wav");
    EXPECT_TRUE(w.sRadioTimeExif.Checked());
    EXPECT_FALSE(w.sRadioTimeFile.Checked());
    EXPECT_TRUE(w.sCheckHint.Checked());
    EXPECT_FALSE(w.sCheckUpdate.Checked());
    EXPECT_EQ(w.sEditShortNameDay.Text(), "po;út;st;čt;pá;so;ne");
    // No skin folder beside the test: only "žádný..." to choose, none active.
    ASSERT_GE(w.sComboBoxSkin.Count(), 1);
    EXPECT_EQ(w.sComboBoxSkin.Item(0), "žádný...");
    EXPECT_EQ(w.sComboBoxSkin.ItemIndex(), 0);
    EXPECT_FALSE(fw::Skins().Active());
    EXPECT_EQ(w.ActiveSkinName(), "");

    // Shown on the first page, whichever was open before.
    w.sPageControl1.SetActivePage(3);
    form.ShowSettingsWindow();
    EXPECT_EQ(w.sPageControl1.ActivePage(), 0);
    form.Hide();
}

TEST_F(SettingsWindowTest, OkWithIllFormedMaskAsksAndSavesOnlyOnOk) {
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    form.ShowSettingsWindow();
    const std::string before = wintest::ReadFileBytes(folder + L"setting.ini");
    w.EditMask.SetText("a*b");

    gAnswer = fw::mrCancel;
    w.ButtonOKClick();
    ASSERT_EQ(gQuestions.size(), 1u);
    EXPECT_EQ(gQuestions[0].text, "Cesta pro ukládání nebo maska, nemají správný formát.");
    EXPECT_EQ(gQuestions[0].caption, "Kolibrio2 - Chyba");
    EXPECT_EQ(gQuestions[0].kind, mkError);
    EXPECT_EQ(gQuestions[0].buttons, MsgBtn::OK | MsgBtn::Cancel);
    EXPECT_EQ(gQuestions[0].focus, MsgBtn::Cancel);
    EXPECT_TRUE(form.Visible());
    EXPECT_EQ(wintest::ReadFileBytes(folder + L"setting.ini"), before);

    gAnswer = fw::mrOK;
    w.ButtonOKClick();
    EXPECT_EQ(gQuestions.size(), 2u);
    EXPECT_FALSE(form.Visible());
    EXPECT_EQ(IniValue(L"Mask", L"CurrentMask"), "a*b");
    EXPECT_EQ(IniValue(L"Mask", L"Path"), "C:\\Foto\\");

    // A well-formed target is saved without a question.
    form.ShowSettingsWindow();
    w.EditMask.SetText("%yyyy%\\%file_name%");
    w.ButtonOKClick();
    EXPECT_EQ(gQuestions.size(), 2u);
    EXPECT_EQ(IniValue(L"Mask", L"CurrentMask"), "%yyyy%\\%file_name%");
}

// An empty mask, or one that ends in a folder, names no file: OK asks
// as for an ill-formed mask, and the preview shows the path in red.
TEST_F(SettingsWindowTest, OkWithAMaskThatNamesNoFileAsks) {
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    form.ShowSettingsWindow();
    const std::string before = wintest::ReadFileBytes(folder + L"setting.ini");
    gAnswer = fw::mrCancel;
    size_t asked = gQuestions.size();
    for (const char* mask : {"", "%yyyy%\\", "%yyyy%\\ ."}) {
        SCOPED_TRACE(mask);
        w.EditMask.SetText(mask);
        EXPECT_EQ(w.LabelPreview.TextColor(), RGB(255, 0, 0));
        w.ButtonOKClick();
        ASSERT_EQ(gQuestions.size(), ++asked);
        EXPECT_EQ(gQuestions.back().text, "Cesta pro ukládání nebo maska, nemají správný formát.");
        EXPECT_TRUE(form.Visible());
        EXPECT_EQ(wintest::ReadFileBytes(folder + L"setting.ini"), before);
    }
    form.Hide();
}

// A double-click on the tray icon, or "Nastavení...", while another window
// has the keyboard: the settings window comes to the front with a field
// focused, so typing reaches it at once.
TEST_F(SettingsWindowTest, TrayDoubleClickBringsTheWindowForwardWithTheFocusInIt) {
    TForm1 form;
    HWND other = CreateWindowExW(0, L"STATIC", L"another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    struct Case {
        const char* name;
        std::function<void()> open;
    } cases[] = {
        {"tray double-click",
         [&] { SendMessageW(TrayManagerWindow(), TrayNotifyMessage(), form.TrayIkona1.Id(), WM_LBUTTONDBLCLK); }},
        {"Nastavení...", [&] { form.MenuSettingClick(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form.Hide();
        SetForegroundWindow(other);
        SetFocus(other);
        wintest::Pump(50);
        ASSERT_EQ(GetForegroundWindow(), other);
        c.open();
        wintest::Pump(50);
        EXPECT_TRUE(form.Visible());
        EXPECT_EQ(GetForegroundWindow(), form.Handle());
        HWND focus = GetFocus();
        EXPECT_TRUE(focus && IsChild(form.Handle(), focus)) << "focus on " << focus;
    }
    form.Hide();
    DestroyWindow(other);
}

TEST_F(SettingsWindowTest, ARefusedSaveIsReportedAndKeepsTheWindowOpen) {
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    form.ShowSettingsWindow();
    const std::wstring ini = folder + L"setting.ini";
    // Another program holds the file open for reading only.
    HANDLE held = CreateFileW(ini.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    // The new file cannot take the name of one another program holds: the
    // box says where, then why.
    const std::wstring where = L"Nastavení nebylo možné uložit do souboru \"" + ini + L"\".\r\n";
    std::vector<std::wstring> texts;
    wintest::WhenWindowAppears(L"Kolibrio 2", [&](HWND box) {
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            texts.push_back(wintest::WindowText(child));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    SendMessageW(w.ButtonOK.Handle(), BM_CLICK, 0, 0);  // the general error report runs inside
    CloseHandle(held);
    const auto said = std::find_if(texts.begin(), texts.end(),
                                   [&](const std::wstring& t) { return t.rfind(where, 0) == 0; });
    ASSERT_NE(said, texts.end()) << "the box's texts: " << ::testing::PrintToString(texts);
    EXPECT_GT(said->size(), where.size() + 2) << "no reason given";
    EXPECT_TRUE(form.Visible());
    form.Hide();
}

TEST_F(SettingsWindowTest, CancelAndEscRestoreTheStoredValuesWithoutMessages) {
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    form.ShowSettingsWindow();
    w.EditMask.SetText("jiná");
    w.sEditNameMonth.SetText("leden;únor");
    w.sCheckRozpoznat.SetChecked(false);
    Settings().AutoRecognize = false;
    EXPECT_EQ(Settings().CurrentMask, "jiná") << "edits are in force at once";

    w.ButtonStornoClick();
    EXPECT_FALSE(form.Visible());
    EXPECT_TRUE(gQuestions.empty());
    EXPECT_EQ(w.EditMask.Text(), "%yyyy%\\%mm%\\%file_name%.%file_ext%");
    EXPECT_EQ(Settings().CurrentMask, w.EditMask.Text());
    EXPECT_EQ(w.sEditNameMonth.Text(), Settings().LongNameMonth);
    EXPECT_EQ(Settings().DateNameTables.LongMonth[0], "ledna");
    EXPECT_TRUE(w.sCheckRozpoznat.Checked());
    EXPECT_TRUE(Settings().AutoRecognize);

    // Esc in the window is Cancel.
    form.ShowSettingsWindow();
    w.EditMask.SetText("esc");
    MSG esc = {};
    esc.hwnd = w.EditMask.Handle();
    esc.message = WM_KEYDOWN;
    esc.wParam = VK_ESCAPE;
    EXPECT_TRUE(form.PreTranslateKey(esc));
    EXPECT_FALSE(form.Visible());
    EXPECT_EQ(w.EditMask.Text(), "%yyyy%\\%mm%\\%file_name%.%file_ext%");
    EXPECT_TRUE(gQuestions.empty());
}

TEST_F(SettingsWindowTest, BadMonthListReportedOnLeavingAndAgainAtOk) {
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    form.ShowSettingsWindow();
    w.sPageControl1.SetActivePage(2);
    w.sEditNameMonth.SetFocus();
    ASSERT_TRUE(w.sEditNameMonth.Focused());
    w.sEditNameMonth.SetText("leden;únor");
    gAnswer = fw::mrOK;
    w.sEditShortNameMonth.SetFocus();  // leaving the field runs the check
    ASSERT_EQ(gQuestions.size(), 1u);
    EXPECT_EQ(gQuestions[0].text, kLongMonthMessage);
    EXPECT_EQ(gQuestions[0].caption, "Kolibrio2 - Chyba");
    EXPECT_EQ(gQuestions[0].kind, mkWarning);
    EXPECT_EQ(gQuestions[0].buttons, MsgBtn::OK);
    EXPECT_EQ(w.sEditNameMonth.Text(), "leden;únor");
    EXPECT_EQ(Settings().DateNameTables.LongMonth[0], "ledna");

    // Seven short day names change the table at once; six are reported.
    w.sEditShortNameDay.SetText("Po;Út;St;Čt;Pá;So;Ne");
    w.sEditShortNameDay.SetFocus();
    w.sEditNameDay.SetFocus();
    EXPECT_EQ(gQuestions.size(), 1u);
    EXPECT_EQ(Settings().DateNameTables.ShortDay[0], "Ne");
    w.sEditShortNameDay.SetText("a;b;c;d;e;f");
    w.sEditShortNameDay.SetFocus();
    w.sEditNameDay.SetFocus();
    ASSERT_EQ(gQuestions.size(), 2u);
    EXPECT_EQ(gQuestions[1].text,
              "V krátkých názvech dnů nebylo nalezeno 7 položek...\r\nProsím zkontrolujte správnost zápisu. "
              "Položky oddělujte středníkem ;");
    EXPECT_EQ(Settings().DateNameTables.ShortDay[0], "Ne");

    w.sPageControl1.SetActivePage(0);
    w.ButtonOKClick();
    ASSERT_EQ(gQuestions.size(), 3u);
    EXPECT_EQ(gQuestions[2].text, kLongMonthMessage);
    EXPECT_FALSE(form.Visible());
    EXPECT_EQ(IniValue(L"Options", L"LongNameMonth"), "leden;únor") << "saved all the same";

    // A hidden window reports nothing.
    w.sEditNameMonthExit(w.sEditNameMonth);
    EXPECT_EQ(gQuestions.size(), 3u);
}

TEST_F(SettingsWindowTest, RestoreAnsweredNoChangesNothingYesLoadsTheFactoryFile) {
    wintest::WriteFileBytes(folder + L"setting_def.ini",
                            "[Mask]\r\nCurrentMask=tovarni\r\nPath=D:\\Archiv\r\n[Options]\r\nAutoUpdate=0\r\n");
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    form.ShowSettingsWindow();
    w.sCheckAutoRun.SetChecked(false);
    Settings().AutoRun = false;

    gAnswer = fw::mrNo;
    w.BtnRestoreDefaultClick();
    ASSERT_EQ(gQuestions.size(), 1u);
    EXPECT_EQ(gQuestions[0].text,
              "Chystáte se obnovit výchozí nastavení. Vaše změny budou smazány!\r\nOpravdu chcete obnovit "
              "standardní nastavení?");
    EXPECT_EQ(gQuestions[0].caption, "Kolibrio2 - Varování");
    EXPECT_EQ(gQuestions[0].kind, mkWarning);
    EXPECT_EQ(gQuestions[0].buttons, MsgBtn::Yes | MsgBtn::No);
    EXPECT_EQ(gQuestions[0].focus, MsgBtn::No);
    EXPECT_EQ(w.EditMask.Text(), "%yyyy%\\%mm%\\%file_name%.%file_ext%");
    EXPECT_FALSE(w.sCheckAutoRun.Checked());

    gAnswer = fw::mrYes;
    w.BtnRestoreDefaultClick();
    EXPECT_EQ(w.EditMask.Text(), "tovarni");
    EXPECT_EQ(w.EditPath.Text(), "D:\\Archiv\\");
    EXPECT_TRUE(w.sCheckAutoRun.Checked());
    EXPECT_TRUE(form.Visible());
    form.Hide();
}

TEST_F(SettingsWindowTest, LeavingThePathFieldEndsItWithABackslash) {
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    form.ShowSettingsWindow();
    for (const auto& [typed, left] : std::vector<std::pair<std::string, std::string>>{
             {"", "\\"}, {"C:\\Foto", "C:\\Foto\\"}, {"C:\\", "C:\\"}}) {
        w.EditPath.SetFocus();
        w.EditPath.SetText(typed);
        w.EditMask.SetFocus();
        EXPECT_EQ(w.EditPath.Text(), left);
        EXPECT_EQ(Settings().Path, left);
    }
    form.Hide();
}

TEST_F(SettingsWindowTest, CatalogueAddUseAndDelete) {
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    SetCatalogue(w, {});
    w.EditMask.SetText("%dd%");
    w.ButtonDownClick();
    // Enter in the path field adds the mask too.
    MSG enter = {};
    enter.hwnd = w.EditPath.Handle();
    enter.message = WM_KEYDOWN;
    enter.wParam = VK_RETURN;
    EXPECT_TRUE(form.PreTranslateKey(enter));
    w.EditMask.SetText("");
    w.ButtonDownClick();
    EXPECT_EQ(Settings().CatalogueList, (std::vector<std::string>{"%dd%", "%dd%", ""}));
    EXPECT_EQ(Lines(w.sListBox1), Settings().CatalogueList);
    EXPECT_EQ(w.sListBox1.CaretIndex(), 2);
    EXPECT_EQ(SelectedLines(w.sListBox1), (std::vector<int>{0, 1, 2})) << "earlier selections stay";

    // Use: the line with the focus mark, also on the preview tab.
    SetCatalogue(w, {"a\\%yyyy%", "b", "c", "d"});
    SelectOnly(w.sListBox1, {});
    w.sListBox1.SetCaretIndex(0);
    w.sPageControl2.SetActivePage(1);
    w.sPageControl2Change();
    EXPECT_NE(w.sListBox1.Item(0), "a\\%yyyy%");
    w.ButtonUpClick();
    EXPECT_EQ(w.EditMask.Text(), "a\\%yyyy%");
    w.sPageControl2.SetActivePage(0);
    w.sPageControl2Change();

    // Delete entries 1 and 3 of four: No keeps all, Yes leaves 2 and 4.
    SelectOnly(w.sListBox1, {0, 2});
    gAnswer = fw::mrNo;
    w.ButtonDeleteClick();
    ASSERT_EQ(gQuestions.size(), 1u);
    EXPECT_EQ(gQuestions[0].text, "Opravdu chcete smazat vybrané položky?");
    EXPECT_EQ(gQuestions[0].caption, "Kolibrio2 - Otázka");
    EXPECT_EQ(gQuestions[0].kind, mkConfirmation);
    EXPECT_EQ(gQuestions[0].focus, MsgBtn::No);
    EXPECT_EQ(Settings().CatalogueList.size(), 4u);
    gAnswer = fw::mrYes;
    // The Delete key released in the list is the delete button.
    SendMessageW(w.sListBox1.Handle(), WM_KEYUP, VK_DELETE, 0);
    EXPECT_EQ(gQuestions.size(), 2u);
    EXPECT_EQ(Settings().CatalogueList, (std::vector<std::string>{"b", "d"}));
    EXPECT_EQ(Lines(w.sListBox1), (std::vector<std::string>{"b", "d"}));
    EXPECT_TRUE(SelectedLines(w.sListBox1).empty());

    // An empty catalogue: nothing to use or delete, nothing changes.
    SetCatalogue(w, {});
    w.EditMask.SetText("zustane");
    w.ButtonUpClick();
    w.ButtonDeleteClick();
    EXPECT_EQ(w.EditMask.Text(), "zustane");
    EXPECT_TRUE(Settings().CatalogueList.empty());
    EXPECT_EQ(gQuestions.size(), 2u);
}

TEST_F(SettingsWindowTest, SwitchingTabsKeepsTheSelectionAndShowsPreviews) {
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    SetCatalogue(w, {"%yyyy%\\%file_name%", "b", "c"});
    SelectOnly(w.sListBox1, {0, 2});
    w.sPageControl2.SetActivePage(1);
    w.sPageControl2Change();
    EXPECT_EQ(SelectedLines(w.sListBox1), (std::vector<int>{0, 2}));
    const std::string preview = w.sListBox1.Item(0);
    ASSERT_EQ(preview.size(), 4 + 1 + 8u) << preview;  // year, backslash, P1070283
    EXPECT_EQ(preview.substr(4), "\\P1070283");
    w.sPageControl2.SetActivePage(0);
    w.sPageControl2Change();
    EXPECT_EQ(SelectedLines(w.sListBox1), (std::vector<int>{0, 2}));
    EXPECT_EQ(w.sListBox1.Item(0), "%yyyy%\\%file_name%");
}

TEST_F(SettingsWindowTest, PreviewTurnsRedForAnIllFormedTarget) {
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    w.EditMask.SetText("%yyyy%\\%file_name%.%file_ext%");
    EXPECT_FALSE(IsRed(w.LabelPreview));
    EXPECT_EQ(w.LabelPreview.Text().substr(0, 8), "C:\\Foto\\");
    for (const char* bad : {"a/b", "a*b"}) {
        w.EditMask.SetText(bad);
        EXPECT_TRUE(IsRed(w.LabelPreview)) << bad;
    }
    w.EditMask.SetText("%file_name%");
    EXPECT_FALSE(IsRed(w.LabelPreview));
    w.EditPath.SetText("Foto\\");  // no drive
    EXPECT_TRUE(IsRed(w.LabelPreview));

    // The timer walks the index and shows the total as 110.
    w.EditPath.SetText("C:\\");
    w.EditMask.SetText("%index%-%count%");
    w.PreviewIndex = 109;
    form.Timer1Timer();
    EXPECT_EQ(w.LabelPreview.Text(), "C:\\110-110");
    form.Timer1Timer();
    EXPECT_EQ(w.PreviewIndex, 1);
    EXPECT_EQ(w.LabelPreview.Text(), "C:\\001-110");
    // The preview counts in the import's own naming state.
    EXPECT_EQ(ImportJob().Mask.PreviewTotal, 110);
    EXPECT_EQ(ImportJob().Mask.RunningIndex, 1);

    // A long path is shortened to the label, the whole path in its hint.
    w.EditPath.SetText("C:\\" + std::string(60, 'a') + "\\" + std::string(60, 'b') + "\\");
    w.EditMask.SetText("%file_name%");
    EXPECT_EQ(w.LabelPreview.Text().substr(0, 7), "C:\\...\\");
    EXPECT_LE(w.LabelPreview.TextWidth(w.LabelPreview.Text()), w.LabelPreview.Width());
}

TEST_F(SettingsWindowTest, PlaceholderMenuInsertsAtTheCaret) {
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    HMENU menu = w.PopupMenu2;
    ASSERT_EQ(GetMenuItemCount(menu), 2);
    EXPECT_EQ(MenuText(menu, 0), L"Datum a čas");
    EXPECT_EQ(MenuText(menu, 1), L"Ostatní hodnoty");
    HMENU dates = GetSubMenu(menu, 0), others = GetSubMenu(menu, 1);
    ASSERT_EQ(GetMenuItemCount(dates), 19);  // 16 items, 3 separators
    EXPECT_EQ(MenuText(dates, 1), L"%dd% - den v měsíci (01;05;10)");
    EXPECT_EQ(MenuText(dates, 8), L"%mmmm% - dlouhý název měsíce (leden,květen)");
    ASSERT_EQ(GetMenuItemCount(others), 8);
    EXPECT_EQ(MenuText(others, 4), L"%file_name% - původní název souboru ");
    EXPECT_EQ(MenuText(others, 7), L"   \\       - zpětné lomítko pro oddělení adresářů");

    w.EditMask.SetText("ab");
    w.EditMask.SetSel(2, 0);
    w.PopupMenu2Click(GetMenuItemID(dates, 1));
    EXPECT_EQ(w.EditMask.Text(), "ab%dd%");
    EXPECT_EQ(w.EditMask.SelStart(), 6);

    w.EditMask.SetText("čřžý");
    w.EditMask.SetSel(1, 2);  // "řž" selected
    w.PopupMenu2Click(GetMenuItemID(others, 7));
    EXPECT_EQ(w.EditMask.Text(), "č\\řžý");
    EXPECT_EQ(w.EditMask.SelStart(), 2);
    EXPECT_EQ(w.EditMask.SelLength(), 0);
    EXPECT_EQ(Settings().CurrentMask, "č\\řžý");
}

TEST_F(SettingsWindowTest, DownArrowOpensTheMenuUnderTheDropDownButton) {
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    form.ShowSettingsWindow();
    // The window now takes the activation; the system's activation messages
    // arrive before the user can press a key, and would end a menu opened
    // in the same instant.
    wintest::Pump(100);
    gMenuSeen = false;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, CloseMenuWhenShown);
    SendMessageW(w.EditMask.Handle(), WM_KEYUP, VK_DOWN, 0);  // returns when the menu closed
    KillTimer(nullptr, timer);
    ASSERT_TRUE(gMenuSeen);
    const RECT menuRect = gMenuRect;
    RECT button;
    GetWindowRect(w.sSpeedButton2.Handle(), &button);
    EXPECT_NEAR(menuRect.left, button.left, 2);
    EXPECT_NEAR(menuRect.top, button.bottom, 2);
    form.Hide();
}

TEST_F(SettingsWindowTest, BrowseNormalisesTheChosenFolder) {
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    w.EditPath.SetText("C:\\Start\\");
    gChooserAnswer = "C:\\Foto";
    w.ButtonBrowseClick();
    EXPECT_EQ(gChooserStart, "C:\\Start\\");
    EXPECT_EQ(w.EditPath.Text(), "C:\\Foto\\");
    gChooserAnswer = "C:\\";
    w.ButtonBrowseClick();
    EXPECT_EQ(w.EditPath.Text(), "C:\\");
    gChooserAnswer.clear();  // cancelled
    w.ButtonBrowseClick();
    EXPECT_EQ(w.EditPath.Text(), "C:\\");
}

TEST_F(SettingsWindowTest, RealFolderDialogStartsAtThePathAndGivesItBackWithABackslash) {
    TSettingsWindow::SetFolderChooser(nullptr);
    CreateDirectoryW(L"C:\\Foto", nullptr);
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    form.ShowSettingsWindow();
    w.EditPath.SetText("C:\\Foto");  // a cancelled dialog would leave this as it is
    gDialogOwner = form.Handle();
    gDialogTitle.clear();
    SetTimer(nullptr, 0, 100, PressOkInDialog);
    w.ButtonBrowseClick();
    EXPECT_EQ(gDialogTitle, L"Zvolte výchozí adresář pro ukládání fotografií");
    EXPECT_EQ(w.EditPath.Text(), "C:\\Foto\\");
    form.Hide();
    RemoveDirectoryW(L"C:\\Foto");
}

TEST_F(SettingsWindowTest, UntickingHintsHidesThemInAllThreeWindows) {
    TForm1 form;
    TOKBottomDlg1 arrival;
    TDlgFilecopy progress;
    TSettingsWindow& w = *form.SettingsWindow;
    form.ShowSettingsWindow();
    ASSERT_TRUE(w.sCheckHint.Checked());
    EXPECT_TRUE(arrival.ShowHints());
    EXPECT_TRUE(progress.ShowHints());
    w.sPageControl1.SetActivePage(1);
    SendMessageW(w.sCheckHint.Handle(), BM_CLICK, 0, 0);  // a real click on the box
    EXPECT_FALSE(w.sCheckHint.Checked());
    EXPECT_FALSE(Settings().Hint);
    EXPECT_FALSE(form.ShowHints());
    EXPECT_FALSE(arrival.ShowHints());
    EXPECT_FALSE(progress.ShowHints());

    // The catalogue keeps its per-line hint: the line's preview, hidden
    // after five seconds, none where no line is.
    w.sPageControl1.SetActivePage(0);
    SetCatalogue(w, {"%yyyy%"});
    RECT line;
    SendMessageW(w.sListBox1.Handle(), LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&line));
    SendMessageW(w.sListBox1.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(line.left + 3, line.top + 2));
    EXPECT_EQ(w.CatalogueHint().size(), 4u);
    EXPECT_EQ(w.CatalogueHint().find_first_not_of("0123456789"), std::string::npos) << w.CatalogueHint();
    EXPECT_EQ(SendMessageW(w.AlwaysHints(), TTM_GETDELAYTIME, TTDT_AUTOPOP, 0), 5000);
    SendMessageW(w.sListBox1.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(line.left + 3, line.bottom + 40));
    EXPECT_EQ(w.CatalogueHint(), "");

    SendMessageW(w.sCheckHint.Handle(), BM_CLICK, 0, 0);
    EXPECT_TRUE(form.ShowHints());
    EXPECT_TRUE(arrival.ShowHints());
    EXPECT_TRUE(progress.ShowHints());
    form.Hide();
}

TEST_F(SettingsWindowTest, SkinChoiceIsInForceAtOnceAndSavedWithOk) {
    const std::wstring skins = folder + L"skins\\";
    CreateDirectoryW(skins.c_str(), nullptr);
    wintest::WriteFileBytes(skins + L"Zima.ini", "[Colors]\r\nText=#102030\r\n");
    wintest::WriteFileBytes(skins + L"Elegant.ini",
                            "[Colors]\r\nText=#405060\r\nLink=#0000FF\r\n[Font]\r\nName=Courier New\r\nSize=10\r\n");
    SkinFolder().SetDirectory(fw::Utf8(skins));
    TForm1 form;  // its start-up points the layer beside the test program
    SkinFolder().SetDirectory(fw::Utf8(skins));
    LoadSettings();  // no SkinName key: "Elegant"
    TSettingsWindow& w = *form.SettingsWindow;
    ASSERT_EQ(w.sComboBoxSkin.Count(), 3);
    EXPECT_EQ(w.sComboBoxSkin.Item(1), "Elegant");
    EXPECT_EQ(w.sComboBoxSkin.Item(2), "Zima");
    EXPECT_EQ(w.sComboBoxSkin.ItemIndex(), 1);
    EXPECT_TRUE(fw::Skins().Active());
    EXPECT_EQ(fw::Skins().StandardTextColor(), RGB(0x40, 0x50, 0x60));
    // Links are drawn in the skin's standard text colour, the message box's
    // text in black.
    HDC dc = CreateCompatibleDC(nullptr);
    SendMessageW(GetParent(w.sWebLabel5.Handle()), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(w.sWebLabel5.Handle()));
    EXPECT_EQ(GetTextColor(dc), RGB(0x40, 0x50, 0x60));
    {
        TMyDlg box;
        SendMessageW(box.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(box.LabelText.Handle()));
        EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
    }
    DeleteDC(dc);
    EXPECT_EQ(FaceOf(w.LabelContacts), L"Courier New") << "headings take the skin's font";
    EXPECT_EQ(FaceOf(w.sWebLabel5), L"Courier New") << "links take the font of \"Kontakty:\"";

    form.ShowSettingsWindow();
    w.sComboBoxSkin.SetItemIndex(0);
    w.sComboBoxSkinChange();
    EXPECT_FALSE(fw::Skins().Active());
    EXPECT_EQ(fw::Skins().StandardTextColor(), RGB(0xFF, 0x00, 0xFF));
    EXPECT_NE(w.sWebLabel5.TextColor(), RGB(0xFF, 0x00, 0xFF)) << "no magenta links without a skin";
    EXPECT_EQ(FaceOf(w.LabelContacts), FaceOf(w.sLabelFX4));
    EXPECT_NE(FaceOf(w.LabelContacts), L"Courier New");
    w.ButtonOKClick();
    EXPECT_EQ(IniValue(L"Skin", L"SkinName"), "");
    LoadSettings();
    EXPECT_EQ(w.sComboBoxSkin.ItemIndex(), 0) << "an empty name stays no skin";

    w.sComboBoxSkin.SetItemIndex(2);
    w.sComboBoxSkinChange();
    EXPECT_EQ(Settings().SkinName, "Zima");
    EXPECT_EQ(w.ActiveSkinName(), "Zima");
    fw::Skins().SetActive(false);
    SkinFolder().SetSkinName("");
}

TEST_F(SettingsWindowTest, LinksOpenTheVendorsAddresses) {
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    static std::vector<std::string> opened;
    opened.clear();
    TSettingsWindow::SetLinkOpener([](const std::string& a) { opened.push_back(a); });
    for (fw::Label* link : {&w.sWebLabel6, &w.sWebLabel3, &w.sWebLabel4, &w.sWebLabelWeb, &w.sWebLabelMail})
        SendMessageW(link->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    TSettingsWindow::SetLinkOpener(nullptr);
    ASSERT_EQ(opened.size(), 5u);
    const std::string host = std::string("http://") + net::kVendorHost;
    EXPECT_EQ(opened[0], host + "/kolibrio/skins.php");
    EXPECT_EQ(opened[1], host + "/kolibrio/skins.php");
    EXPECT_EQ(opened[2], host + "/kolibrio/update.php?ver=2.1");
    EXPECT_EQ(opened[3], host + "/kolibrio/");
    EXPECT_EQ(opened[4].substr(0, 7), "mailto:");
    EXPECT_EQ(w.sWebLabel5.Text(), "Licence...");
}

TEST_F(SettingsWindowTest, ModalUseEndsWithOneForOkAndTwoForEsc) {
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    wintest::WhenWindowAppears(L"Kolibrio 2 - nastavení", [&](HWND) { w.ButtonOKClick(); });
    EXPECT_EQ(form.ShowModal(), fw::mrOK);
    wintest::WhenWindowAppears(L"Kolibrio 2 - nastavení", [&](HWND h) {
        w.EditMask.SetFocus();
        PostMessageW(w.EditMask.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
        (void)h;
    });
    EXPECT_EQ(form.ShowModal(), fw::mrCancel);
    // A failed check answered Cancel keeps the window open, also modally.
    wintest::WhenWindowAppears(L"Kolibrio 2 - nastavení", [&](HWND h) {
        w.EditMask.SetText("a*b");
        gAnswer = fw::mrCancel;
        w.ButtonOKClick();
        EXPECT_TRUE(IsWindowVisible(h));
        EXPECT_EQ(form.GetModalResult(), fw::mrNone);
        PostMessageW(h, WM_CLOSE, 0, 0);  // the title bar's close: 2 without a reload
    });
    EXPECT_EQ(form.ShowModal(), fw::mrCancel);
    EXPECT_EQ(w.EditMask.Text(), "a*b");
}

// The copy check and the skipping of files imported before: on the options
// page, in force at once, saved with OK, taken back by Storno, on again
// with the factory settings.
TEST_F(SettingsWindowTest, OptionBoxesLoadSaveCancelAndRestoreLikeTheirNeighbours) {
    WriteIni("[Mask]\r\nCurrentMask=%yyyy%\\%mm%\\%file_name%.%file_ext%\r\nPath=C:\\Foto\\\r\n"
             "[Options]\r\nAutoUpdate=0\r\nVerifyCopy=0\r\nSkipImported=0\r\n");
    wintest::WriteFileBytes(folder + L"setting_def.ini",
                            wintest::ReadFileBytes(wintest::SourceDir() + L"res\\beside\\setting_def.ini"));
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    const struct Box {
        fw::CheckBox& box;
        const char* caption;
        const wchar_t* key;
        bool TSettings::*field;
    } boxes[] = {{w.sCheckVerify, "Ověřovat zkopírované soubory", L"VerifyCopy", &TSettings::VerifyCopy},
                 {w.sCheckSkipImported, "Nekopírovat soubory, které už byly importovány", L"SkipImported",
                  &TSettings::SkipImported}};
    for (const Box& b : boxes) {
        SCOPED_TRACE(b.caption);
        bool& value = Settings().*b.field;
        // With the other options, and its tool tip is one sentence.
        EXPECT_EQ(GetParent(b.box.Handle()), w.sTabSheetSetting->Handle());
        EXPECT_EQ(b.box.Text(), b.caption);
        const std::string hint = b.box.Hint();
        ASSERT_FALSE(hint.empty());
        EXPECT_EQ(hint.find_first_of(".!?"), hint.size() - 1) << hint;

        EXPECT_FALSE(b.box.Checked());
        EXPECT_FALSE(value);
        auto click = [&] { SendMessageW(b.box.Handle(), BM_CLICK, 0, 0); };

        form.ShowSettingsWindow();
        click();
        EXPECT_TRUE(value) << "in force at once";
        w.ButtonStornoClick();
        EXPECT_FALSE(b.box.Checked());
        EXPECT_FALSE(value);
        EXPECT_EQ(IniValue(L"Options", b.key), "0");

        form.ShowSettingsWindow();
        click();
        w.ButtonOKClick();
        EXPECT_EQ(IniValue(L"Options", b.key), "1");
        form.ShowSettingsWindow();
        click();
        w.ButtonOKClick();
        EXPECT_EQ(IniValue(L"Options", b.key), "0");
        EXPECT_FALSE(value);
    }

    form.ShowSettingsWindow();
    gAnswer = fw::mrYes;
    w.BtnRestoreDefaultClick();
    for (const Box& b : boxes) {
        EXPECT_TRUE(b.box.Checked()) << b.caption;
        EXPECT_TRUE(Settings().*b.field) << b.caption;
    }
    EXPECT_EQ(gQuestions.size(), 1u);
    form.Hide();
}

// "Zapomenout historii importů…" empties the history, after a question
// whose No keeps it.
TEST_F(SettingsWindowTest, ForgettingTheHistoryAsksFirst) {
    WriteIni("[Options]\r\nAutoUpdate=0\r\n");
    const std::wstring history = wintest::MakeTempDir();
    SetImportHistoryFolder(fw::Utf8(history));
    {
        std::string notice;
        TImportHistory* h = ImportHistory(notice);
        ASSERT_TRUE(h);
        ASSERT_TRUE(h->Record({"IMG_1.JPG", 1000, 133562160000000000}, 7, "C:\\Foto\\IMG_1.JPG"));
        ReleaseImportHistory();
    }
    auto rows = [] {
        std::string notice;
        const std::optional<int64_t> n = ImportHistory(notice)->Count();
        ReleaseImportHistory();
        return n.value_or(-1);
    };
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    EXPECT_EQ(GetParent(w.BtnForgetHistory.Handle()), w.sTabSheetSetting->Handle());
    EXPECT_EQ(w.BtnForgetHistory.Text(), "Zapomenout historii importů…");
    form.ShowSettingsWindow();
    gAnswer = fw::mrNo;
    SendMessageW(w.BtnForgetHistory.Handle(), BM_CLICK, 0, 0);
    ASSERT_EQ(gQuestions.size(), 1u);
    EXPECT_EQ(rows(), 1);
    gAnswer = fw::mrYes;
    SendMessageW(w.BtnForgetHistory.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(gQuestions.size(), 2u);
    EXPECT_EQ(rows(), 0);
    form.Hide();
    CloseImportHistory();
    SetImportHistoryFolder("");
    wintest::RemoveTree(history);
}

// An import that runs without the history (the option was off when it
// began) holds none: the user's Yes still empties it.
TEST_F(SettingsWindowTest, ForgettingTheHistoryDuringARunThatHoldsNone) {
    WriteIni("[Options]\r\nAutoUpdate=0\r\n");
    const std::wstring history = wintest::MakeTempDir();
    SetImportHistoryFolder(fw::Utf8(history));
    std::string notice;
    ASSERT_TRUE(ImportHistory(notice));
    ASSERT_TRUE(ImportHistory(notice)->Record({"IMG_1.JPG", 1000, 133562160000000000}, 7, "C:\\Foto\\IMG_1.JPG"));
    ReleaseImportHistory();
    TForm1 form;
    TSettingsWindow& w = *form.SettingsWindow;
    form.ShowSettingsWindow();
    ImportJob().Running = true;
    ImportJob().History = nullptr;
    gAnswer = fw::mrYes;
    SendMessageW(w.BtnForgetHistory.Handle(), BM_CLICK, 0, 0);
    ImportJob().Running = false;
    EXPECT_EQ(gQuestions.size(), 1u);
    EXPECT_EQ(ImportHistory(notice)->Count().value_or(-1), 0);
    ReleaseImportHistory();
    form.Hide();
    CloseImportHistory();
    SetImportHistoryFolder("");
    wintest::RemoveTree(history);
}
