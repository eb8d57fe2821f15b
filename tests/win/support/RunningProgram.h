#pragma once
// The real Kolibrio2.exe, copied into a folder of its own with a
// setting.ini, started as a process and driven from outside: its windows
// found by caption, a card announced as the system announces it.
#include <windows.h>

#include <string>

#include "support/ChildProcess.h"

namespace wintest {

class RunningProgram {
public:
    // Imports into a fresh target folder, or into target when one is given
    // (it is then the caller's), with the mask "%file_name%.%file_ext%",
    // file times as dates and "*.jpg"; extraOptions are appended to the
    // [Options] section of setting.ini. Runs from a fresh folder, or from
    // programFolder (the caller's), where an earlier program's history
    // stays. Waits until its windows exist.
    explicit RunningProgram(bool autoRecognize, const std::string& extraOptions = "",
                            const std::wstring& target = L"", const std::wstring& programFolder = L"");
    // Runs from a fresh folder into a fresh target with the setting.ini
    // that settings writes for that target.
    // (A function, not a std::function: a function's name would convert to
    // the bool of the other constructor first.)
    explicit RunningProgram(std::string (*settings)(const std::wstring& target));
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    HWND MainWindow() const;
    // A visible top-level window of the program with this caption.
    HWND Visible(const std::wstring& title) const;
    const std::wstring& Target() const { return target_; }
    ChildProcess& Process() { return process_; }
    // Ends the process at once, as a power cut or the task manager does.
    void Kill();

    // The system's notification for a volume; true when the program
    // answered it within the time (it answers only after an import).
    bool SendVolume(UINT event, wchar_t letter, DWORD_PTR& result, UINT timeoutMs) const;

private:
    void Start(const std::string& ini);

    std::wstring folder_, target_;
    bool ownTarget_ = true, ownFolder_ = true;
    ChildProcess process_;
};

}  // namespace wintest
