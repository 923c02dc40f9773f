#include "jobs/ReplayLog.h"

#include <string_view>

#include "core/FilesystemPath.h"
#include "core/PackError.h"
#include "core/PathUtils.h"
#include "jobs/ListedPath.h"
#include "jobs/ResultLog.h"
#include "platform/FileSystem.h"

namespace packsmith {

namespace {

// Why nothing is rebuilt from a "#Source:" line that no known "#Format:" line selects:
// formatName is what the latest one named, "" when it named nothing.
std::string NoFormatReason(bool formatSeen, const std::string& formatName, const RunContext& run)
{
    if (!formatSeen)
        return "no #Format line comes before it";
    if (formatName.empty())
        return "its #Format line names no format";
    std::string reason = "its #Format line names " + formatName + ", which is no format that can be rebuilt";
    // Format names are taken as they are written, so a name in another case is only hinted at.
    if (const std::string upper = UpperCaseAscii(formatName); upper != formatName && run.RebuildFor &&
                                                               run.RebuildFor(upper))
        reason += " (the format is written " + upper + ")";
    return reason;
}

// Rebuilds what a "#Source:" line names into the target directory. A second listing of the
// same file in one run would undo the first's, so it is refused. A failure while a file is
// rebuilt is about that file, whatever log named it.
int Rebuild(RebuildFunction rebuild, const std::string& source, const std::string& log, int firstLine,
            RunContext& run, JobHost& host)
{
    const std::string newPath = JoinPath(run.TargetDirectory, ExtractFileName(source));
    run.Files.RefuseOverRead(newPath);
    // Compared as the system compares names: on Windows Sprites.at3 and sprites.at3 are one.
    const std::string key = NameKey(newPath);
    if (const auto earlier = run.RebuiltPacks.find(key); earlier != run.RebuiltPacks.end()) {
        const auto& [earlierSource, earlierLog] = earlier->second;
        if (earlierSource != source)
            throw PackError("The log lists " + source + " and " + earlierSource +
                            (earlierLog == log ? "" : " (in " + earlierLog + ")") + ", which are both rebuilt as " +
                            newPath + ": the first has been put back, and the second would replace it. Replay them "
                            "into different folders");
        if (earlierLog != log)
            throw PackError("The logs " + earlierLog + " and " + log + " both list " + source +
                            ": its first listing has been put back, and the next would undo it. Keep one listing "
                            "of it");
        throw PackError("The log lists " + source + " more than once: its first listing has been put back, and the "
                        "next would undo it. Keep one listing of it in the log");
    }
    try {
        const int next = rebuild(newPath, firstLine, run, host);
        run.RebuiltPacks[key] = {source, log};
        return next;
    } catch (const PackError& e) {
        throw PackError(About(source, e.what()));
    }
}

} // namespace

void ReplayLog(const std::string& path, RunContext& run, JobHost& host)
{
    // The open pack goes however the replay ends, also at a stop or a failure: the run, which
    // holds it, outlives the job (the window keeps it until the next run).
    struct ReleaseSource {
        RunContext& Run;
        ~ReleaseSource() { Run.SourcePackStream.reset(); }
    } release{run};
    run.ReplayList.LoadFromFile(path);
    run.ReplayDirectory = PathText(FilesystemPath(path).parent_path());
    const std::string status = "Processing " + ExtractFileName(path) + "...";
    host.SetStatus(status);
    host.SetTotalMax(100);
    host.SetTotalPosition(0);

    // What the latest "#Format:" line selected; a file starts without one.
    RebuildFunction rebuild = nullptr;
    bool formatSeen = false;   // whether any "#Format:" line was read
    std::string formatName;    // what the latest one named, as written, for messages
    bool listsSource = false;  // whether any "#Source:" line was read
    std::string sourceToken;   // kept from line to line when a line holds no token
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

            if (IsKeyword(sourceToken, kFormatKeyword)) {
                if (const Token name = FirstToken(rest); name.Start != std::string::npos)
                    sourceToken = name.Text;
                formatSeen = true;
                formatName = IsKeyword(sourceToken, kFormatKeyword) ? "" : sourceToken;
                rebuild = run.RebuildFor ? run.RebuildFor(sourceToken) : nullptr;
            }
            if (IsKeyword(sourceToken, kSourceKeyword)) {
                sourceToken = rest;
                listsSource = true;
                run.SourcePackStream.reset();
                const std::string source = ResolveListedPath(rest, run.ReplayDirectory);
                if (!rebuild) {
                    host.ReportWarning(path + ": nothing was rebuilt from " + rest + ": " +
                                       NoFormatReason(formatSeen, formatName, run));
                } else if (PathExists(source)) {
                    // Only read: a read-only pack can be rebuilt too.
                    run.SourcePackStream = std::make_unique<FileStream>(source, FileStream::Mode::OpenRead);
                    host.SetStatus("Processing " + ExtractFileName(source) + "...");
                    next = Rebuild(rebuild, source, path, i + 1, run, host);
                } else {
                    host.ReportWarning(path + ": the pack " + rest + " was not found; nothing was rebuilt from it");
                }
            }
        }
        run.SourcePackStream.reset();
        host.SetProgressPosition(host.ProgressPosition() + 1);
        i = next;
    }
    // A log that names no pack at all (a pack or another file given as a log, a log emptied
    // by an editor) would otherwise end the run as if it had done its work.
    if (!listsSource)
        host.ReportWarning(path + (formatSeen ? " lists no pack (no #Source line); nothing was rebuilt"
                                              : " is no result log: it has neither a #Format nor a #Source line; "
                                                "nothing was rebuilt"));
}

} // namespace packsmith
