#pragma once
// A scripted stand-in for the import's windows: answers questions from a
// list, keeps a clock of its own and records what the windows would show.
#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "import/ImportRun_win.h"

namespace wintest {

struct ShownMessage {
    std::string text, caption;
    int kind;
    TMsgButtons buttons, focus;
};

class ScriptedImportUi : public IImportUi {
public:
    int confirmResult = 1;
    std::deque<int> answers;          // for questions; an empty list answers OK (1)
    uint32_t questionMs = 0;          // how long each question stays open on the clock
    uint32_t clock = 100000;
    std::function<void()> onProcessMessages;
    std::function<void(const ShownMessage&)> onMessage;

    int confirms = 0;
    std::vector<ShownMessage> messages;
    std::vector<int64_t> fileBarMoves;  // positions above 0 of the file bar
    int64_t overallAtEnd = -1;
    bool progressVisible = false;
    bool copying = false;
    int speedTicks = 0;
    bool speedTimer = false;
    bool previewTimer = true;
    std::string title;
    std::vector<uint32_t> startTickAtQuestion;

    int ConfirmImport() override {
        ++confirms;
        return confirmResult;
    }
    void ShowPreparing() override { progressVisible = true; }
    void HideProgress() override { progressVisible = false; }
    void BeginCopying() override { copying = true; }
    void SetFileLabels(const std::string&, const std::string&) override {}
    void SetFileBar(int64_t position, int64_t) override {
        if (position > 0) fileBarMoves.push_back(position);
    }
    void OverallChanged() override { overallAtEnd = ImportJob().BarPosition; }
    void SetSpeedTimer(bool on) override { speedTimer = on; }
    void SpeedTick() override { ++speedTicks; }
    int Message(const std::string& text, const std::string& caption, TMsgDlgKind kind, TMsgButtons buttons,
                TMsgButtons focus) override {
        messages.push_back({text, caption, kind, buttons, focus});
        startTickAtQuestion.push_back(ImportJob().StartTick);
        if (onMessage) onMessage(messages.back());
        clock += questionMs;
        if (answers.empty()) return 1;
        int a = answers.front();
        answers.pop_front();
        return a;
    }
    void ProcessMessages() override {
        clock += 1;
        if (onProcessMessages) onProcessMessages();
    }
    uint32_t TickCount() override { return clock; }
    void SetPreviewTimer(bool on) override { previewTimer = on; }
    void SetTitle(const std::string& t) override { title = t; }

    std::vector<std::string> Captions() const {
        std::vector<std::string> out;
        for (const ShownMessage& m : messages) out.push_back(m.caption);
        return out;
    }
};

}  // namespace wintest
