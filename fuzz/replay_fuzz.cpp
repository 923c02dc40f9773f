// A log of any lines replayed over a pack of any bytes: the first two bytes give the
// length of the log's own lines, the rest is the pack. The log names the pack first, so
// the rebuild runs; the new pack goes to a scratch directory in memory.
#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "core/PackError.h"
#include "formats/tga/TgaLibrary.h"
#include "io/TextFile.h"
#include "jobs/FormatTable.h"
#include "jobs/ReplayLog.h"
#include "testing/RecordingHost.h"

namespace {

using namespace packsmith;

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

    // The codec stays loaded from one input to the next (each rebuild then only counts a
    // reference up and down), and the rebuild works on this thread: what a run does once,
    // not over again for every input.
    static const TgaLibrary codec;
    RunContext run;
    run.TargetDirectory = target;
    run.RebuildFor = RebuildFor;
    run.Threads = 1;
    packsmith::test::RecordingHost host;
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
