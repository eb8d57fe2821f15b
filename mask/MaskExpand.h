#pragma once
// File-name masks: expanding a mask for one source file into a path relative
// to the target folder, checking a full target path, and the text splitter
// the check uses. Portable.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "settings/Settings.h"

// The file every preview names; it need not exist.
extern const char* const SampleFileName;  // "P1070283.JPG"

// Counter of one target folder behind "%index_dir%". Dir is the folder part
// of an expanded mask, compared case-sensitively.
struct TIndexDir {
    std::string Dir;
    int32_t Count = 0;
};

// Expansion state shared by the import run and the live previews.
struct TMaskState {
    int32_t RunningIndex = 0;
    int32_t TotalCount = 0;
    std::vector<TIndexDir> IndexDirs;
    int32_t PreviewTotal = 0;
};

// What an expansion reads from the rest of the program.
struct TMaskInputs {
    const TDateNameTables& names;
    // The capture date of a real file; may add a message to ErrorText.
    std::function<TDateTime(const std::string& FileName, std::string& ErrorText)> captureDate;
    // The current local date and time, used in preview mode.
    std::function<TDateTime()> now;
};

// Once the list holds this many records, a preview expansion into a folder
// not yet listed counts it as 1 without storing it (see MaskExpand.cpp).
constexpr size_t kPreviewIndexDirLimit = 1000;

std::string ExpandMask(const std::string& FileName, const std::string& Mask, std::string& ErrorText,
                       bool Preview, TMaskState& state, const TMaskInputs& inputs);

bool IsValidTargetPath(const std::string& path);
// Whether a target path ends in a file name: an empty mask, or one that
// expands to a folder ("%yyyy%\\"), names none. The system drops trailing
// blanks and dots from a name, so a name of only those is none as well.
bool NamesAFile(const std::string& path);
std::vector<std::string> SplitText(const std::string& text, char separator);

// Pieces of a source path as the placeholders see them.
std::string NamePartOf(const std::string& path);    // after the last '\' or ':'
std::string ExtensionOf(const std::string& path);   // after the last '.', without it
std::string BareNameOf(const std::string& path);    // name part without its extension
std::string FolderPartOf(const std::string& text);  // up to and including the last '\' or ':'

// Decimal digits of the total count (at least 1), and a number written with
// at least that many digits, zero-filled on the left, never cut.
int NumberWidth(int32_t total);
std::string FormatMaskNumber(int32_t value, int32_t total);

// Replaces every ASCII-case-insensitive occurrence of pattern, left to
// right, without searching the inserted text again.
std::string ReplaceAllNoCase(const std::string& text, const std::string& pattern,
                             const std::string& value);
