#include "cli/CliHost.h"

#include <algorithm>
#include <cerrno>

#include "cli/OutputError.h"
#include "cli/TerminalText.h"
#include "cli/TextColumns.h"
#include "platform/FileSystem.h"
#include "platform/StopSignal.h"

namespace packsmith {

namespace {

constexpr int kBarWidth = 24;
constexpr int kLeastBarWidth = 4;
// Where the terminal's width is not known, a line of at most this many columns fits the
// narrowest terminal in common use, 80 columns, without touching its last column (which
// some terminals wrap at).
constexpr int kUnknownWidthColumns = 79;
// What the status keeps before the bars give up any of their width.
constexpr int kStatusColumns = 20;

std::string BarText(int percent, int width)
{
    const auto filled = static_cast<std::size_t>(std::clamp(percent, 0, 100) * width / 100);
    std::string text(static_cast<std::size_t>(width) + 2, '.');
    text.front() = '[';
    text.back() = ']';
    std::fill_n(text.begin() + 1, filled, '#');
    return text;
}

// The progress line in at most columns: two bars, narrower in a narrow terminal, then the
// status with its middle elided (it names the file, whose start and extension tell most).
std::string ProgressLine(int progress, int total, const std::string& status, int columns)
{
    const int barWidth = std::clamp((columns - kStatusColumns) / 2 - 3, kLeastBarWidth, kBarWidth);
    std::string line = BarText(progress, barWidth) + ' ' + BarText(total, barWidth);
    if (static_cast<int>(line.size()) > columns)
        return line.substr(0, static_cast<std::size_t>(std::max(columns, 0)));
    const int room = columns - static_cast<int>(line.size()) - 1;
    if (!status.empty() && room > 0)
        line += ' ' + ElidedText(status, static_cast<std::size_t>(room));
    return line;
}

} // namespace

CliHost::CliHost(std::ostream& out, std::ostream& err, Settings settings)
    : out_(out), err_(err), settings_(std::move(settings))
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
    if (settings_.Quiet || outputError_ != 0)
        return;
    ClearProgressLine();
    outputError_ = WriteOutput(out_, [&] { out_ << TerminalText(ShownPaths(line)) << '\n'; });
    // Nobody reads what follows: the run stops as it would for Ctrl+C, leaving the log of
    // what it finished, and ends with the status of a closed pipe.
    if (outputError_ == EPIPE)
        StopSignal::RequestStop(StopSignal::kClosedPipe);
    if (settings_.ProgressLine)
        DrawProgressLine();
}

void CliHost::PrintError(const std::string& message)
{
    ClearProgressLine();
    err_ << "packsmith-cli: " << TerminalText(ShownPaths(message)) << '\n' << std::flush;
}

// Said in the middle of a run, so the progress line comes back below it.
void CliHost::AddWarning(const std::string& text)
{
    PrintError(text);
    if (settings_.ProgressLine)
        DrawProgressLine();
}

// Redraws the progress line when what it shows has changed (the terminal's width too); with
// both bars at 0 and no status (before and after a run) there is no line at all.
void CliHost::DrawProgressLine()
{
    if (progress_ == 0 && total_ == 0 && status_.empty()) {
        ClearProgressLine();
        return;
    }
    const int columns = settings_.Columns ? settings_.Columns() : 0;
    // The last column stays empty: a terminal may wrap as soon as a line reaches it.
    std::string line = ProgressLine(progress_, total_, TerminalText(ShownPaths(status_)),
                                    columns > 1 ? columns - 1 : kUnknownWidthColumns);
    if (line == drawnLine_)
        return;
    err_ << '\r' << (settings_.Escapes ? "\033[K" : "") << line;
    // Without the escape that clears the rest of the line, spaces cover what a longer line
    // left there.
    const std::size_t drawn = TextColumns(drawnLine_);
    const std::size_t width = TextColumns(line);
    if (!settings_.Escapes && drawn > width)
        err_ << std::string(drawn - width, ' ');
    err_ << std::flush;
    drawnLine_ = std::move(line);
}

void CliHost::ClearProgressLine()
{
    if (drawnLine_.empty())
        return;
    if (settings_.Escapes)
        err_ << "\r\033[K";
    else
        err_ << '\r' << std::string(TextColumns(drawnLine_), ' ') << '\r';
    err_ << std::flush;
    drawnLine_.clear();
}

} // namespace packsmith
