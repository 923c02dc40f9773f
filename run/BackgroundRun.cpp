#include "run/BackgroundRun.h"

namespace packsmith {

BackgroundRun::BackgroundRun(const Format& format, std::vector<std::string> jobs, std::string targetDirectory,
                             std::function<void()> changed, const std::function<void(Run&)>& configure)
    : reports_(std::move(changed)), run_(format, std::move(jobs), std::move(targetDirectory), reports_)
{
    if (configure)
        configure(run_);
    worker_ = std::thread([this] {
        RunResult result = run_.Execute();
        {
            const std::lock_guard lock(mutex_);
            result_ = std::move(result);
            finished_ = true;
        }
        ended_.notify_all();
        reports_.Notify();
    });
}

BackgroundRun::~BackgroundRun()
{
    reports_.RequestStop();
    if (worker_.joinable())
        worker_.join();
}

bool BackgroundRun::Finished() const
{
    const std::lock_guard lock(mutex_);
    return finished_;
}

bool BackgroundRun::Wait(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return ended_.wait_for(lock, timeout, [this] { return finished_; });
}

RunResult BackgroundRun::Result()
{
    if (worker_.joinable())
        worker_.join();
    return result_;
}

} // namespace packsmith
