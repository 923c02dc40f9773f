#pragma once

#include <atomic>
#include <string>

namespace packsmith {

enum class Bar { Progress, Total };

// What a run shows while it works, and where it learns that it should stop. The window
// and packsmith-cli each provide one; in the window the run calls it from its own thread.
// Positions and maxima arrive already clamped.
class RunHost {
public:
    virtual ~RunHost() = default;

    virtual void SetCurrentMessage(const std::string& text) = 0;
    virtual void SetExtractedText(const std::string& text) = 0;
    virtual void ShowBar(Bar bar, int position, int maximum) = 0;
    virtual void AddResultLine(const std::string& line) = 0;
    // Something the run passed over or could not do fully, which its user must hear of even
    // when nothing else is shown. A results line, unless the host has a better place for it
    // (a terminal's standard error).
    virtual void AddWarning(const std::string& text) { AddResultLine(text); }
    // The stop request: a flag that any thread (or a signal handler) may raise.
    virtual const std::atomic<bool>& StopFlag() const = 0;
    bool StopRequested() const { return StopFlag().load(std::memory_order_relaxed); }
};

} // namespace packsmith
