#include "formathandlers/handlers/ReplayLog.h"

#include <string_view>

#include "io/PathUtils.h"
#include "formathandlers/layout/ResultLog.h"

namespace packsmith {

namespace {

constexpr std::string_view kBlanks = " \t\r\n\v\f";

struct Token {
    std::size_t Start = std::string::npos;
    std::string_view Text;
};

// The first maximal run of characters other than blanks.
Token FirstToken(std::string_view line)
{
    const auto start = line.find_first_not_of(kBlanks);
    if (start == std::string_view::npos)
        return {};
    const auto end = line.find_first_of(kBlanks, start);
    return {start, line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start)};
}

bool IsKeyword(std::string_view token)
{
    return token == kFormatKeyword || token == kSourceKeyword || token == kTargetKeyword;
}

} // namespace

void ReplayLog(const std::string& path, RunContext& run, JobHost& host)
{
    run.ReplayList.LoadFromFile(path);
    const std::string status = "Processing " + ExtractFileName(path) + "...";
    host.SetStatus(status);
    host.SetTotalMax(100);
    host.SetTotalPosition(0);

    // What the latest "#Format:" line selected; a file starts without one.
    RebuildFunction rebuild = nullptr;
    std::string sourceToken; // kept from line to line when a line holds no token
    for (int i = 0; i < run.ReplayList.Count();) {
        CheckStop(host);
        host.SetStatus(status);
        const int lines = run.ReplayList.Count();
        host.SetTotalPosition(lines == 1 ? 100 : static_cast<int>(std::int64_t{i} * 100 / (lines - 1)));

        int next = i + 1;
        const std::string line = run.ReplayList.At(i);
        if (const Token token = FirstToken(line); token.Start != std::string::npos)
            sourceToken = token.Text;
        if (IsKeyword(sourceToken)) {
            // The keyword and the one character after it are cut, with any blanks before it.
            // A line without a token of its own (the keyword kept from an earlier line) is
            // cut by the keyword's length from its start.
            const Token own = FirstToken(line);
            const std::size_t cut = (own.Start == std::string::npos ? 0 : own.Start) + sourceToken.size() + 1;
            const std::string rest = cut < line.size() ? line.substr(cut) : std::string();
            run.ReplayList.Put(i, rest);

            if (sourceToken == kFormatKeyword) {
                if (const Token name = FirstToken(rest); name.Start != std::string::npos)
                    sourceToken = name.Text;
                rebuild = run.RebuildFor ? run.RebuildFor(sourceToken) : nullptr;
            }
            if (sourceToken == kSourceKeyword) {
                sourceToken = rest;
                run.SourcePackStream.reset();
                if (PathExists(rest)) {
                    // Only read: a read-only pack can be rebuilt too.
                    run.SourcePackStream = std::make_unique<FileStream>(rest, FileStream::Mode::OpenRead);
                    host.SetStatus("Processing " + ExtractFileName(rest) + "...");
                    if (rebuild)
                        next = rebuild(JoinPath(run.TargetDirectory, ExtractFileName(rest)), i + 1, run, host);
                }
            }
        }
        run.SourcePackStream.reset();
        host.SetProgressPosition(host.ProgressPosition() + 1);
        i = next;
    }
}

} // namespace packsmith
