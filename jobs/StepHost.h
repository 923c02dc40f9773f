#pragma once

#include "jobs/JobHost.h"

namespace packsmith {

// The host of one step of a job that takes several (reading, converting, packing): the step
// shows its progress as 0 to 100, and the file bar moves from `from` to `to` while it goes.
// Everything else goes to the job's host as it is.
class StepHost final : public JobHost {
public:
    StepHost(JobHost& job, int from, int to) : job_(job), from_(from), to_(to) {}

    void SetStatus(const std::string& text) override { job_.SetStatus(text); }
    int ProgressPosition() const override { return job_.ProgressPosition(); }
    void SetProgressPosition(int position) override { job_.SetProgressPosition(position); }
    void SetProgressMax(int maximum) override { job_.SetProgressMax(maximum); }
    void SetTotalPosition(int position) override { job_.SetTotalPosition(position); }
    void SetTotalMax(int maximum) override { job_.SetTotalMax(maximum); }
    void ShowFileProgress(int percent) override
    {
        job_.ShowFileProgress(from_ + std::clamp(percent, 0, 100) * (to_ - from_) / 100);
    }
    void ShowBytesWritten(std::uint64_t bytes) override { job_.ShowBytesWritten(bytes); }
    const std::atomic<bool>& StopFlag() const override { return job_.StopFlag(); }
    using JobHost::ReportOutput;
    void ReportOutput(const std::string& path, std::uint64_t bytes, const std::string& detail) override
    {
        job_.ReportOutput(path, bytes, detail);
    }
    void ReportLeftOut() override { job_.ReportLeftOut(); }
    void ReportWarning(const std::string& text) override { job_.ReportWarning(text); }

private:
    JobHost& job_;
    const int from_;
    const int to_;
};

} // namespace packsmith
