#pragma once
// What the settings store asks of the settings window while it loads and
// saves. Until a window registers itself (SetSettingsView), the store keeps
// the values in TSettings alone and the name-list checks report nothing.
// Portable.
#include <string>

enum class TNameList { LongMonth, ShortMonth, LongDay, ShortDay };

class ISettingsView {
public:
    virtual ~ISettingsView() = default;
    // CatalogueList was just refilled: refill the catalogue view, fit its
    // scroll extent and refresh masks or previews.
    virtual void CatalogueLoaded() = 0;
    // A name list had too few items; the window tells the user only while
    // it is visible.
    virtual void NameListTooShort(TNameList list) = 0;
    // The stored skin name (the default when the key is missing): fill the
    // skin list, activate the skin or none, and leave the skin in use in
    // Settings().SkinName.
    virtual void ChooseSkin(const std::string& storedName) = 0;
    // The skin in use when saving; empty when none is active.
    virtual std::string ActiveSkinName() = 0;
    // The load is over: show every value of Settings().
    virtual void SettingsLoaded() = 0;
};
