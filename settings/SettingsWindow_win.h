#pragma once
// The settings window's content: the four pages of the main window with
// their controls and handlers, the mask editor with its catalogue and live
// preview, and the view the settings store fills while it loads. The main
// window owns one and forwards its timer, Esc and show events.
#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>

#include "framework/Form.h"
#include "mask/MaskExpand.h"
#include "settings/SettingsView.h"

class TSettingsWindow : public ISettingsView {
public:
    // Creates the pages on the form's window and registers as the store's
    // view; the form must outlive this object.
    explicit TSettingsWindow(fw::Form& form);
    ~TSettingsWindow() override;
    TSettingsWindow(const TSettingsWindow&) = delete;
    TSettingsWindow& operator=(const TSettingsWindow&) = delete;

    // The preview expands through the import's naming state, as the run
    // does between runs; another state can be set instead.
    void UseMaskState(TMaskState& state) { maskState_ = &state; }
    TMaskState& MaskState() { return *maskState_; }

    // Pages.
    fw::PageControl sPageControl1;
    fw::Panel* sTabSheetMaska = nullptr;
    fw::Panel* sTabSheetSetting = nullptr;
    fw::Panel* sTabSheet1 = nullptr;
    fw::Panel* sTabSheet2 = nullptr;

    // "maska souborů ": the mask editor.
    fw::Label sLabelFX4, sLabelFX5, sLabelFX6;
    fw::Edit EditPath, EditMask;
    fw::Button ButtonBrowse, sSpeedButton2, ButtonDown, ButtonUp, ButtonDelete;
    fw::Label LabelPreview;
    fw::ListBox sListBox1;
    fw::PageControl sPageControl2;
    HMENU PopupMenu2 = nullptr;
    int32_t PreviewIndex = 0;

    // "nastavení I".
    fw::Label LabelSkin, LabelTime, LabelOther;
    fw::ComboBox sComboBoxSkin;
    fw::Label sWebLabel6;
    fw::RadioButton sRadioTimeExif, sRadioTimeFile, sRadioTimeNow;
    fw::CheckBox sCheckAutoRun, sCheckRozpoznat, sCheckHint, sCheckUpdate;
    fw::CheckBox sCheckVerify;
    fw::CheckBox sCheckSkipImported;
    fw::Button BtnForgetHistory;
    fw::Button BtnRestoreDefault;

    // "nastavení II".
    fw::Label LabelExtension, LabelLongMonth, LabelShortMonth, LabelLongDay, LabelShortDay;
    fw::Edit sEditFileExtension, sEditNameMonth, sEditShortNameMonth, sEditNameDay, sEditShortNameDay;

    // "O programu".
    fw::Image Image1;
    fw::Label LabelTitle, LabelFreeware, LabelDescription;
    fw::Panel PanelContacts;
    fw::Label LabelContacts, sWebLabelMail, sWebLabelWeb;
    fw::Label sWebLabel3, sWebLabel4, sWebLabel5;

    fw::Button ButtonOK, ButtonStorno;

    // Handlers. The three buttons with a modal result set it themselves
    // when the form is shown modally.
    void FormShow();
    void Timer1Timer();
    void EditMaskChange();
    std::pair<std::string, bool> PreviewTargetPath(int32_t index);
    void MenuMaskClick(const std::string& inserts);
    // Runs the placeholder menu's item with this command identifier.
    void PopupMenu2Click(UINT command);
    void PopupPlaceholderMenu();
    void ButtonDownClick();
    void ButtonUpClick();
    void ButtonDeleteClick();
    void sPageControl2Change();
    void ButtonBrowseClick();
    void ButtonOKClick();
    void ButtonStornoClick();
    void BtnRestoreDefaultClick();
    void BtnForgetHistoryClick();
    void EditPathExit();
    void sEditFileExtensionExit();
    void sEditNameMonthExit(fw::Edit& field);
    void sEditNameDayExit(fw::Edit& field);
    void sCheckHintClick();
    void sComboBoxSkinChange();
    void sSkinManager1AfterChange();
    void sWebLabel5Click();
    void FitListBoxExtent(fw::ListBox& list, int minimum);
    // Enter in the mask, path and catalogue fields; true when taken.
    bool PreTranslateKey(const MSG& msg);

    // The address a link opens, by its label.
    std::string LinkAddress(const fw::Label& link) const;
    // The tool tip window of the preview and the catalogue, which shows
    // whatever the Hint setting says.
    HWND AlwaysHints() const { return alwaysTips_; }
    // The text of the catalogue's per-line hint now; empty when none.
    std::string CatalogueHint() const { return catalogueHint_; }

    // Test seam: links are handed here instead of to the shell.
    using TLinkOpener = void (*)(const std::string& address);
    static void SetLinkOpener(TLinkOpener opener);
    // Test seam: the folder dialog's answer (false: cancelled) given
    // without showing it; the starting folder is passed in.
    using TFolderChooser = bool (*)(const std::string& start, std::string& chosen);
    static void SetFolderChooser(TFolderChooser chooser);

    // ISettingsView.
    void CatalogueLoaded() override;
    void NameListTooShort(TNameList list) override;
    void ChooseSkin(const std::string& storedName) override;
    std::string ActiveSkinName() override;
    void SettingsLoaded() override;

private:
    void CreateMaskPage();
    void CreateSettingPage();
    void CreateNamesPage();
    void CreateAboutPage();
    void BuildPlaceholderMenu();
    void MakeLink(fw::Label& link);
    void OpenLink(const fw::Label& link);
    void ShowCatalogueHint(int line);
    void SetAlwaysHint(HWND control, UINT_PTR id, const std::string& text, const RECT* rect);
    void SetModalResult(int result);
    TMaskInputs Inputs() const;
    static LRESULT CALLBACK KeyAndMouseSubclass(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

    fw::Form& form_;
    TMaskState* maskState_;
    HWND alwaysTips_ = nullptr;
    int hintLine_ = -1;
    std::string catalogueHint_;
    std::string previewHint_;
    HFONT titleFont_ = nullptr, boldFont_ = nullptr, linkFont_ = nullptr, headingFont_ = nullptr;
    bool loading_ = false;
};
