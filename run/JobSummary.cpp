#include "run/JobSummary.h"

#include <algorithm>
#include <iterator>

namespace packsmith {

namespace {

std::string BytesText(std::uint64_t bytes) { return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes"); }

} // namespace

std::vector<std::string> JobSummaryLines(const std::string& path, const std::vector<JobOutput>& all, bool completed,
                                         bool removed)
{
    std::vector<JobOutput> outputs;
    std::copy_if(all.begin(), all.end(), std::back_inserter(outputs), [](const JobOutput& o) { return !o.LeftOut; });
    const std::size_t leftOut = all.size() - outputs.size();
    const std::string notSelected = leftOut == 0 ? "" : ", " + std::to_string(leftOut) + " not selected";
    const std::string stopped = notSelected + (completed ? "" : ", stopped");
    if (outputs.empty())
        return {path + (completed ? ": nothing written" : ": stopped") + notSelected};
    if (removed) {
        const bool one = outputs.size() == 1;
        return {path + ": stopped" + notSelected + "; " + std::to_string(outputs.size()) +
                (one ? " file it had written was removed" : " files it had written were removed")};
    }
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
