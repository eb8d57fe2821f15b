#pragma once
// The skin layer: colours every window of the program after a skin file
// from the skin folder (the format is in settings/SkinFile.h). One per
// process, on the user-interface thread.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "settings/SkinFile.h"

namespace fw {

class SkinManager {
public:
    SkinManager(const SkinManager&) = delete;
    SkinManager& operator=(const SkinManager&) = delete;

    // The folder in which skins are looked for; ends with a backslash.
    void SetSkinDirectory(const std::string& folder);
    std::string SkinDirectory() const { return folder_; }
    // The names of the skins in that folder, sorted.
    std::vector<std::string> GetSkinNames() const;

    // Loads the named skin; empty (or a skin whose file cannot be read)
    // leaves none loaded. Reports the change.
    void SetSkinName(const std::string& name);
    // The name of the loaded skin; empty when none is loaded.
    std::string SkinName() const { return loaded_ ? name_ : std::string(); }
    bool Loaded() const { return loaded_; }

    // Skinning of all windows on or off; repaints and reports the change.
    void SetActive(bool active);
    bool Active() const { return active_; }

    // The skin's normal text colour; magenta (0xFF00FF) when no skin is
    // loaded, so a caller can tell.
    COLORREF StandardTextColor() const;
    const TSkin& Skin() const { return skin_; }

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

    std::string folder_;
    std::string name_;
    TSkin skin_;
    bool loaded_ = false;
    bool active_ = false;
    HBRUSH windowBrush_ = nullptr;
    HBRUSH editBrush_ = nullptr;
};

SkinManager& Skins();

}  // namespace fw
