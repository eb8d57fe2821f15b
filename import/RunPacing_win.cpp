#include "import/RunPacing_win.h"

#include "framework/Application.h"
#include "import/ImportJob.h"

// Once "Ukončit" has been confirmed every question answers 2 at once and the
// main loop waits for the run to return: the run ends as a cancelled one.
bool EndRequested() {
    if (!fw::App().Terminated()) return false;
    ImportJob().Cancelled = true;
    return true;
}

void ServiceEvents(IImportUi& ui) {
    ui.ProcessMessages();
    EndRequested();
}

void AdvanceOverall(IImportUi& ui, int64_t bytes) {
    ImportJob().BarPosition += bytes;
    ui.OverallChanged();
}

void AdvanceOverallAsListed(IImportUi& ui, const std::string& source) {
    const auto listed = ImportJob().SourceSizes.find(source);
    if (listed != ImportJob().SourceSizes.end()) AdvanceOverall(ui, listed->second);
}

int AskTimed(IImportUi& ui, const std::string& text, const std::string& caption, TMsgDlgKind kind,
             TMsgButtons buttons, TMsgButtons focus) {
    ui.SetSpeedTimer(false);
    const uint32_t t0 = ui.TickCount();
    const int answer = ui.Message(text, caption, kind, buttons, focus);
    ImportJob().StartTick += ui.TickCount() - t0;
    ui.SetSpeedTimer(true);
    return answer;
}
