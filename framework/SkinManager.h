#pragma once
// The skin layer: colours every window of the program after the look its
// owner hands over (the settings read skins from their files). One per
// process, on the user-interface thread.
#include <windows.h>

#include <functional>
#include <string>

namespace fw {

// What a skin sets: the colours of windows, edits and links, and the font
// of headings.
struct SkinLook {
    COLORREF Window = RGB(0xF0, 0xF0, 0xF0);
    COLORREF Text = RGB(0, 0, 0);
    COLORREF Edit = RGB(0xFF, 0xFF, 0xFF);
    COLORREF EditText = RGB(0, 0, 0);
    COLORREF Link = RGB(0, 0, 0x80);
    std::string FontName = "Tahoma";
    int FontSize = 8;
};

class SkinManager {
public:
    SkinManager(const SkinManager&) = delete;
    SkinManager& operator=(const SkinManager&) = delete;

    // Takes the named skin's look; no look leaves none loaded. Reports the
    // change.
    void SetSkin(const std::string& name, const SkinLook* look);
    // The name of the loaded skin; empty when none is loaded.
    std::string SkinName() const { return loaded_ ? name_ : std::string(); }
    bool Loaded() const { return loaded_; }

    // Skinning of all windows on or off; repaints and reports the change.
    void SetActive(bool active);
    bool Active() const { return active_; }

    // The skin's normal text colour; magenta (0xFF00FF) when no skin is
    // loaded, so a caller can tell.
    COLORREF StandardTextColor() const;
    const SkinLook& Look() const { return look_; }

    // Redraws every window of the program when skinning is active.
    void Repaint() const;

    // After every change of skin or of its activity.
    std::function<void()> OnAfterChange;

private:
    friend SkinManager& Skins();
    SkinManager() = default;
    ~SkinManager();
    void Changed();
    void MakeBrushes();
    static LRESULT Paint(HWND window, UINT msg, WPARAM wp, LPARAM lp, bool& handled);

    std::string name_;
    SkinLook look_;
    bool loaded_ = false;
    bool active_ = false;
    HBRUSH windowBrush_ = nullptr;
    HBRUSH editBrush_ = nullptr;
};

SkinManager& Skins();

}  // namespace fw
