#pragma once
// What the import engine asks of its windows. The program answers with the
// confirmation window, the progress window and the message box; tests and
// the benchmark drive whole runs with scripted answers. Portable.
#include <cstdint>
#include <string>

#include "import/MyDlgLayout.h"

class IImportUi {
public:
    virtual ~IImportUi() = default;
    // Shows the confirmation window modally; returns its modal result
    // (2 declines the import).
    virtual int ConfirmImport() = 0;
    // The progress window in its preparation state, shown, animation on.
    virtual void ShowPreparing() = 0;
    virtual void HideProgress() = 0;
    // Animation off, the copying text, the overall bar over the job's BarMax.
    virtual void BeginCopying() = 0;
    // Full paths of the file being copied; the window shortens them.
    virtual void SetFileLabels(const std::string& from, const std::string& to) = 0;
    virtual void SetFileBar(int64_t position, int64_t max) = 0;
    // The copy of the current file is being read back and compared (on),
    // or that is over (off). Nothing to show by default.
    virtual void SetChecking(bool on) { (void)on; }
    // The job's BarPosition has moved.
    virtual void OverallChanged() = 0;
    // The progress window's speed timer, and one tick of it run directly.
    virtual void SetSpeedTimer(bool on) = 0;
    virtual void SpeedTick() = 0;
    virtual int Message(const std::string& text, const std::string& caption, TMsgDlgKind kind, TMsgButtons buttons,
                        TMsgButtons focus) = 0;
    virtual void ProcessMessages() = 0;
    virtual uint32_t TickCount() = 0;
    // The main window's mask preview timer, which shares the naming state.
    virtual void SetPreviewTimer(bool on) = 0;
    virtual void SetTitle(const std::string& title) = 0;
    // Shows a folder to the user (the result box's "Otevřít složku").
    virtual void OpenFolder(const std::string& folder) { (void)folder; }
};
