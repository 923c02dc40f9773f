#include "CliWindow.h"

#include "StopSignal.h"

namespace packsmith {

namespace {

constexpr int kBarWidth = 24;

std::string BarText(int percent)
{
    const int filled = percent * kBarWidth / 100;
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "]";
}

} // namespace

CliWindow::CliWindow(std::ostream& out, std::ostream& err, Settings settings)
    : out_(out), err_(err), settings_(std::move(settings))
{
}

void CliWindow::SetCurrentMessage(const std::string& text)
{
    if (text == status_)
        return;
    status_ = text;
    if (settings_.ProgressLine)
        DrawProgressLine();
    else if (!text.empty())
        Print(text);
}

void CliWindow::ShowBar(Bar bar, int position, int maximum)
{
    const int percent = maximum > 0 ? static_cast<int>(static_cast<long long>(position) * 100 / maximum) : 0;
    (bar == Bar::Progress ? progress_ : total_) = percent;
    if (settings_.ProgressLine)
        DrawProgressLine();
}

void CliWindow::AddResultLine(const std::string& line)
{
    results_.push_back(line);
    Print(line);
}

void CliWindow::InformationBox(const std::string& text, const std::string&) { Print(text); }

void CliWindow::ErrorBox(const std::string& text)
{
    ClearProgressLine();
    err_ << "packsmith-cli: " << text << '\n' << std::flush;
}

void CliWindow::ProcessMessages()
{
    if (StopSignal::Raised() && onStop_)
        onStop_();
}

void CliWindow::Print(const std::string& line)
{
    if (settings_.Quiet)
        return;
    ClearProgressLine();
    out_ << line << '\n' << std::flush;
    if (settings_.ProgressLine)
        DrawProgressLine();
}

// Redraws the progress line when what it shows has changed; with both bars at 0 and no
// status (before and after a run) there is no line at all.
void CliWindow::DrawProgressLine()
{
    if (progress_ == 0 && total_ == 0 && status_.empty()) {
        ClearProgressLine();
        return;
    }
    std::string line = BarText(progress_) + ' ' + BarText(total_) + ' ' + status_;
    if (line == drawnLine_)
        return;
    err_ << "\r\033[K" << line << std::flush;
    drawnLine_ = std::move(line);
}

void CliWindow::ClearProgressLine()
{
    if (drawnLine_.empty())
        return;
    err_ << "\r\033[K" << std::flush;
    drawnLine_.clear();
}

} // namespace packsmith
