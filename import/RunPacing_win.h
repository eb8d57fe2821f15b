#pragma once
// How a run keeps its windows alive and its progress moving: the points
// where it services window events, the end of the program seen from inside
// a run, the overall bar, and questions whose time is not copying time.
#include <cstdint>
#include <string>

#include "import/ImportUi.h"

// Window events are serviced at least once per this many bytes of a file.
constexpr int64_t kServiceBytes = 256 * 1024;

// True once "Ukončit" has been confirmed; the run is then cancelled.
bool EndRequested();
// Services window events, where the Storno button and the end of the
// program reach the run.
void ServiceEvents(IImportUi& ui);
// The overall progress moves by bytes (negative: a file to be done again).
void AdvanceOverall(IImportUi& ui, int64_t bytes);
// A file that fails before its copy: the total counted it as listed, the
// bars count it handled.
void AdvanceOverallAsListed(IImportUi& ui, const std::string& source);
// Asks a question with the speed timer stopped; the time it stayed open is
// taken off the copying time and the timer runs again.
int AskTimed(IImportUi& ui, const std::string& text, const std::string& caption, TMsgDlgKind kind,
             TMsgButtons buttons, TMsgButtons focus);
