#include "settings/SettingsWindow_win.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "app/Unit3_win.h"
#include "device/Unit2_win.h"
#include "framework/Application.h"
#include "framework/Png.h"
#include "framework/SkinManager.h"
#include "framework/Strings.h"
#include "import/ImportHistory_win.h"
#include "import/ImportJob.h"
#include "import/UnitMyDlg_win.h"
#include "import/unitDlgFilecopy_win.h"
#include "mask/CaptureDate_win.h"
#include "mask/MaskEditor.h"
#include "mask/MinimizeName.h"
#include "net/NetLogic.h"
#include "settings/ListText.h"
#include "settings/Settings.h"
#include "settings/SettingsStore_win.h"
#include "settings/SkinFolder_win.h"
#include "res/resource.h"

namespace {

const int kClientWidth = 520;
const int kClientHeight = 420;
const char kSkinNone[] = "žádný...";
const char kDescription[] =
    "Slouží především pro snadné zkopírování obrazových souborů (Digitální Foto),\r\n"
    "s přejmenováním podle určeného způsobu (masky).\r\n"
    "Masku je možné sestavit hlavně z časových údajů ke snímku.\r\n"
    "Je tedy velmi snadné si třeba po vložení karty do čtečky zkopírovat fotografie,\r\n"
    "které mohou být automaticky tříděny do adresářů podle času vyfotografování.\r\n"
    "\r\n"
    "Upozornění:\r\n"
    "Pro správné rozpoznání času u fotografií\r\n"
    "je samožřejmě nutné mít nastaven ve fotoaparátu správný čas.";
const UINT_PTR kPreviewTip = 1;
const UINT_PTR kCatalogueTip = 2;
const UINT_PTR kSubclassId = 0x5357;

TSettingsWindow::TLinkOpener gLinkOpener = nullptr;
TSettingsWindow::TFolderChooser gFolderChooser = nullptr;

std::string VendorAddress(const std::string& path) {
    return std::string("http://") + net::kVendorHost + path;
}

// The contact address: the vendor's host without a leading "www.".
std::string ContactMail() {
    std::string host = net::kVendorHost;
    if (host.rfind("www.", 0) == 0) host = host.substr(4);
    return "kolibrio@" + host;
}

HFONT MakeFont(HFONT base, int points, bool bold, bool underline) {
    LOGFONTW lf = {};
    GetObjectW(base, sizeof lf, &lf);
    if (points) {
        HDC dc = GetDC(nullptr);
        lf.lfHeight = -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72);
        ReleaseDC(nullptr, dc);
    }
    if (bold) lf.lfWeight = FW_BOLD;
    lf.lfUnderline = underline ? TRUE : FALSE;
    return CreateFontIndirectW(&lf);
}

int CALLBACK BrowseCallback(HWND dialog, UINT msg, LPARAM, LPARAM data) {
    if (msg == BFFM_INITIALIZED && data) SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

// The folder dialog rooted at the desktop; false when cancelled.
bool BrowseForFolder(HWND owner, const std::string& start, std::string& chosen) {
    if (gFolderChooser) return gFolderChooser(start, chosen);
    const std::wstring title = fw::Wide("Zvolte výchozí adresář pro ukládání fotografií");
    std::wstring startWide = fw::Wide(start);
    // The dialog selects a folder only without its trailing backslash.
    if (startWide.size() > 3 && startWide.back() == L'\\') startWide.pop_back();
    BROWSEINFOW bi = {};
    bi.hwndOwner = owner;
    bi.pidlRoot = nullptr;
    bi.lpszTitle = title.c_str();
    bi.ulFlags = BIF_RETURNONLYFSDIRS;
    bi.lpfn = BrowseCallback;
    bi.lParam = reinterpret_cast<LPARAM>(startWide.c_str());
    PIDLIST_ABSOLUTE pidl = SHBrowseForFolderW(&bi);
    if (!pidl) return false;
    wchar_t path[MAX_PATH] = {};
    const bool ok = SHGetPathFromIDListW(pidl, path) && path[0];
    CoTaskMemFree(pidl);
    if (ok) chosen = fw::Utf8(path);
    return ok;
}

}  // namespace

void TSettingsWindow::SetLinkOpener(TLinkOpener opener) {
    gLinkOpener = opener;
}

void TSettingsWindow::SetFolderChooser(TFolderChooser chooser) {
    gFolderChooser = chooser;
}

TSettingsWindow::TSettingsWindow(fw::Form& form) : form_(form), maskState_(&ImportJob().Mask) {
    form_.SetClientSize(kClientWidth, kClientHeight);
    form_.CenterOnScreen();
    HWND parent = form_.Handle();

    alwaysTips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, parent, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    SendMessageW(alwaysTips_, TTM_SETMAXTIPWIDTH, 0, 600);
    // A catalogue hint goes away after five seconds.
    SendMessageW(alwaysTips_, TTM_SETDELAYTIME, TTDT_AUTOPOP, 5000);

    sPageControl1.Create(&form_, parent, 6, 6, kClientWidth - 12, kClientHeight - 50);
    sTabSheetMaska = &sPageControl1.AddPage("maska souborů ");
    sTabSheetSetting = &sPageControl1.AddPage("nastavení I");
    sTabSheet1 = &sPageControl1.AddPage("nastavení II");
    sTabSheet2 = &sPageControl1.AddPage("O programu");
    CreateMaskPage();
    CreateSettingPage();
    CreateNamesPage();
    CreateAboutPage();
    sPageControl1.SetActivePage(0);

    ButtonOK.Create(&form_, parent, "OK", kClientWidth - 168, kClientHeight - 34, 78, 25);
    ButtonOK.SetHint("Uložit změny v nastavení.");
    ButtonOK.OnClick = [this] { ButtonOKClick(); };
    ButtonStorno.Create(&form_, parent, "Cancel", kClientWidth - 84, kClientHeight - 34, 78, 25);
    ButtonStorno.SetHint("Neukládat změny v nastavení.");
    ButtonStorno.OnClick = [this] { ButtonStornoClick(); };

    fw::Skins().OnAfterChange = [this] { sSkinManager1AfterChange(); };
    sSkinManager1AfterChange();
    EditMaskChange();
    SetSettingsView(this);
}

TSettingsWindow::~TSettingsWindow() {
    SetSettingsView(nullptr);
    fw::Skins().OnAfterChange = nullptr;
    if (PopupMenu2) DestroyMenu(PopupMenu2);
    if (alwaysTips_) DestroyWindow(alwaysTips_);
    for (HFONT f : {titleFont_, boldFont_, linkFont_, headingFont_})
        if (f) DeleteObject(f);
}

void TSettingsWindow::CreateMaskPage() {
    HWND page = sTabSheetMaska->Handle();
    sLabelFX4.Create(&form_, page, "Cesta pro ukládání", 8, 8);
    EditPath.Create(&form_, page, "", 8, 24, 448, 21);
    EditPath.OnChange = [this] {
        Settings().Path = EditPath.Text();
        EditMaskChange();
    };
    EditPath.OnExit = [this] { EditPathExit(); };
    ButtonBrowse.Create(&form_, page, "...", 460, 23, 28, 23);
    ButtonBrowse.SetHint("Procházet adresáře.");
    ButtonBrowse.OnClick = [this] { ButtonBrowseClick(); };

    sLabelFX5.Create(&form_, page, "Aktuální maska pro názvy souborů", 8, 54);
    EditMask.Create(&form_, page, "", 8, 70, 448, 21);
    EditMask.OnChange = [this] {
        Settings().CurrentMask = EditMask.Text();
        EditMaskChange();
    };
    sSpeedButton2.Create(&form_, page, "\u25BC", 460, 69, 28, 23);
    sSpeedButton2.SetHint("Použít nabídku pro výběr hodnot");
    sSpeedButton2.OnClick = [this] { PopupPlaceholderMenu(); };

    LabelPreview.Create(&form_, page, "Preview", 8, 96, 480, 14, false);
    SetAlwaysHint(LabelPreview.Handle(), kPreviewTip, "", nullptr);

    sLabelFX6.Create(&form_, page, "Katalogová maska", 8, 120);
    sListBox1.SetMultiSelect(true);
    sListBox1.Create(&form_, page, 8, 136, 448, 158);
    sListBox1.OnDblClick = [this] { ButtonUpClick(); };
    ButtonDown.Create(&form_, page, "\u2193", 460, 136, 28, 25);
    ButtonDown.SetHint("Zařadit aktuální masku do katalogu.");
    ButtonDown.OnClick = [this] { ButtonDownClick(); };
    ButtonUp.Create(&form_, page, "\u2191", 460, 165, 28, 25);
    ButtonUp.SetHint("Použít vybranou položku z katalogu jako aktuální masku.");
    ButtonUp.OnClick = [this] { ButtonUpClick(); };
    ButtonDelete.Create(&form_, page, "\u00D7", 460, 194, 28, 25);
    ButtonDelete.SetHint("Vymazat vybrané položky z katalogu.");
    ButtonDelete.OnClick = [this] { ButtonDeleteClick(); };

    sPageControl2.Create(&form_, page, 8, 294, 448, 24);
    SetWindowLongW(sPageControl2.Handle(), GWL_STYLE, GetWindowLongW(sPageControl2.Handle(), GWL_STYLE) | TCS_BOTTOM);
    // The tabs only switch the view of the list; their pages stay empty.
    for (const char* caption : {"Maska", "Náhled"}) sPageControl2.AddPage(caption).SetBounds(0, 0, 0, 0);
    sPageControl2.SetActivePage(0);
    sPageControl2.OnChange = [this] { sPageControl2Change(); };

    for (HWND h : {EditMask.Handle(), sListBox1.Handle()})
        SetWindowSubclass(h, KeyAndMouseSubclass, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    BuildPlaceholderMenu();
}

void TSettingsWindow::CreateSettingPage() {
    HWND page = sTabSheetSetting->Handle();
    LabelSkin.Create(&form_, page, "Vzhled - skin", 8, 8);
    sComboBoxSkin.Create(&form_, page, 8, 24, 200, 200);
    sComboBoxSkin.SetHint("Vybrat jiný vzhled aplikace.");
    sComboBoxSkin.OnChange = [this] { sComboBoxSkinChange(); };
    sWebLabel6.Create(&form_, page, "Stáhnout další skiny", 222, 28);
    MakeLink(sWebLabel6);

    LabelTime.Create(&form_, page, "Jako datum vytvoření snímku použít:", 8, 60);
    sRadioTimeExif.Create(&form_, page, "datum vytvoření z EXIF (je-li k dipozici)", 18, 78, 460, 18, true);
    sRadioTimeFile.Create(&form_, page, "datum vytvoření souboru", 18, 98, 460, 18);
    sRadioTimeNow.Create(&form_, page, "aktuální datum", 18, 118, 460, 18);
    sRadioTimeExif.OnClick = [this] { Settings().TimeForMask = TTimeSource::EXIFTime; };
    sRadioTimeFile.OnClick = [this] { Settings().TimeForMask = TTimeSource::FileTime; };
    sRadioTimeNow.OnClick = [this] { Settings().TimeForMask = TTimeSource::NowTime; };

    LabelOther.Create(&form_, page, "Ostatní", 8, 148);
    sCheckAutoRun.Create(&form_, page, "Spouštět Kolibrio2 při startu Windows", 18, 166, 470, 18);
    sCheckRozpoznat.Create(&form_, page, "Automaticky rozpoznat připojení fotoaparátu nebo paměťové karty", 18, 186,
                           470, 18);
    sCheckHint.Create(&form_, page, "Zobrazovat bublinkovou nápovědu", 18, 206, 470, 18);
    sCheckUpdate.Create(&form_, page, "Automaticky hledej aktualizace programu", 18, 226, 470, 18);
    sCheckAutoRun.OnClick = [this] { Settings().AutoRun = sCheckAutoRun.Checked(); };
    sCheckRozpoznat.OnClick = [this] { Settings().AutoRecognize = sCheckRozpoznat.Checked(); };
    sCheckHint.OnClick = [this] { sCheckHintClick(); };
    sCheckUpdate.OnClick = [this] { Settings().AutoUpdate = sCheckUpdate.Checked(); };
    sCheckVerify.Create(&form_, page, "Ověřovat zkopírované soubory", 18, 246, 470, 18);
    // The card is read once: the copy is compared with what that read gave.
    sCheckVerify.SetHint("Každá kopie se po zápisu znovu přečte z cílového disku a porovná s daty přečtenými "
                         "z karty, takže za zkopírovanou se považuje jen kopie prokazatelně shodná (změna platí "
                         "od příštího kopírování).");
    sCheckVerify.OnClick = [this] { Settings().VerifyCopy = sCheckVerify.Checked(); };
    sCheckSkipImported.Create(&form_, page, "Nekopírovat soubory, které už byly importovány", 18, 266, 470, 18);
    sCheckSkipImported.SetHint("Soubory, které program už jednou zkopíroval (podle názvu, velikosti a času), "
                               "a soubory, jejichž stejná kopie už v cíli je, se znovu nekopírují a program se "
                               "na ně neptá.");
    sCheckSkipImported.OnClick = [this] { Settings().SkipImported = sCheckSkipImported.Checked(); };

    BtnRestoreDefault.Create(&form_, page, "Obnovit standardní nastavení", 8, 294, 200, 25);
    BtnRestoreDefault.SetHint(
        "Obnoví prvotní nastavení celé aplikace. Vaše provedené změny budou nenávratně odstraněny.");
    BtnRestoreDefault.OnClick = [this] { BtnRestoreDefaultClick(); };
    BtnForgetHistory.Create(&form_, page, "Zapomenout historii importů…", 216, 294, 200, 25);
    BtnForgetHistory.SetHint("Program zapomene, které soubory už importoval; příště je zkopíruje znovu, "
                             "pokud jejich stejná kopie v cíli už není.");
    BtnForgetHistory.OnClick = [this] { BtnForgetHistoryClick(); };
}

void TSettingsWindow::CreateNamesPage() {
    HWND page = sTabSheet1->Handle();
    struct Row {
        fw::Label& label;
        const char* caption;
        fw::Edit& edit;
    };
    const Row rows[] = {
        {LabelExtension, "Kopírovat soubory s příponami", sEditFileExtension},
        {LabelLongMonth, "Dlouhé názvy měsíců:", sEditNameMonth},
        {LabelShortMonth, "Krátké názvy měsíců:", sEditShortNameMonth},
        {LabelLongDay, "Dlouhé názvy dnů:", sEditNameDay},
        {LabelShortDay, "Krátké názvy dnů:", sEditShortNameDay},
    };
    int top = 8;
    for (const Row& row : rows) {
        row.label.Create(&form_, page, row.caption, 8, top);
        row.edit.Create(&form_, page, "", 8, top + 16, 480, 21);
        top += 48;
    }
    sEditFileExtension.OnChange = [this] { Settings().FileExtension = sEditFileExtension.Text(); };
    sEditFileExtension.OnExit = [this] { sEditFileExtensionExit(); };
    sEditNameMonth.OnChange = [this] { Settings().LongNameMonth = sEditNameMonth.Text(); };
    sEditShortNameMonth.OnChange = [this] { Settings().ShortNameMonth = sEditShortNameMonth.Text(); };
    sEditNameDay.OnChange = [this] { Settings().LongNameDay = sEditNameDay.Text(); };
    sEditShortNameDay.OnChange = [this] { Settings().ShortNameDay = sEditShortNameDay.Text(); };
    sEditNameMonth.OnExit = [this] { sEditNameMonthExit(sEditNameMonth); };
    sEditShortNameMonth.OnExit = [this] { sEditNameMonthExit(sEditShortNameMonth); };
    sEditNameDay.OnExit = [this] { sEditNameDayExit(sEditNameDay); };
    sEditShortNameDay.OnExit = [this] { sEditNameDayExit(sEditShortNameDay); };
}

void TSettingsWindow::CreateAboutPage() {
    HWND page = sTabSheet2->Handle();
    Image1.Create(&form_, page, 12, 10, 90, 90);
    int w = 0, h = 0;
    if (HBITMAP logo = fw::LoadPngResource(IDR_PNG_LOGO, w, h)) Image1.SetBitmap(logo, w, h);

    titleFont_ = MakeFont(fw::DefaultFont(), 14, true, false);
    boldFont_ = MakeFont(fw::DefaultFont(), 0, true, false);
    LabelTitle.Create(&form_, page, "Program Kolibrio 2.1", 116, 24);
    LabelTitle.SetFont(titleFont_);
    LabelTitle.SizeToText();
    LabelFreeware.Create(&form_, page, "Freeware", 116, 56);
    LabelFreeware.SetFont(boldFont_);
    LabelFreeware.SizeToText();

    const int pageWidth = sPageControl1.Width() - 8;
    LabelDescription.Create(&form_, page, kDescription, 4, 108, pageWidth - 8, 122, false, SS_CENTER);

    PanelContacts.Create(&form_, page, 12, 240, 250, 62, true);
    LabelContacts.Create(&form_, PanelContacts.Handle(), "Kontakty:", 8, 6);
    sWebLabelMail.Create(&form_, PanelContacts.Handle(), ContactMail(), 20, 24);
    sWebLabelWeb.Create(&form_, PanelContacts.Handle(), VendorAddress("/kolibrio/"), 20, 40);
    sWebLabel3.Create(&form_, page, "Stáhnout další skiny", 300, 244);
    sWebLabel4.Create(&form_, page, "Najít aktualizaci", 300, 264);
    sWebLabel5.Create(&form_, page, "Licence...", 300, 284);
    for (fw::Label* link : {&sWebLabelMail, &sWebLabelWeb, &sWebLabel3, &sWebLabel4, &sWebLabel5}) MakeLink(*link);
}

void TSettingsWindow::MakeLink(fw::Label& link) {
    SetWindowSubclass(link.Handle(), KeyAndMouseSubclass, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

std::string TSettingsWindow::LinkAddress(const fw::Label& link) const {
    if (&link == &sWebLabel6 || &link == &sWebLabel3) return VendorAddress("/kolibrio/skins.php");
    if (&link == &sWebLabel4) return VendorAddress("/kolibrio/update.php?ver=2.1");
    if (&link == &sWebLabelWeb) return VendorAddress("/kolibrio/");
    if (&link == &sWebLabelMail) return "mailto:" + ContactMail();
    return {};
}

void TSettingsWindow::OpenLink(const fw::Label& link) {
    if (&link == &sWebLabel5) {
        sWebLabel5Click();
        return;
    }
    const std::string address = LinkAddress(link);
    if (address.empty()) return;
    if (gLinkOpener) {
        gLinkOpener(address);
        return;
    }
    ShellExecuteW(form_.Handle(), L"open", fw::Wide(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void TSettingsWindow::sWebLabel5Click() {
    if (Form3) Form3->Show();
}

LRESULT CALLBACK TSettingsWindow::KeyAndMouseSubclass(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                                      DWORD_PTR ref) {
    auto* self = reinterpret_cast<TSettingsWindow*>(ref);
    fw::Label* links[] = {&self->sWebLabel6,  &self->sWebLabelMail, &self->sWebLabelWeb,
                          &self->sWebLabel3, &self->sWebLabel4,    &self->sWebLabel5};
    for (fw::Label* link : links) {
        if (link->Handle() != hwnd) continue;
        if (msg == WM_LBUTTONDOWN) {
            fw::Guarded([&] { self->OpenLink(*link); });
            return 0;
        }
        if (msg == WM_SETCURSOR) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
    }
    if (hwnd == self->EditMask.Handle() && msg == WM_KEYUP && wp == VK_DOWN) {
        fw::Guarded([&] { self->PopupPlaceholderMenu(); });
        return 0;
    }
    if (hwnd == self->sListBox1.Handle()) {
        if (msg == WM_KEYUP && wp == VK_DELETE) {
            fw::Guarded([&] { self->ButtonDeleteClick(); });
            return 0;
        }
        if (msg == WM_MOUSEMOVE) {
            POINT p = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
            fw::Guarded([&] { self->ShowCatalogueHint(self->sListBox1.ItemAtPoint(p)); });
        }
    }
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(hwnd, KeyAndMouseSubclass, kSubclassId);
    return DefSubclassProc(hwnd, msg, wp, lp);
}

bool TSettingsWindow::PreTranslateKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_RETURN) return false;
    if (msg.hwnd == EditMask.Handle() || msg.hwnd == EditPath.Handle()) {
        ButtonDownClick();
        return true;
    }
    if (msg.hwnd == sListBox1.Handle()) {
        ButtonUpClick();
        return true;
    }
    return false;
}

void TSettingsWindow::SetAlwaysHint(HWND control, UINT_PTR id, const std::string& text, const RECT* rect) {
    std::wstring wide = fw::Wide(text);
    TTTOOLINFOW ti = {};
    ti.cbSize = sizeof ti;
    ti.hwnd = rect ? control : form_.Handle();
    ti.uId = rect ? id : reinterpret_cast<UINT_PTR>(control);
    ti.uFlags = TTF_SUBCLASS | (rect ? 0 : TTF_IDISHWND);
    SendMessageW(alwaysTips_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    if (rect) ti.rect = *rect;
    if (wide.empty() && !rect) wide = L" ";  // keeps the tool; a blank tip is never shown
    if (wide.empty()) return;
    ti.lpszText = wide.data();
    SendMessageW(alwaysTips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

TMaskInputs TSettingsWindow::Inputs() const {
    return TMaskInputs{Settings().DateNameTables,
                       [](const std::string& fileName, std::string& errorText) {
                           return CaptureDate(fileName, errorText);
                       },
                       [] { return LocalNow(); }};
}

// --- Mask editor -------------------------------------------------------------

void TSettingsWindow::Timer1Timer() {
    PreviewIndex = NextPreviewIndex(PreviewIndex);
    maskState_->PreviewTotal = kPreviewTotal;
    EditMaskChange();
}

std::pair<std::string, bool> TSettingsWindow::PreviewTargetPath(int32_t index) {
    maskState_->RunningIndex = index;
    std::string dropped;
    const std::string relative = ExpandMask(SampleFileName, EditMask.Text(), dropped, true, *maskState_, Inputs());
    std::string path = EditPath.Text() + relative;
    const bool valid = IsValidTargetPath(path) && NamesAFile(path);
    return {std::move(path), valid};
}

void TSettingsWindow::EditMaskChange() {
    const auto [path, valid] = PreviewTargetPath(PreviewIndex);
    // Without a loaded skin the system's colour stands in for the skin's.
    COLORREF color = fw::Skins().Loaded() ? fw::Skins().StandardTextColor() : CLR_INVALID;
    if (!valid) color = RGB(255, 0, 0);
    if (LabelPreview.TextColor() != color) LabelPreview.SetTextColor(color);
    const std::string caption =
        MinimizeName(path, [this](const std::string& t) { return LabelPreview.TextWidth(t); }, LabelPreview.Width());
    if (LabelPreview.Text() != caption) LabelPreview.SetCaption(caption);
    if (previewHint_ != path) {
        previewHint_ = path;
        SetAlwaysHint(LabelPreview.Handle(), kPreviewTip, path, nullptr);
    }
}

void TSettingsWindow::BuildPlaceholderMenu() {
    PopupMenu2 = CreatePopupMenu();
    HMENU current = PopupMenu2;
    const auto& items = PlaceholderMenu();
    for (size_t i = 0; i < items.size(); ++i) {
        const TPlaceholderItem& item = items[i];
        const std::wstring caption = fw::Wide(item.caption);
        switch (item.kind) {
        case TPlaceholderItem::SubMenu:
            current = CreatePopupMenu();
            AppendMenuW(PopupMenu2, MF_POPUP, reinterpret_cast<UINT_PTR>(current), caption.c_str());
            break;
        case TPlaceholderItem::Separator:
            AppendMenuW(current, MF_SEPARATOR, 0, nullptr);
            break;
        case TPlaceholderItem::Item:
            AppendMenuW(current, MF_STRING, i + 1, caption.c_str());
            break;
        }
    }
}

void TSettingsWindow::PopupMenu2Click(UINT command) {
    const auto& items = PlaceholderMenu();
    if (command < 1 || command > items.size() || items[command - 1].kind != TPlaceholderItem::Item) return;
    MenuMaskClick(items[command - 1].inserts);
}

void TSettingsWindow::PopupPlaceholderMenu() {
    RECT r;
    GetWindowRect(sSpeedButton2.Handle(), &r);
    const UINT command = TrackPopupMenu(PopupMenu2, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_NONOTIFY,
                                        r.left, r.bottom, 0, form_.Handle(), nullptr);
    if (command) PopupMenu2Click(command);
}

void TSettingsWindow::MenuMaskClick(const std::string& inserts) {
    const std::wstring text = fw::Wide(EditMask.Text());
    const std::u16string text16(text.begin(), text.end());
    const std::wstring insertWide = fw::Wide(inserts);
    size_t caret = 0;
    const std::u16string result = InsertAtCaret(text16, static_cast<size_t>(std::max(0, EditMask.SelStart())),
                                                std::u16string(insertWide.begin(), insertWide.end()), caret);
    EditMask.SetText(fw::Utf8(std::wstring(result.begin(), result.end())));
    EditMask.SetSel(static_cast<int>(caret), 0);
}

void TSettingsWindow::sPageControl2Change() {
    const int lines = sListBox1.Count();
    std::vector<bool> selected(static_cast<size_t>(lines));
    for (int i = 0; i < lines; ++i) selected[static_cast<size_t>(i)] = sListBox1.Selected(i);
    const int caret = sListBox1.CaretIndex();
    const int top = sListBox1.TopIndex();

    SendMessageW(sListBox1.Handle(), WM_SETREDRAW, FALSE, 0);
    sListBox1.Clear();
    const bool previews = sPageControl2.ActivePage() == 1;
    const TMaskInputs inputs = Inputs();
    for (const std::string& entry : Settings().CatalogueList) {
        std::string dropped;
        sListBox1.Add(previews ? ExpandMask(SampleFileName, entry, dropped, true, *maskState_, inputs) : entry);
    }
    const int count = sListBox1.Count();
    for (int i = 0; i < std::min(lines, count); ++i)
        if (selected[static_cast<size_t>(i)]) sListBox1.SetSelected(i, true);
    if (caret >= 0 && caret < count) sListBox1.SetCaretIndex(caret);
    if (top < count) sListBox1.SetTopIndex(top);
    SendMessageW(sListBox1.Handle(), WM_SETREDRAW, TRUE, 0);
    InvalidateRect(sListBox1.Handle(), nullptr, TRUE);
    // The lines moved: the hint is found anew on the next mouse move.
    ShowCatalogueHint(-1);
}

void TSettingsWindow::ShowCatalogueHint(int line) {
    if (line == hintLine_) return;
    hintLine_ = line;
    catalogueHint_.clear();
    RECT r = {};
    if (line >= 0 && line < sListBox1.Count()) {
        std::string dropped;
        catalogueHint_ = ExpandMask(SampleFileName, sListBox1.Item(line), dropped, true, *maskState_, Inputs());
        SendMessageW(sListBox1.Handle(), LB_GETITEMRECT, static_cast<WPARAM>(line), reinterpret_cast<LPARAM>(&r));
    }
    // No line under the pointer: no hint at all.
    SetAlwaysHint(sListBox1.Handle(), kCatalogueTip, catalogueHint_, &r);
}

void TSettingsWindow::ButtonDownClick() {
    auto& list = Settings().CatalogueList;
    list.push_back(EditMask.Text());
    const int i = static_cast<int>(list.size()) - 1;
    sPageControl2Change();
    sListBox1.SetCaretIndex(i);
    sListBox1.SetSelected(i, true);
    FitListBoxExtent(sListBox1, 1);
}

void TSettingsWindow::ButtonUpClick() {
    const auto& list = Settings().CatalogueList;
    const int i = sListBox1.CaretIndex();
    // No current line: nothing to use, and nothing changes.
    if (i < 0 || i >= static_cast<int>(list.size())) return;
    EditMask.SetText(list[static_cast<size_t>(i)]);
}

void TSettingsWindow::ButtonDeleteClick() {
    auto& list = Settings().CatalogueList;
    // An empty catalogue has nothing to delete; no question then.
    if (list.empty()) return;
    if (MyMessageDlg("Opravdu chcete smazat vybrané položky?", "Kolibrio2 - Otázka", mkConfirmation,
                     MsgBtn::Yes | MsgBtn::No, MsgBtn::No) != fw::mrYes)
        return;
    const int lines = sListBox1.Count();
    std::vector<bool> selected(list.size(), false);
    for (int i = 0; i < lines && i < static_cast<int>(selected.size()); ++i)
        selected[static_cast<size_t>(i)] = sListBox1.Selected(i);
    const std::vector<bool> lineSelected = selected;
    DeleteSelectedEntries(list, selected);
    for (int i = lines - 1; i >= 0; --i)
        if (i < static_cast<int>(lineSelected.size()) && lineSelected[static_cast<size_t>(i)]) sListBox1.Delete(i);
    sPageControl2Change();
    FitListBoxExtent(sListBox1, 1);
}

void TSettingsWindow::FitListBoxExtent(fw::ListBox& list, int minimum) {
    int widest = 0;
    if (minimum != 0) {
        HDC dc = GetDC(list.Handle());
        HGDIOBJ old = SelectObject(dc, list.Font());
        for (int i = 0; i < list.Count(); ++i) {
            const std::wstring text = fw::Wide(list.Item(i));
            SIZE size = {};
            GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
            widest = std::max(widest, static_cast<int>(size.cx));
        }
        SelectObject(dc, old);
        ReleaseDC(list.Handle(), dc);
    }
    list.SetHorizontalExtent(ListExtent(widest, minimum, GetSystemMetrics(SM_CXFRAME)));
    fw::Skins().Repaint();
}

void TSettingsWindow::ButtonBrowseClick() {
    std::string chosen;
    if (!BrowseForFolder(form_.Handle(), EditPath.Text(), chosen)) return;
    EditPath.SetText(NormaliseChosenFolder(chosen));
}

// --- Buttons and checks -------------------------------------------------------

void TSettingsWindow::SetModalResult(int result) {
    if (form_.Modal()) form_.SetModalResult(result);
}

void TSettingsWindow::ButtonOKClick() {
    if (!PreviewTargetPath(PreviewIndex).second &&
        MyMessageDlg("Cesta pro ukládání nebo maska, nemají správný formát.", "Kolibrio2 - Chyba", mkError,
                     MsgBtn::OK | MsgBtn::Cancel, MsgBtn::Cancel) != fw::mrOK)
        return;  // the user goes back to the mask; the window stays open, modal or not
    SaveSettings();
    SetModalResult(fw::mrOK);
    form_.Hide();
}

void TSettingsWindow::ButtonStornoClick() {
    SetModalResult(fw::mrCancel);
    form_.Hide();
    LoadSettings();
}

void TSettingsWindow::BtnRestoreDefaultClick() {
    if (MyMessageDlg("Chystáte se obnovit výchozí nastavení. Vaše změny budou smazány!\r\nOpravdu chcete obnovit "
                     "standardní nastavení?",
                     "Kolibrio2 - Varování", mkWarning, MsgBtn::Yes | MsgBtn::No, MsgBtn::No) != fw::mrYes)
        return;
    RestoreDefaults();
    LoadSettings();
    SetModalResult(fw::mrOK);
}

void TSettingsWindow::BtnForgetHistoryClick() {
    if (MyMessageDlg("Opravdu chcete zapomenout historii importů?\r\nSoubory, které už byly importovány, se při "
                     "příštím kopírování zkopírují znovu, pokud jejich stejná kopie v cíli už není.",
                     "Kolibrio2 - Otázka", mkConfirmation, MsgBtn::Yes | MsgBtn::No, MsgBtn::No) != fw::mrYes)
        return;
    const std::string told = ForgetImportHistory(ImportJob().Running, ImportJob().History);
    if (!told.empty()) MyMessageDlg(told, "Kolibrio2 - Oznámení", mkWarning, MsgBtn::OK, MsgBtn::OK);
}

void TSettingsWindow::EditPathExit() {
    const std::string text = EditPath.Text();
    if (text.empty() || text.back() != '\\') EditPath.SetText(text + "\\");
}

void TSettingsWindow::sEditFileExtensionExit() {
    Settings().ExtensionList = TextToList(sEditFileExtension.Text(), ';');
}

void TSettingsWindow::sEditNameMonthExit(fw::Edit& field) {
    const bool isLong = &field == &sEditNameMonth;
    if (!ApplyMonthNames(field.Text(), isLong ? TNameLength::Long : TNameLength::Short))
        NameListTooShort(isLong ? TNameList::LongMonth : TNameList::ShortMonth);
    else
        EditMaskChange();  // the preview shows the new names at once
}

void TSettingsWindow::sEditNameDayExit(fw::Edit& field) {
    const bool isLong = &field == &sEditNameDay;
    if (!ApplyDayNames(field.Text(), isLong ? TNameLength::Long : TNameLength::Short))
        NameListTooShort(isLong ? TNameList::LongDay : TNameList::ShortDay);
    else
        EditMaskChange();
}

void TSettingsWindow::NameListTooShort(TNameList list) {
    if (!form_.Visible()) return;
    const char* which = list == TNameList::LongMonth    ? "V dlouhých názvech měsíců nebylo nalezeno 12 položek..."
                        : list == TNameList::ShortMonth ? "V krátkých názvech měsíců nebylo nalezeno 12 položek..."
                        : list == TNameList::LongDay    ? "V dlouhých názvech dnů nebylo nalezeno 7 položek..."
                                                        : "V krátkých názvech dnů nebylo nalezeno 7 položek...";
    MyMessageDlg(std::string(which) + "\r\nProsím zkontrolujte správnost zápisu. Položky oddělujte středníkem ;",
                 "Kolibrio2 - Chyba", mkWarning, MsgBtn::OK, MsgBtn::OK);
}

void TSettingsWindow::sCheckHintClick() {
    const bool on = sCheckHint.Checked();
    Settings().Hint = on;
    form_.SetShowHints(on);
    if (OKBottomDlg1) OKBottomDlg1->SetShowHints(on);
    if (DlgFilecopy) DlgFilecopy->SetShowHints(on);
}

void TSettingsWindow::FormShow() {
    sPageControl1.SetActivePage(0);
    sCheckHintClick();
}

// --- Skins ------------------------------------------------------------------------

void TSettingsWindow::ChooseSkin(const std::string& storedName) {
    fw::SkinManager& skins = fw::Skins();
    const std::vector<std::string> names = SkinFolder().GetSkinNames();
    sComboBoxSkin.Clear();
    sComboBoxSkin.Add(kSkinNone);
    for (const std::string& name : names) sComboBoxSkin.Add(name);
    sComboBoxSkin.SetItemIndex(0);
    const auto found = std::find(names.begin(), names.end(), storedName);
    if (!storedName.empty() && found != names.end()) {
        SkinFolder().SetSkinName(storedName);
        sComboBoxSkin.SetItemIndex(static_cast<int>(found - names.begin()) + 1);
        skins.SetActive(true);
    } else {
        SkinFolder().SetSkinName("");
        skins.SetActive(true);
        skins.SetActive(false);
    }
    Settings().SkinName = ActiveSkinName();
}

std::string TSettingsWindow::ActiveSkinName() {
    return fw::Skins().Active() ? fw::Skins().SkinName() : std::string();
}

void TSettingsWindow::sComboBoxSkinChange() {
    fw::SkinManager& skins = fw::Skins();
    const int index = sComboBoxSkin.ItemIndex();
    if (index > 0) {
        SkinFolder().SetSkinName(sComboBoxSkin.Item(index));
        skins.SetActive(true);
    } else {
        skins.SetActive(false);
        SkinFolder().SetSkinName("");
    }
    Settings().SkinName = ActiveSkinName();
}

void TSettingsWindow::sSkinManager1AfterChange() {
    const fw::SkinManager& skins = fw::Skins();
    const bool skinned = skins.Loaded() && skins.Active();
    // The skin's font goes to the headings, "Kontakty:" among them.
    HFONT heading = fw::DefaultFont();
    if (skinned) {
        LOGFONTW lf = {};
        GetObjectW(fw::DefaultFont(), sizeof lf, &lf);
        const std::wstring face = fw::Wide(skins.Look().FontName);
        lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
        HDC dc = GetDC(nullptr);
        lf.lfHeight = -MulDiv(skins.Look().FontSize, GetDeviceCaps(dc, LOGPIXELSY), 72);
        ReleaseDC(nullptr, dc);
        HFONT made = CreateFontIndirectW(&lf);
        if (made) heading = made;
    }
    for (fw::Label* label : {&sLabelFX4, &sLabelFX5, &sLabelFX6, &LabelSkin, &LabelTime, &LabelOther, &LabelExtension,
                             &LabelLongMonth, &LabelShortMonth, &LabelLongDay, &LabelShortDay, &LabelContacts}) {
        label->SetFont(heading);
        label->SizeToText();
    }
    if (headingFont_) DeleteObject(headingFont_);
    headingFont_ = heading != fw::DefaultFont() ? heading : nullptr;

    if (linkFont_) DeleteObject(linkFont_);
    linkFont_ = MakeFont(LabelContacts.Font() ? LabelContacts.Font() : fw::DefaultFont(), 0, false, true);
    // Links take the skin's standard text colour; without a loaded skin they
    // keep the usual link blue rather than the layer's "no skin" colour.
    const COLORREF color = skinned ? skins.StandardTextColor() : RGB(0x00, 0x33, 0xCC);
    for (fw::Label* link : {&sWebLabel6, &sWebLabelMail, &sWebLabelWeb, &sWebLabel3, &sWebLabel4, &sWebLabel5}) {
        link->SetFont(linkFont_);
        link->SetTextColor(color);
        link->SizeToText();
    }
    EditMaskChange();
}

// --- The store's view ------------------------------------------------------------

void TSettingsWindow::CatalogueLoaded() {
    sPageControl2Change();
    FitListBoxExtent(sListBox1, 1);
}

void TSettingsWindow::SettingsLoaded() {
    const TSettings& s = Settings();
    // Copies: setting a control's text writes it back into the record.
    const TSettings shown = s;
    EditPath.SetText(shown.Path);
    EditMask.SetText(shown.CurrentMask);
    sEditFileExtension.SetText(shown.FileExtension);
    sEditNameMonth.SetText(shown.LongNameMonth);
    sEditShortNameMonth.SetText(shown.ShortNameMonth);
    sEditNameDay.SetText(shown.LongNameDay);
    sEditShortNameDay.SetText(shown.ShortNameDay);
    sRadioTimeExif.SetChecked(shown.TimeForMask == TTimeSource::EXIFTime);
    sRadioTimeFile.SetChecked(shown.TimeForMask == TTimeSource::FileTime);
    sRadioTimeNow.SetChecked(shown.TimeForMask == TTimeSource::NowTime);
    sCheckAutoRun.SetChecked(shown.AutoRun);
    sCheckRozpoznat.SetChecked(shown.AutoRecognize);
    sCheckUpdate.SetChecked(shown.AutoUpdate);
    sCheckHint.SetChecked(shown.Hint);
    sCheckVerify.SetChecked(shown.VerifyCopy);
    sCheckSkipImported.SetChecked(shown.SkipImported);
    sCheckHintClick();
    EditMaskChange();
}
