#pragma once

#include <string>
#include <utility>
#include <vector>

#include "JobHost.h"

namespace packsmith::test {

// A JobHost for calling handlers directly: it records what the handler shows and reports.
class RecordingHost : public JobHost {
public:
    std::vector<std::string> Statuses;
    std::vector<std::pair<std::string, std::uint64_t>> Outputs;
    int Progress = 0;
    int ProgressMax = 100;
    int Total = 0;
    int TotalMax = 100;
    int ProcessMessagesCalls = 0;
    bool Stop = false;

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
            ++ProcessMessagesCalls;
        }
    }
    void ProcessMessages() override { ++ProcessMessagesCalls; }
    bool StopRequested() const override { return Stop; }
    using JobHost::ReportOutput;
    std::vector<std::string> Details;
    void ReportOutput(const std::string& path, std::uint64_t bytes, const std::string& detail) override
    {
        Outputs.emplace_back(path, bytes);
        Details.push_back(detail);
    }
};

} // namespace packsmith::test
