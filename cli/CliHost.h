#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "run/RunHost.h"

namespace packsmith {

// The host of a run in a terminal: results lines, status lines and the closing message go
// to standard output (with -q only warnings and errors, which go to standard error), the
// paths in them as the system writes them (ShownPaths); a progress line is drawn on
// standard error when it is a terminal, as wide as the terminal lets it be. The system's
// stop requests (StopSignal) stop the run, and so does a standard output whose reader went
// away (a closed pipe).
class CliHost final : public RunHost {
public:
    struct Settings {
        bool Quiet = false;
        bool ProgressLine = false;
        // The terminal's width in columns now, or 0 when it is not known.
        std::function<int()> Columns;
        // Whether the terminal acts on escape sequences; where it does not (an older
        // Windows console), the progress line is drawn over with spaces instead.
        bool Escapes = true;
    };

    CliHost(std::ostream& out, std::ostream& err, Settings settings);

    void SetCurrentMessage(const std::string& text) override;
    void SetExtractedText(const std::string&) override {}
    void ShowBar(Bar bar, int position, int maximum) override;
    void AddResultLine(const std::string& line) override { Print(line); }
    void AddWarning(const std::string& text) override;
    const std::atomic<bool>& StopFlag() const override;

    // A line of its own on standard output (unless quiet), such as the closing message.
    void Print(const std::string& line);
    // "packsmith-cli: " and the message, on standard error.
    void PrintError(const std::string& message);
    // Why standard output did not take all that was printed (an error number: EPIPE when
    // its reader went away); 0 when it did.
    int OutputError() const { return outputError_; }

private:
    void DrawProgressLine();
    void ClearProgressLine();

    std::ostream& out_;
    std::ostream& err_;
    Settings settings_;
    std::string status_;
    int progress_ = 0;
    int total_ = 0;
    std::string drawnLine_; // what the progress line shows now; empty when there is none
    int outputError_ = 0;
};

} // namespace packsmith
