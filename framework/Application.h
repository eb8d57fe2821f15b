#pragma once
// The application object: the hidden application window that owns the
// taskbar button, the message loop, modal bookkeeping and the general error
// report. One per process.
#include <windows.h>

#include <exception>
#include <functional>
#include <string>

namespace fw {

class Form;

class Application {
public:
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    void Initialize(HINSTANCE instance);
    HINSTANCE Instance() const { return instance_; }
    // The window that carries the program's taskbar button; every form is
    // owned by it, so no form gets a button of its own.
    HWND Handle() const { return handle_; }

    std::string Title() const { return title_; }
    void SetTitle(const std::string& title);
    void SetShowMainForm(bool show) { showMainForm_ = show; }
    bool ShowMainForm() const { return showMainForm_; }
    // Hides the taskbar button while no form is visible (the tray program).
    void SetHideTaskbarButton(bool hide);

    // Runs the message loop until Terminate.
    int Run();
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Services the messages waiting now and returns.
    void ProcessMessages();
    // Handles one message through the forms' keyboard handling; false on WM_QUIT.
    bool HandleMessage(MSG& msg);

    // Minimising runs OnMinimize first; when no window is left to come back
    // the program simply stays in the tray, otherwise the application
    // window is minimised with the windows it owns.
    void Minimize();
    void Restore();
    bool Minimized() const { return minimized_; }
    void BringToFront();
    std::function<void()> OnMinimize;
    std::function<void()> OnRestore;

    // The general error report: a message box captioned with the title and
    // the error icon; the program goes on.
    void ShowException(const std::exception& e);
    void ShowException(const std::string& text);

    // Forms tell the application when they are shown and hidden.
    void FormVisibilityChanged();
    // Whether tool tips are shown for a window of the program (by the Hint
    // setting); forms ask this when they are shown.
    std::string ExeFolder() const;

private:
    friend Application& App();
    Application() = default;
    static LRESULT CALLBACK WndProc(HWND, UINT, WPARAM, LPARAM);
    int VisibleForms() const;
    // The visible form the taskbar button stands for, or nullptr.
    HWND FrontForm() const;

    HINSTANCE instance_ = nullptr;
    HWND handle_ = nullptr;
    std::string title_;
    bool showMainForm_ = true;
    bool hideTaskbarButton_ = false;
    bool terminated_ = false;
    bool minimized_ = false;
};

Application& App();

// Runs fn and turns an escaping exception into the general error report.
template <typename F>
void Guarded(F&& fn) {
    try {
        fn();
    } catch (const std::exception& e) {
        App().ShowException(e);
    } catch (...) {
        App().ShowException(std::string("Unknown error"));
    }
}

}  // namespace fw
