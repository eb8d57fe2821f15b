#include "app/OneInstance_win.h"

#include <windows.h>
#include <shellapi.h>

#include <stdexcept>

#include "app/InstanceBlock.h"
#include "framework/Application.h"
#include "framework/Form.h"
#include "framework/Strings.h"

namespace {

constexpr UINT kHandOverMessage = WM_USER + 300;
constexpr DWORD kWaitMs = 10000;
constexpr DWORD kSemaphoreAllAccess = 0x1F0003;

bool gComponentExists = false;

class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : h_(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { Reset(); }
    void Reset(HANDLE h = nullptr) {
        if (h_) CloseHandle(h_);
        h_ = h;
    }
    HANDLE Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    HANDLE h_ = nullptr;
};

class MappedView {
public:
    explicit MappedView(HANDLE mapping)
        : p_(mapping ? MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kInstanceBlockSize) : nullptr) {}
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;
    ~MappedView() { Reset(); }
    void Reset() {
        if (p_) UnmapViewOfFile(p_);
        p_ = nullptr;
    }
    void* Get() const { return p_; }

private:
    void* p_;
};

// Gives the token back when the receiver is done with a hand-over, also when
// the event handler throws: the copy waiting for it must never be left
// hanging on a receiver's failure.
class TokenRelease {
public:
    explicit TokenRelease(HANDLE semaphore) : semaphore_(semaphore) {}
    TokenRelease(const TokenRelease&) = delete;
    TokenRelease& operator=(const TokenRelease&) = delete;
    ~TokenRelease() {
        if (semaphore_) ReleaseSemaphore(semaphore_, 1, nullptr);
    }

private:
    HANDLE semaphore_;
};

// Cuts an ANSI string to at most max bytes without splitting a double-byte
// character.
std::string CutAnsi(const std::string& s, size_t max) {
    if (s.size() <= max) return s;
    size_t i = 0;
    while (i < max) {
        size_t step = IsDBCSLeadByte(static_cast<BYTE>(s[i])) ? 2 : 1;
        if (step > max - i) break;
        i += step;
    }
    return s.substr(0, i);
}

// The process's parameters after the program name, in the ANSI code page.
std::vector<std::string> AnsiCommandLineParams() {
    std::vector<std::string> params;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return params;
    for (int i = 1; i < argc; ++i) params.push_back(CutAnsi(fw::Utf8ToAnsi(fw::Utf8(argv[i])), kInstanceMaxParamLength));
    LocalFree(argv);
    return params;
}

}  // namespace

struct TOneInstance::TState {
    UniqueHandle fileMap;
    UniqueHandle semaphore;
    std::unique_ptr<fw::MessageWindow> window;
    bool checked = false;
    bool receiver = false;
};

TOneInstance::TOneInstance() {
    if (gComponentExists) throw std::runtime_error("Drop only one of these components on your form !");
    state = std::make_unique<TState>();
    gComponentExists = true;
}

TOneInstance::~TOneInstance() {
    state->fileMap.Reset();
    state->window.reset();
    state->semaphore.Reset();
    gComponentExists = false;
}

bool TOneInstance::IsReceiver() const { return state->receiver; }

bool TOneInstance::Loaded() {
    if (state->checked) return true;
    state->checked = true;
    const std::string mapName = fw::Utf8ToAnsi(IdentString + "_FileMap");
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kInstanceBlockSize,
                                        mapName.c_str());
    const DWORD createError = GetLastError();
    // Without the block the program runs unguarded; nothing is reported.
    if (!mapping) return true;
    state->fileMap.Reset(mapping);
    MappedView view(mapping);
    if (!view.Get()) return true;
    if (createError == ERROR_ALREADY_EXISTS) return HandOver(view.Get());
    ReceiverSetUp(view.Get());
    return true;
}

bool TOneInstance::HandOver(void* view) {
    if (!Acquire()) {
        ReceiverSetUp(view);
        return true;
    }
    WriteInstanceParams(view, kInstanceBlockSize, AnsiCommandLineParams());
    // Window handles are 32 bits wide in every process, and a 64-bit process
    // sign-extends the value a 32-bit one wrote (as LongToHandle does).
    HWND receiver = reinterpret_cast<HWND>(
        static_cast<intptr_t>(static_cast<int32_t>(ReadReceiverHandle(view, kInstanceBlockSize))));
    // A receiver that is gone cannot give the token back; waiting the full
    // time for it would only delay this copy's own start.
    if (!PostMessageA(receiver, kHandOverMessage, 0, 0) || !Acquire()) {
        ReceiverSetUp(view);
        return true;
    }
    ReleaseSemaphore(state->semaphore.Get(), 1, nullptr);
    state->semaphore.Reset();
    fw::App().SetShowMainForm(false);
    if (UseHaltToExit) {
        state->fileMap.Reset();
        ExitProcess(0);
    }
    fw::App().Terminate();
    return false;
}

void TOneInstance::ReceiverSetUp(void* view) {
    // Named by a class of its own, so that a program outside finds the
    // receiver without the block and its semaphore.
    const std::wstring className = fw::Wide(IdentString);
    auto handler = [this](HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
        switch (msg) {
        case kHandOverMessage:
            ReceiveHandOver();
            return 0;
        case WM_CLOSE:
            // Never destroyed by it: later copies hand over to this window.
            if (OnCloseRequested) OnCloseRequested(this);
            return 0;
        }
        return DefWindowProcW(hwnd, msg, wp, lp);
    };
    state->window = std::make_unique<fw::MessageWindow>(handler, true, className.c_str());
    // A copy whose hand-over failed still holds the token it took.
    if (state->semaphore) {
        ReleaseSemaphore(state->semaphore.Get(), 1, nullptr);
        state->semaphore.Reset();
    }
    // Created with no token, so nobody writes the block before the handle is in it.
    HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 1, fw::Utf8ToAnsi(IdentString).c_str());
    if (!semaphore) throw std::runtime_error("Unable to create semaphore");
    state->semaphore.Reset(semaphore);
    WriteReceiverHandle(view, kInstanceBlockSize,
                        static_cast<uint32_t>(reinterpret_cast<uintptr_t>(state->window->Handle())));  // HandleToULong
    state->receiver = true;
    ReleaseSemaphore(semaphore, 1, nullptr);
}

bool TOneInstance::Acquire() {
    const DWORD start = GetTickCount();
    if (!state->semaphore) {
        // A first copy publishes the block a moment before its semaphore:
        // a copy started at the same time waits for it instead of becoming
        // a second receiver. The time counts against the one bounded wait.
        const std::string name = fw::Utf8ToAnsi(IdentString);
        for (;;) {
            HANDLE semaphore = OpenSemaphoreA(kSemaphoreAllAccess, FALSE, name.c_str());
            const DWORD error = GetLastError();
            if (semaphore) {
                state->semaphore.Reset(semaphore);
                break;
            }
            if (error != ERROR_FILE_NOT_FOUND || GetTickCount() - start >= kWaitMs) return false;
            Sleep(10);
        }
    }
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= kWaitMs) return false;
    return WaitForSingleObject(state->semaphore.Get(), kWaitMs - elapsed) == WAIT_OBJECT_0;
}

void TOneInstance::ReceiveHandOver() {
    // Declared first, so the view is unmapped before the token goes back.
    TokenRelease release(state->semaphore.Get());
    if (!state->fileMap) return;
    MappedView view(state->fileMap.Get());
    if (!view.Get()) return;
    std::vector<std::string> params = ReadInstanceParams(view.Get(), kInstanceBlockSize);
    for (auto& p : params) p = fw::AnsiToUtf8(p);
    InstanceStarted(params);
}

void TOneInstance::InstanceStarted(const std::vector<std::string>& params) {
    if (ShowOnNewInstance) {
        fw::App().Restore();
        fw::App().BringToFront();
    }
    if (OnInstanceStarted) OnInstanceStarted(this, params);
}
