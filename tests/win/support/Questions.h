#pragma once
// Questions of the program's message box taken by a test instead of a
// window (through SetMessageDlgHook), and a shell stand-in for tray icons.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "import/MyDlgLayout.h"

namespace wintest {

struct Question {
    std::string text, caption;
    int kind;
    TMsgButtons buttons, focus;
};

// Every question asked since the test cleared them, and the answer each gets.
extern std::vector<Question> gQuestions;
extern int gAnswer;
int RecordQuestion(const std::string& text, const std::string& caption, TMsgDlgKind kind, TMsgButtons buttons,
                   TMsgButtons focus);
// Accepts every tray icon request without a taskbar.
BOOL WINAPI IgnoreShell(DWORD message, PNOTIFYICONDATAA data);

}  // namespace wintest
