#include "support/Questions.h"

namespace wintest {

std::vector<Question> gQuestions;
int gAnswer = 0;

int RecordQuestion(const std::string& text, const std::string& caption, TMsgDlgKind kind, TMsgButtons buttons,
                   TMsgButtons focus) {
    gQuestions.push_back({text, caption, kind, buttons, focus});
    return gAnswer;
}

BOOL WINAPI IgnoreShell(DWORD, PNOTIFYICONDATAA) {
    return TRUE;
}

}  // namespace wintest
