#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "jobs/JobHost.h"
#include "run/RunHost.h"

namespace packsmith::test {

// A stop flag that is reset with the rest of a host (host = {}).
struct CopyableFlag : std::atomic<bool> {
    CopyableFlag() : std::atomic<bool>(false) {}
    CopyableFlag(const CopyableFlag& other) : std::atomic<bool>(other.load()) {}
    CopyableFlag& operator=(const CopyableFlag& other)
    {
        store(other.load());
        return *this;
    }
    bool operator=(bool value)
    {
        store(value);
        return value;
    }
};

// The tests' one host: as a JobHost it lets a handler be called directly and records what
// the handler shows and reports; as a RunHost it records everything a run shows. Stop is
// the stop request of both.
class RecordingHost : public JobHost, public RunHost {
public:
    struct BarValue {
        int Position = 0;
        int Maximum = 100;
    };

    CopyableFlag Stop;

    // What a handler showed and reported.
    std::vector<std::string> Statuses;
    std::vector<std::pair<std::string, std::uint64_t>> Outputs;
    std::vector<std::string> Details;
    int Progress = 0;
    int ProgressMax = 100;
    int Total = 0;
    int TotalMax = 100;
    int ProgressChanges = 0; // how often ShowFileProgress moved the bar
    std::vector<std::uint64_t> BytesWritten; // of files being written, as they grew

    // What a run showed.
    std::vector<std::string> Messages;
    std::vector<std::string> ExtractedTexts;
    std::vector<std::string> ResultLines;
    std::vector<BarValue> ProgressBars;
    std::vector<BarValue> TotalBars;

    std::vector<std::string> OutputPaths() const
    {
        std::vector<std::string> paths;
        for (const auto& output : Outputs)
            paths.push_back(output.first);
        return paths;
    }

    // JobHost
    void SetStatus(const std::string& text) override { Statuses.push_back(text); }
    int ProgressPosition() const override { return Progress; }
    void SetProgressPosition(int position) override { Progress = position; }
    void SetProgressMax(int maximum) override { ProgressMax = maximum; }
    void SetTotalPosition(int position) override { Total = position; }
    void SetTotalMax(int maximum) override { TotalMax = maximum; }
    void ShowFileProgress(int percent) override
    {
        if (percent != Progress) {
            Progress = percent;
            ++ProgressChanges;
        }
    }
    void ShowBytesWritten(std::uint64_t bytes) override { BytesWritten.push_back(bytes); }
    using JobHost::ReportOutput;
    void ReportOutput(const std::string& path, std::uint64_t bytes, const std::string& detail) override
    {
        Outputs.emplace_back(path, bytes);
        Details.push_back(detail);
    }

    std::vector<std::string> Warnings;
    void ReportWarning(const std::string& text) override { Warnings.push_back(text); }
    int LeftOut = 0;
    void ReportLeftOut() override { ++LeftOut; }

    // RunHost
    void SetCurrentMessage(const std::string& text) override { Messages.push_back(text); }
    void SetExtractedText(const std::string& text) override { ExtractedTexts.push_back(text); }
    void ShowBar(Bar bar, int position, int maximum) override
    {
        (bar == Bar::Progress ? ProgressBars : TotalBars).push_back({position, maximum});
    }
    void AddResultLine(const std::string& line) override { ResultLines.push_back(line); }

    // Both
    const std::atomic<bool>& StopFlag() const override { return Stop; }
    bool StopRequested() const { return Stop; }
};

} // namespace packsmith::test
