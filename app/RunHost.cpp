// What the handlers see of the window while a job runs.
#include <algorithm>

#include "MainFormLogic.h"

namespace packsmith {

void MainFormLogic::SetStatus(const std::string& text) { window_.SetCurrentMessage(text); }

int MainFormLogic::ProgressPosition() const { return progress_.Position; }

void MainFormLogic::SetProgressPosition(int position) { SetBar(Bar::Progress, position, progress_.Maximum); }

void MainFormLogic::SetProgressMax(int maximum) { SetBar(Bar::Progress, progress_.Position, maximum); }

void MainFormLogic::SetTotalPosition(int position) { SetBar(Bar::Total, position, total_.Maximum); }

void MainFormLogic::SetTotalMax(int maximum) { SetBar(Bar::Total, total_.Position, maximum); }

void MainFormLogic::ShowFileProgress(int percent)
{
    // Compared after clamping, so a percentage the bar cannot show does not pump events on
    // every call.
    if (std::clamp(percent, 0, progress_.Maximum) == progress_.Position)
        return;
    SetProgressPosition(percent);
    window_.ProcessMessages();
}

void MainFormLogic::ProcessMessages() { window_.ProcessMessages(); }

bool MainFormLogic::StopRequested() const { return stopRequested_; }

void MainFormLogic::ReportOutput(const std::string& path, std::uint64_t bytes, const std::string& detail)
{
    jobOutputs_.push_back({path, bytes, detail});
    extractedBytes_ += static_cast<std::int64_t>(bytes);
    window_.SetExtractedText("Extracted: " + std::to_string(extractedBytes_));
}

} // namespace packsmith
