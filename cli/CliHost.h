#pragma once

#include <ostream>
#include <string>

#include "run/RunHost.h"

namespace packsmith {

// The host of a run in a terminal: results lines, status lines and the closing message go
// to standard output (nothing but errors with -q); a progress line is drawn on standard
// error when it is a terminal. Ctrl+C, SIGTERM and SIGHUP are the stop request.
class CliHost final : public RunHost {
public:
    struct Settings {
        bool Quiet = false;
        bool ProgressLine = false;
    };

    CliHost(std::ostream& out, std::ostream& err, Settings settings);

    void SetCurrentMessage(const std::string& text) override;
    void SetExtractedText(const std::string&) override {}
    void ShowBar(Bar bar, int position, int maximum) override;
    void AddResultLine(const std::string& line) override { Print(line); }
    const std::atomic<bool>& StopFlag() const override;

    // A line of its own on standard output (unless quiet), such as the closing message.
    void Print(const std::string& line);
    // "packsmith-cli: " and the message, on standard error.
    void PrintError(const std::string& message);

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
};

} // namespace packsmith
