#pragma once
// The program's icon in the notification area. TTrayIkona is the component
// on the main window; TIconManager is the one hidden window per program
// that receives the shell's notifications for every tray component.
#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>

#include "framework/Form.h"

class TTrayIkona {
public:
    TTrayIkona();
    TTrayIkona(const TTrayIkona&) = delete;
    TTrayIkona& operator=(const TTrayIkona&) = delete;
    virtual ~TTrayIkona();

    HICON Icon() const { return icon_; }
    void SetIcon(HICON icon);  // copies the picture
    bool HideTask() const { return hideTask_; }
    void SetHideTask(bool hide);
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& hint);
    bool IconVisible() const { return iconVisible_; }
    void SetIconVisible(bool visible);
    fw::PopupMenu* PopupMenu() const { return popupMenu_; }
    // The identifier the shell knows the icon by (uID of the record).
    UINT Id() const { return id_; }
    void SetPopupMenu(fw::PopupMenu* menu);

    // Sender is the manager, as the shell's notification arrives there.
    std::function<void(void* Sender)> OnClick;
    std::function<void(void* Sender)> OnDblClick;

    // After the component's properties were set up: adds the icon when it
    // is to be visible.
    void Loaded();
    // The shell's taskbar came back (Explorer restarted): show the icon again.
    void Readd();

    // Seam for tests: the function that talks to the shell.
    using ShellNotifyFn = BOOL(WINAPI*)(DWORD message, PNOTIFYICONDATAA data);
    static void SetShellNotify(ShellNotifyFn fn);

protected:
    // Sets defaultIcon_, the picture shown while no icon is set; called when
    // the shell first needs a picture.
    virtual void LoadDefaultIcon();
    HICON defaultIcon_ = nullptr;
    void Notification(fw::PopupMenu* removed);

private:
    friend class TIconManager;
    void Notify(DWORD message, UINT flags);

    const UINT id_;
    HICON icon_ = nullptr;
    bool hideTask_ = false;
    std::string hint_;
    bool iconVisible_ = false;
    fw::PopupMenu* popupMenu_ = nullptr;
};

// The registered callback message of the tray icons.
UINT TrayNotifyMessage();
// The manager's hidden window (for tests and diagnostics).
HWND TrayManagerWindow();
