#pragma once
// A card in a card reader offered to a running Kolibrio2.exe: a folder with
// DCIM mapped to a free drive letter as a removable drive, its arrival sent
// to the program's main window (Wine's mount manager broadcasts nothing to
// the test's desktop) and the confirmation answered "Ano".
#include <windows.h>

#include <string>

namespace wintest {

class Card {
public:
    Card();
    ~Card();
    Card(const Card&) = delete;
    Card& operator=(const Card&) = delete;

    // False when the mount manager gave no drive letter.
    bool Ready() const { return letter_ != 0; }
    wchar_t Letter() const { return letter_; }
    // A photo in DCIM\100CAM, written at the given second of one morning
    // (the import orders by file time).
    bool Put(const std::wstring& name, const std::string& bytes, WORD second);
    std::string Read(const std::wstring& name) const;

private:
    std::wstring folder_;
    wchar_t letter_ = 0;
};

// A setting.ini for a program that copies a card's *.jpg files under their
// own names into target, in the order of their file times, with the online
// check off. Bytes as an earlier version wrote them (ANSI).
std::string CardImportSettings(const std::wstring& target, bool autoRecognize = true);

// The system's notification for a volume, sent to the program's main
// window; true when the program answered it within the time.
bool SendVolumeEvent(HWND main, UINT event, wchar_t letter, DWORD_PTR& result, UINT timeoutMs);

// Offers the card to the program as its arrival does and answers "Ano" in
// the confirmation window; true when the import is under way.
bool StartCardImport(DWORD pid, wchar_t letter);

// The program's question before it replaces an existing file, when shown.
HWND OverwriteQuestion(DWORD pid);

}  // namespace wintest
