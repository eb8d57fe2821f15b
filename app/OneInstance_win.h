#pragma once
// The single-instance guard. The first copy of the program becomes the
// receiver; a later copy hands its command-line parameters over to it and
// ends before its main window is up.
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TOneInstance {
public:
    using TInstanceStartedEvent =
        std::function<void(TOneInstance* Sender, const std::vector<std::string>& params)>;

    // Throws when another TOneInstance exists in the process.
    TOneInstance();
    virtual ~TOneInstance();
    TOneInstance(const TOneInstance&) = delete;
    TOneInstance& operator=(const TOneInstance&) = delete;

    std::string IdentString = "MyApplication";
    bool ShowOnNewInstance = true;
    bool UseHaltToExit = false;
    // Raised in the receiver; params are UTF-8 and valid during the call.
    TInstanceStartedEvent OnInstanceStarted;
    // Raised in the receiver when another program (the uninstaller, an
    // upgrade) asks it to end: WM_CLOSE to its hidden window, a message-only
    // window whose class is IdentString.
    std::function<void(TOneInstance* Sender)> OnCloseRequested;

    // The start-up check, run while the main window is created. Returns
    // false when this copy has handed over and asked the application to
    // terminate; with UseHaltToExit it does not return then.
    bool Loaded();
    bool IsReceiver() const;

protected:
    virtual void InstanceStarted(const std::vector<std::string>& params);

private:
    struct TState;
    bool HandOver(void* view);
    void ReceiverSetUp(void* view);
    bool Acquire();
    void ReceiveHandOver();

    std::unique_ptr<TState> state;
};
