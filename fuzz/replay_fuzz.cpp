// A log of any lines replayed over a pack of any bytes: the first two bytes give the
// length of the log's own lines, the rest is the pack. The log names the pack first, so
// the rebuild runs; the new pack goes to a scratch directory in memory.
#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "JobHost.h"
#include "PackError.h"
#include "ReplayLog.h"
#include "TextFile.h"

namespace {

using namespace packsmith;

class QuietHost final : public JobHost {
public:
    void SetStatus(const std::string&) override {}
    int ProgressPosition() const override { return progress_; }
    void SetProgressPosition(int position) override { progress_ = position; }
    void SetProgressMax(int) override {}
    void SetTotalPosition(int) override {}
    void SetTotalMax(int) override {}
    void ShowFileProgress(int percent) override { progress_ = percent; }
    void ProcessMessages() override {}
    bool StopRequested() const override { return false; }
    void ReportOutput(const std::string&, std::uint64_t, const std::string&) override {}

private:
    int progress_ = 0;
};

std::string MemoryFile(const char* name, const std::uint8_t* data, std::size_t size)
{
    const int file = memfd_create(name, 0);
    if (file < 0 || pwrite(file, data, size, 0) != static_cast<ssize_t>(size))
        return {};
    return "/proc/self/fd/" + std::to_string(file);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::size_t logBytes = std::min<std::size_t>(data[0] | data[1] << 8, size - 2);
    const std::uint8_t* lines = data + 2;
    const std::string pack = MemoryFile("pack", lines + logBytes, size - 2 - logBytes);
    static const std::string target = [] {
        const std::string dir = "/dev/shm/packsmith-replay-fuzz-" + std::to_string(getpid());
        std::filesystem::create_directories(dir);
        return dir;
    }();
    std::string log = "#Format: AT3\r\n#Source: " + pack + "\r\n";
    log.append(reinterpret_cast<const char*>(lines), logBytes);
    const std::string logPath = MemoryFile("log", reinterpret_cast<const std::uint8_t*>(log.data()), log.size());

    RunContext run;
    run.TargetDirectory = target;
    QuietHost host;
    try {
        ReplayLog(logPath, run, host);
    } catch (const PackError&) {
    }
    // Close the memory files again; every run starts with an empty target.
    for (const std::string& path : {pack, logPath})
        if (!path.empty())
            close(std::stoi(path.substr(path.rfind('/') + 1)));
    std::error_code ignored;
    for (const auto& item : std::filesystem::directory_iterator(target, ignored))
        std::filesystem::remove_all(item.path(), ignored);
    return 0;
}
