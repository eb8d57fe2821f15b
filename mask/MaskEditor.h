#pragma once
// The decisions of the mask editor page: the preview cycle, inserting a
// placeholder at the caret, the catalogue's selection rules, the placeholder
// menu and the folder chosen in the folder dialog. Portable; the window code
// calls these and only moves text in and out of controls.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The preview walks "%index%" through 1..kPreviewTotal and shows
// "%count%" as kPreviewTotal.
constexpr int32_t kPreviewTotal = 110;

// The preview index after one timer tick: one more, back to 1 after 110.
// Any index outside 0..110 (never expected) also restarts at 1.
int32_t NextPreviewIndex(int32_t index);

// Text of an edit control as the control counts it (UTF-16 units).
// Puts insert at the caret (clamped to the text), in front of any selected
// text, which stays; newCaret is the position right after the insertion.
std::u16string InsertAtCaret(const std::u16string& text, size_t caret, const std::u16string& insert,
                             size_t& newCaret);

// Deletes every entry whose line is selected, from the first line on, the
// way the catalogue's delete command walks the list; entries and selected
// must have the same length (a shorter selection counts the rest as not
// selected). Returns how many entries went.
size_t DeleteSelectedEntries(std::vector<std::string>& entries, std::vector<bool>& selected);

// The folder the folder dialog gave, made a target folder: a path with a
// backslash in it ends with one, a path with a slash in it ends with one.
std::string NormaliseChosenFolder(std::string folder);

// The horizontal scroll extent of a list whose widest line measures
// widest pixels: 0 when minimum is 0, else the larger of widest and minimum
// plus the sizing frame.
int ListExtent(int widest, int minimum, int frame);

// The placeholder menu: two sub-menus of items that insert a placeholder.
struct TPlaceholderItem {
    enum Kind { SubMenu, Item, Separator } kind;
    const char* name;     // component name, e.g. "dd1"
    const char* caption;  // exact caption, spacing included
    const char* inserts;  // the text an item inserts
};
// The menu in order; a SubMenu entry opens a sub-menu that holds the
// entries up to the next SubMenu entry.
const std::vector<TPlaceholderItem>& PlaceholderMenu();
