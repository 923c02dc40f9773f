#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "run/RunHost.h"

namespace packsmith {

// The host of a run that works on a thread of its own: it keeps what the run reports until
// the window thread takes it, and tells the window (through changed) that there is
// something to take. Between two takes only the latest status, label and bar positions
// matter; results lines are kept in full and in order. The stop request is a flag that
// any thread may raise.
class RunReports final : public RunHost {
public:
    struct BarValue {
        int Position = 0;
        int Maximum = 100;
    };
    struct Pending {
        std::optional<std::string> CurrentMessage;
        std::optional<std::string> ExtractedText;
        std::optional<BarValue> Progress;
        std::optional<BarValue> Total;
        std::vector<std::string> ResultLines;
    };

    // changed: called on the run's thread whenever the first report after a take arrives;
    // it must only arrange for Take to be called soon on the window thread.
    explicit RunReports(std::function<void()> changed) : changed_(std::move(changed)) {}

    void SetCurrentMessage(const std::string& text) override;
    void SetExtractedText(const std::string& text) override;
    void ShowBar(Bar bar, int position, int maximum) override;
    void AddResultLine(const std::string& line) override;
    const std::atomic<bool>& StopFlag() const override { return stop_; }

    void RequestStop() { stop_.store(true, std::memory_order_relaxed); }
    // Everything reported since the last take.
    Pending Take();
    // Asks the window to take what is there once more (the run has ended).
    void Notify();

private:
    template <class Update>
    void Report(Update&& update);

    std::function<void()> changed_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    Pending pending_;
    bool notified_ = false; // a take is due; no need to ask again
};

} // namespace packsmith
