#pragma once

#include <filesystem>
#include <gtest/gtest.h>
#include <span>
#include <string>

#include "core/PackError.h"
#include "jobs/RunContext.h"
#include "testing/Bytes.h"
#include "testing/RecordingHost.h"
#include "testing/TempDir.h"

namespace packsmith::test {

// For the tests of a format's handler run alone: a run whose target is the directory "out"
// in a fresh temporary directory, and a host that records what the handler reports.
class HandlerFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        run.TargetDirectory = dir / "out";
        std::filesystem::create_directories(run.TargetDirectory);
    }
    // Writes bytes to dir/name and returns the full path.
    std::string Input(const std::string& name, std::span<const std::uint8_t> bytes) const
    {
        return dir.Write(name, AsString(bytes));
    }
    // Runs a handler on path and returns its failure message, or "" when it succeeded.
    template <class Handler>
    std::string Failure(Handler handler, const std::string& path)
    {
        try {
            handler(path, run, host);
        } catch (const PackError& e) {
            return e.what();
        }
        return "";
    }

    TempDir dir;
    RunContext run;
    RecordingHost host;
};

} // namespace packsmith::test
