#include "framework/SkinManager.h"

#include <memory>

#include "framework/Form.h"
#include "framework/Strings.h"

namespace fw {

namespace {

std::string ReadWholeFile(const std::string& path, bool& ok) {
    ok = false;
    HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char buf[4096];
    DWORD got = 0;
    // A skin is a few lines; anything far larger is no skin of ours.
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got && bytes.size() < 65536) bytes.append(buf, got);
    CloseHandle(h);
    ok = true;
    return AnsiToUtf8(bytes);
}

BOOL CALLBACK RedrawThreadWindow(HWND hwnd, LPARAM) {
    RedrawWindow(hwnd, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
    return TRUE;
}

bool IsEditOrList(HWND hwnd) {
    wchar_t cls[32] = {};
    GetClassNameW(hwnd, cls, 32);
    return lstrcmpiW(cls, L"Edit") == 0 || lstrcmpiW(cls, L"ListBox") == 0;
}

}  // namespace

SkinManager& Skins() {
    static SkinManager manager;
    return manager;
}

SkinManager::~SkinManager() {
    if (windowBrush_) DeleteObject(windowBrush_);
    if (editBrush_) DeleteObject(editBrush_);
}

void SkinManager::SetSkinDirectory(const std::string& folder) {
    folder_ = folder;
    if (!folder_.empty() && folder_.back() != '\\') folder_ += '\\';
}

std::vector<std::string> SkinManager::GetSkinNames() const {
    std::vector<std::string> files;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(Wide(folder_ + "*.ini").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(Utf8(fd.cFileName));
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    return SkinNamesFromFiles(files);
}

void SkinManager::SetSkinName(const std::string& name) {
    bool ok = false;
    std::string text;
    // A name is a file of the folder, never a path elsewhere.
    if (!name.empty() && name.find_first_of("\\/:") == std::string::npos)
        text = ReadWholeFile(folder_ + name + ".ini", ok);
    name_ = ok ? name : std::string();
    loaded_ = ok;
    skin_ = ok ? ParseSkin(text) : TSkin();
    MakeBrushes();
    Changed();
}

void SkinManager::SetActive(bool active) {
    active_ = active;
    SetPaintHook(active_ ? &SkinManager::Paint : nullptr);
    EnumThreadWindows(GetCurrentThreadId(), RedrawThreadWindow, 0);
    Changed();
}

COLORREF SkinManager::StandardTextColor() const {
    return loaded_ ? skin_.Text : RGB(0xFF, 0x00, 0xFF);
}

void SkinManager::Repaint() const {
    if (active_) EnumThreadWindows(GetCurrentThreadId(), RedrawThreadWindow, 0);
}

void SkinManager::Changed() {
    if (active_) Repaint();
    if (OnAfterChange) OnAfterChange();
}

void SkinManager::MakeBrushes() {
    if (windowBrush_) DeleteObject(windowBrush_);
    if (editBrush_) DeleteObject(editBrush_);
    windowBrush_ = CreateSolidBrush(skin_.Window);
    editBrush_ = CreateSolidBrush(skin_.Edit);
}

LRESULT SkinManager::Paint(HWND window, UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
    const SkinManager& self = Skins();
    handled = false;
    if (!self.active_ || !self.loaded_) return 0;
    HDC dc = reinterpret_cast<HDC>(wp);
    switch (msg) {
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(window, &r);
        FillRect(dc, &r, self.windowBrush_);
        handled = true;
        return 1;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
        SetTextColor(dc, self.skin_.EditText);
        SetBkColor(dc, self.skin_.Edit);
        handled = true;
        return reinterpret_cast<LRESULT>(self.editBrush_);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        HWND child = reinterpret_cast<HWND>(lp);
        if (IsEditOrList(child)) {  // a read-only edit asks as a static
            SetTextColor(dc, self.skin_.EditText);
            SetBkColor(dc, self.skin_.Edit);
            handled = true;
            return reinterpret_cast<LRESULT>(self.editBrush_);
        }
        // A control's own colour (a warning, a link) wins over the skin's.
        const Control* c = Control::FromHandle(child);
        SetTextColor(dc, c && c->TextColor() != CLR_INVALID ? c->TextColor() : self.skin_.Text);
        SetBkColor(dc, self.skin_.Window);
        handled = true;
        return reinterpret_cast<LRESULT>(self.windowBrush_);
    }
    }
    return 0;
}

}  // namespace fw
