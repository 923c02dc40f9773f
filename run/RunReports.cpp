#include "run/RunReports.h"

#include <utility>

namespace packsmith {

template <class Update>
void RunReports::Report(Update&& update)
{
    bool notify = false;
    {
        const std::lock_guard lock(mutex_);
        update(pending_);
        notify = !notified_;
        notified_ = true;
    }
    if (notify && changed_)
        changed_();
}

void RunReports::SetCurrentMessage(const std::string& text)
{
    Report([&](Pending& p) { p.CurrentMessage = text; });
}

void RunReports::SetExtractedText(const std::string& text)
{
    Report([&](Pending& p) { p.ExtractedText = text; });
}

void RunReports::ShowBar(Bar bar, int position, int maximum)
{
    Report([&](Pending& p) { (bar == Bar::Progress ? p.Progress : p.Total) = BarValue{position, maximum}; });
}

void RunReports::AddResultLine(const std::string& line)
{
    Report([&](Pending& p) { p.ResultLines.push_back(line); });
}

RunReports::Pending RunReports::Take()
{
    const std::lock_guard lock(mutex_);
    notified_ = false;
    return std::exchange(pending_, Pending{});
}

void RunReports::Notify()
{
    {
        const std::lock_guard lock(mutex_);
        notified_ = true;
    }
    if (changed_)
        changed_();
}

} // namespace packsmith
