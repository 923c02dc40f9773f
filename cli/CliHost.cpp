#include "cli/CliHost.h"

#include <algorithm>

#include "platform/StopSignal.h"
#include "cli/TerminalText.h"

namespace packsmith {

namespace {

constexpr int kBarWidth = 24;

std::string BarText(int percent)
{
    const auto filled = static_cast<std::size_t>(std::clamp(percent, 0, 100) * kBarWidth / 100);
    std::string text(kBarWidth + 2, '.');
    text.front() = '[';
    text.back() = ']';
    std::fill_n(text.begin() + 1, filled, '#');
    return text;
}

} // namespace

CliHost::CliHost(std::ostream& out, std::ostream& err, Settings settings)
    : out_(out), err_(err), settings_(settings)
{
}

void CliHost::SetCurrentMessage(const std::string& text)
{
    if (text == status_)
        return;
    status_ = text;
    if (settings_.ProgressLine)
        DrawProgressLine();
    else if (!text.empty())
        Print(text);
}

void CliHost::ShowBar(Bar bar, int position, int maximum)
{
    const int percent = maximum > 0 ? static_cast<int>(static_cast<long long>(position) * 100 / maximum) : 0;
    (bar == Bar::Progress ? progress_ : total_) = percent;
    if (settings_.ProgressLine)
        DrawProgressLine();
}

const std::atomic<bool>& CliHost::StopFlag() const { return StopSignal::Flag(); }

void CliHost::Print(const std::string& line)
{
    if (settings_.Quiet)
        return;
    ClearProgressLine();
    out_ << TerminalText(line) << '\n' << std::flush;
    if (settings_.ProgressLine)
        DrawProgressLine();
}

void CliHost::PrintError(const std::string& message)
{
    ClearProgressLine();
    err_ << "packsmith-cli: " << TerminalText(message) << '\n' << std::flush;
}

// Redraws the progress line when what it shows has changed; with both bars at 0 and no
// status (before and after a run) there is no line at all.
void CliHost::DrawProgressLine()
{
    if (progress_ == 0 && total_ == 0 && status_.empty()) {
        ClearProgressLine();
        return;
    }
    std::string line = BarText(progress_) + ' ' + BarText(total_) + ' ' + status_;
    if (line == drawnLine_)
        return;
    err_ << "\r\033[K" << TerminalText(line) << std::flush;
    drawnLine_ = std::move(line);
}

void CliHost::ClearProgressLine()
{
    if (drawnLine_.empty())
        return;
    err_ << "\r\033[K" << std::flush;
    drawnLine_.clear();
}

} // namespace packsmith
