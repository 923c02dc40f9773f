#include "app/run/JobSummary.h"

namespace packsmith {

namespace {

std::string BytesText(std::uint64_t bytes) { return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes"); }

} // namespace

std::vector<std::string> JobSummaryLines(const std::string& path, const std::vector<JobOutput>& outputs,
                                         bool completed)
{
    const std::string stopped = completed ? "" : ", stopped";
    if (outputs.empty())
        return {path + (completed ? ": nothing written" : ": stopped")};
    if (!outputs.front().Detail.empty()) {
        std::vector<std::string> lines;
        for (const auto& output : outputs)
            lines.push_back(path + " -> " + output.Path + " (" + output.Detail + ", " + BytesText(output.Bytes) + ")");
        lines.back() += stopped;
        return lines;
    }
    std::uint64_t bytes = 0;
    for (const auto& output : outputs)
        bytes += output.Bytes;
    const std::string what = outputs.size() == 1 ? outputs.front().Path : std::to_string(outputs.size()) + " files";
    return {path + " -> " + what + " (" + BytesText(bytes) + ")" + stopped};
}

} // namespace packsmith
