// The folder import from the tray menu and the questions of a running
// import, through the real windows: the system's folder dialog, the
// program's message boxes and its progress window, answered by key and
// click as a user at the screen answers them.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/Unit1_win.h"
#include "device/Unit2_win.h"
#include "framework/Application.h"
#include "framework/Strings.h"
#include "import/FileAccess_win.h"
#include "import/ImportRun_win.h"
#include "import/unitDlgFilecopy_win.h"
#include "settings/Settings.h"
#include "settings/SettingsStore_win.h"
#include "support/Questions.h"
#include "support/UiTest.h"
#include "support/WinTest.h"

namespace {

using Lines = std::vector<std::string>;

const wchar_t kConfirmCaption[] = L"Kolibrio2 - Byl vložen fotoaparát";
// Answers that are no button's caption.
const wchar_t kEnter[] = L"<Enter>";
const wchar_t kCloseBox[] = L"<close box>";

// A box in one line: caption | first line of the text | kind | buttons from
// left to right | the focused one.
std::string Describe(const wintest::BoxSeen& b) {
    static const char* const kinds[] = {"warning", "error", "information", "confirmation"};
    std::string line = fw::Utf8(b.caption) + " | " + fw::Utf8(b.text.substr(0, b.text.find(L"\r\n"))) + " | " +
                       (b.kind >= 0 ? kinds[b.kind] : "no stock icon") + " |";
    for (const std::wstring& button : b.buttons) line += " " + fw::Utf8(button);
    return line + " | " + fw::Utf8(b.focused);
}

struct Visible {
    std::vector<HWND> boxes, others;
};
BOOL CALLBACK CollectVisible(HWND hwnd, LPARAM lp) {
    auto* v = reinterpret_cast<Visible*>(lp);
    if (!IsWindowVisible(hwnd)) return TRUE;
    if (wintest::IsMessageBox(hwnd))
        v->boxes.push_back(hwnd);
    else
        v->others.push_back(hwnd);
    return TRUE;
}

// The user at the screen: looks every 30 ms at what this thread shows and
// answers it. Picks the given tray menu item, hands the folder dialog to a
// step of the test, answers the arrival confirmation with Ano or Ne and
// each message box with the next answer of its list (its close box once the
// list is used up); records what it saw.
class User {
public:
    explicit User(HWND dialogOwner) : dialogOwner_(dialogOwner) {
        gUser = this;
        timer_ = SetTimer(nullptr, 0, 30, Tick);
    }
    ~User() {
        KillTimer(nullptr, timer_);
        gUser = nullptr;
    }
    User(const User&) = delete;
    User& operator=(const User&) = delete;

    int menuItem = -1;                       // by position, counted from 0
    std::function<void(HWND)> folderDialog;  // runs once for the dialog
    bool confirm = true;                     // Ano, or Ne
    std::deque<std::wstring> answers;        // a button's caption, kEnter or kCloseBox

    Lines boxes;                    // described
    std::vector<std::wstring> texts;  // their whole texts
    Lines confirmations;            // the source folder each one showed
    Lines others;                   // captions of any other window that came up

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        if (gUser && !gUser->busy_) {
            gUser->busy_ = true;
            gUser->Look();
            gUser->busy_ = false;
        }
    }

    void Look() {
        HWND menu = FindWindowW(L"#32768", nullptr);
        if (menu && IsWindowVisible(menu) && menuItem >= 0) {
            for (int k = 0; k <= menuItem; ++k) PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
            PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
            menuItem = -1;
            return;
        }
        HWND dialog = dialogOwner_ ? wintest::OwnedDialog(dialogOwner_) : nullptr;
        if (dialog && folderDialog) {
            auto step = std::move(folderDialog);
            folderDialog = nullptr;
            step(dialog);
            return;
        }
        HWND confirmation = wintest::FindProcessWindow(GetCurrentProcessId(), kConfirmCaption);
        if (confirmation) {
            confirmations.push_back(OKBottomDlg1 ? OKBottomDlg1->LabelFoto.Text() : "?");
            SendMessageW(wintest::FindChildByText(confirmation, confirm ? L"Ano" : L"Ne"), BM_CLICK, 0, 0);
            return;
        }
        Visible v;
        EnumThreadWindows(GetCurrentThreadId(), CollectVisible, reinterpret_cast<LPARAM>(&v));
        for (HWND h : v.others)
            if (h != dialog && h != fw::App().Handle() && h != menu && !Seen(h)) {
                seenOthers_.push_back(h);
                others.push_back(fw::Utf8(wintest::WindowText(h)));
            }
        if (v.boxes.empty()) return;
        HWND box = v.boxes.front();
        if (box == answered_) {
            // An answer that did not close it: say so and close it, so that
            // the test ends instead of waiting.
            if (GetTickCount() - answeredAt_ > 5000) {
                boxes.push_back("(still open after its answer)");
                PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
                answeredAt_ = GetTickCount();
            }
            return;
        }
        const wintest::BoxSeen seen = wintest::ReadMessageBox(box);
        boxes.push_back(Describe(seen));
        texts.push_back(seen.text);
        const std::wstring answer = answers.empty() ? kCloseBox : answers.front();
        if (!answers.empty()) answers.pop_front();
        answered_ = box;
        answeredAt_ = GetTickCount();
        if (answer == kEnter)
            PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 0);
        else if (answer == kCloseBox)
            PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
        else
            SendMessageW(wintest::FindChildByText(box, answer), BM_CLICK, 0, 0);
    }

    bool Seen(HWND h) const {
        for (HWND s : seenOthers_)
            if (s == h) return true;
        return false;
    }

    static User* gUser;
    HWND dialogOwner_;
    UINT_PTR timer_ = 0;
    bool busy_ = false;
    HWND answered_ = nullptr;
    DWORD answeredAt_ = 0;
    std::vector<HWND> seenOthers_;
};
User* User::gUser = nullptr;

class ImportDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        wintest::InitApp();
        folder_ = wintest::MakeTempDir();
        // No online check: tests never reach for the vendor's host.
        wintest::WriteFileBytes(folder_ + L"setting.ini", "[Options]\r\nAutoUpdate=0\r\n");
        SetSettingsFolder(fw::Utf8(folder_));
        TTrayIkona::SetShellNotify(wintest::IgnoreShell);
        ImportJob() = TImportJob();
    }
    void TearDown() override {
        SetBlockReadForTests(nullptr);
        TTrayIkona::SetShellNotify(nullptr);
        SetSettingsFolder("");
        wintest::RemoveTree(folder_);
    }
    std::wstring folder_;
};

// Picks the child of the tree's selected folder that has this name, as a
// click on it does, and gives the dialog its moment to take it.
bool PickInTree(HWND dialog, const std::wstring& name) {
    HWND tree = FindWindowExW(dialog, nullptr, WC_TREEVIEWW, nullptr);
    if (!tree) return false;
    auto selected = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(selected));
    auto item = reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(selected)));
    for (; item; item = reinterpret_cast<HTREEITEM>(
                     SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
        wchar_t text[MAX_PATH] = {};
        TVITEMW tv = {};
        tv.mask = TVIF_TEXT;
        tv.hItem = item;
        tv.pszText = text;
        tv.cchTextMax = MAX_PATH;
        SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
        if (name == text) {
            SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
            wintest::Pump(100);
            return true;
        }
    }
    return false;
}

}  // namespace

// "Zpracovat fotografie ze složky..." from the tray icon's menu: the folder
// dialog with its caption opens at the first hard disk's root, then at the
// folder chosen last; its Cancel starts nothing and shows nothing.
TEST_F(ImportDialogs, TheTrayCommandAsksForTheFolderToImport) {
    ASSERT_TRUE(CreateDirectoryW(L"C:\\KolibrioZdroj", nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    TForm1 form;
    TOKBottomDlg1 confirmation;
    TDlgFilecopy progress;
    struct Step {
        const char* name;
        const wchar_t* pick;  // a folder picked below the one the dialog opened at
        int button;           // IDOK or IDCANCEL
        Lines shown;          // the source the arrival confirmation then shows
    } steps[] = {
        {"the first time: the first hard disk's root", nullptr, IDOK, {"C:\\"}},
        {"a folder picked in the tree", L"KolibrioZdroj", IDOK, {"C:\\KolibrioZdroj"}},
        {"Cancel", nullptr, IDCANCEL, {}},
        {"again: the folder chosen last, whatever Cancel did", nullptr, IDOK, {"C:\\KolibrioZdroj"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        User user(form.Handle());
        user.menuItem = 1;
        user.confirm = false;  // Ne: the import ends there
        bool opened = false, captioned = false, picked = false;
        user.folderDialog = [&](HWND dialog) {
            opened = true;
            captioned = wintest::FindChildByText(dialog, L"Zvolte adresář se soubory které chcete zpracovat");
            wintest::Pump(200);  // the dialog selects its starting folder
            picked = !step.pick || PickInTree(dialog, step.pick);
            PostMessageW(dialog, WM_COMMAND, step.button, 0);
        };
        ImportJob().SourcePath = "(no import)";
        // A right click on the tray icon opens its menu; the rest happens in
        // the menu's, the dialog's and the confirmation's own loops.
        SendMessageW(TrayManagerWindow(), TrayNotifyMessage(), form.TrayIkona1.Id(), WM_RBUTTONDOWN);

        EXPECT_TRUE(opened);
        EXPECT_TRUE(captioned);
        EXPECT_TRUE(picked);
        EXPECT_EQ(user.confirmations, step.shown);
        EXPECT_EQ(ImportJob().SourcePath, step.shown.empty() ? "(no import)" : step.shown[0]);
        EXPECT_EQ(user.boxes, Lines{});
        EXPECT_EQ(user.others, Lines{});
        EXPECT_FALSE(progress.Visible());
    }
    RemoveDirectoryW(L"C:\\KolibrioZdroj");
}

namespace {

HWND gStorno = nullptr;
const User* gUser = nullptr;
int gReads = 0;
// The user presses Storno while the third block of the copy is read. The
// card is slow from then on, until the user has seen the question: the
// copy cannot end before it looks at window events again.
bool ReadPressingStorno(void* file, void* buffer, uint32_t size, uint32_t* read) {
    ++gReads;
    if (gReads == 3 && gStorno) PostMessageW(gStorno, BM_CLICK, 0, 0);
    if (gReads >= 3 && gStorno && gUser->boxes.empty()) Sleep(20);
    DWORD n = 0;
    const BOOL ok = ReadFile(file, buffer, size, &n, nullptr);
    *read = n;
    return ok != FALSE;
}

}  // namespace

// "Opravdu chcete kopírování přerušit?" from the progress window's Storno
// and from the overwrite question's Zrušit (or its close box), as real
// boxes; and a failed file before the cancel: the error box, then the
// notice of the cancel.
TEST_F(ImportDialogs, TheCancelQuestionFromStornoAndFromTheCopy) {
    const std::wstring root = wintest::MakeTempDir(), card = root + L"card\\", out = root + L"out\\";
    CreateDirectoryW(card.c_str(), nullptr);
    CreateDirectoryW(out.c_str(), nullptr);
    TSettings& s = Settings();
    s.SkipImported = false;  // the history of imports is tested on its own
    s.Path = fw::Utf8(out);
    s.CurrentMask = "%file_name%.%file_ext%";
    s.ExtensionList = {"*.jpg"};
    s.TimeForMask = TTimeSource::FileTime;
    // A.jpg, taken first, is held open by another program when it fails.
    const std::string big(1 << 20, 'n');
    wintest::WriteFileBytes(card + L"A.jpg", "a");
    wintest::WriteFileBytes(card + L"BIG.jpg", big);
    for (const wchar_t* name : {L"A.jpg", L"BIG.jpg"}) {
        HANDLE f = CreateFileW((card + name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        SYSTEMTIME st{2009, 6, 0, 1, 10, 0, static_cast<WORD>(name[0] == L'A' ? 1 : 2), 0};
        FILETIME local, utc;
        SystemTimeToFileTime(&st, &local);
        LocalFileTimeToFileTime(&local, &utc);
        SetFileTime(f, nullptr, nullptr, &utc);
        CloseHandle(f);
    }
    TOKBottomDlg1 confirmation;
    TDlgFilecopy progress;

    const std::string question = "Kolibrio2 - Otázka | Opravdu chcete kopírování přerušit? | confirmation | &Ano &Ne | &Ne";
    const std::string overwrite = "Kolibrio2 - Potvrdit nahrazení souboru | Soubor \"" + fw::Utf8(out) +
                                  "BIG.jpg\" již existuje. | information | &Ano &Ne Z&rušit Ne pro vše Ano pro vše | &Ne";
    const std::string results = "Kolibrio2 - Výsledky kopírování | ";
    // The last box of a run that copied a file offers its folder.
    const std::string success = results + "Kopírování proběhlo úspěšně. | information | &OK Otevřít složku | &OK";
    const std::string failed = results + "Během kopírování došlo k chybě: | error | &OK | &OK";
    const std::string cancelled = results + "Kopírování bylo přerušeno. | warning | &OK | &OK";
    const std::string cancelledAfterACopy =
        results + "Kopírování bylo přerušeno. | warning | &OK Otevřít složku | &OK";
    struct Case {
        const char* name;
        bool failingFirst;  // A.jpg is locked, so its copy fails
        bool storno;        // pressed during BIG.jpg
        bool targetThere;   // BIG.jpg is in the archive already
        std::deque<std::wstring> answers;
        Lines boxes;
        Lines archive;
        bool bigCopied;
    } cases[] = {
        {"Storno, Enter: the copy goes on", false, true, false, {kEnter, L"&OK"}, {question, success},
         {"A.jpg", "BIG.jpg"}, true},
        {"Storno, Ano after a failed file", true, true, false, {L"&Ano", L"&OK", L"&OK"},
         {question, failed, cancelled}, {}, false},
        {"overwrite: Zrušit, Enter, again by its close box, Ano", false, false, true,
         {L"Z&rušit", kEnter, kCloseBox, L"&Ano", L"&OK"},
         {overwrite, question, overwrite, question, cancelledAfterACopy},
         {"A.jpg", "BIG.jpg"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wintest::RemoveTree(out);
        CreateDirectoryW(out.c_str(), nullptr);
        if (c.targetThere) wintest::WriteFileBytes(out + L"BIG.jpg", "old");
        HANDLE lock = c.failingFirst ? CreateFileW((card + L"A.jpg").c_str(), GENERIC_READ, 0, nullptr,
                                                   OPEN_EXISTING, 0, nullptr)
                                     : INVALID_HANDLE_VALUE;
        gReads = 0;
        gStorno = c.storno ? progress.ButtonStorno.Handle() : nullptr;
        SetBlockReadForTests(ReadPressingStorno);
        User user(nullptr);
        user.answers = c.answers;
        gUser = &user;

        StartImport(fw::Utf8(card));
        if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);

        EXPECT_EQ(user.boxes, c.boxes);
        EXPECT_EQ(wintest::FilesBelow(out), c.archive);  // no partial copy of its own either
        if (c.bigCopied) {
            EXPECT_TRUE(wintest::ReadFileBytes(out + L"BIG.jpg") == big);
        } else if (c.targetThere) {
            EXPECT_EQ(wintest::ReadFileBytes(out + L"BIG.jpg"), "old");
        }
        if (c.failingFirst && user.texts.size() > 1) {
            EXPECT_NE(user.texts[1].find(L"\r\nA.jpg: "), std::wstring::npos) << fw::Utf8(user.texts[1]);
        }
        EXPECT_EQ(user.others, Lines{progress.Caption()});  // the progress window and nothing else
        EXPECT_FALSE(progress.Visible());
    }
    wintest::RemoveTree(root);
}
