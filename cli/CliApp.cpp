#include "cli/CliApp.h"

#include "cli/CliHost.h"
#include "cli/CliOptions.h"
#include "cli/ListingPrinter.h"
#include "cli/OnlyPatterns.h"
#include "platform/StopSignal.h"
#include "platform/Terminal.h"
#include "cli/TerminalText.h"
#include "core/ErrorText.h"
#include "core/FilesystemPath.h"
#include "core/PackError.h"
#include "jobs/ListedPath.h"
#include "run/TargetDirectory.h"

namespace packsmith {

namespace {

constexpr int kExitCompleted = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitWarnings = 3;

// Jobs are full paths, as the window's open dialog gives them.
std::string FullPath(const std::string& path)
{
    std::error_code ec;
    return AbsolutePath(path, ec);
}

// The job list: the lines of each project list given, one list after the other, or the
// files. A list that names nothing is a warning in listEmpty: the run it asked for does
// nothing.
std::vector<std::string> JobList(const CliOptions& options, std::vector<std::string>& listEmpty)
{
    std::vector<std::string> jobs;
    for (const auto& file : options.Files) {
        if (!options.JobFormat->ListsJobs) {
            jobs.push_back(FullPath(file));
            continue;
        }
        const std::vector<std::string> listed = ReadJobList(FullPath(file));
        if (listed.empty())
            listEmpty.push_back(file + " lists no result logs; nothing was replayed from it");
        jobs.insert(jobs.end(), listed.begin(), listed.end());
    }
    return jobs;
}

// Says which patterns of --only took no entry; true when there was one.
bool ReportUnmatched(const OnlyPatterns& only, std::ostream& err)
{
    const std::vector<std::string> unmatched = only.Unmatched();
    for (const std::string& pattern : unmatched)
        err << "packsmith-cli: --only " << TerminalText(pattern) << " matched no entry\n";
    return !unmatched.empty();
}

// Prints what each file holds: 0, 1 when a file could not be read (the others are still
// listed), 3 when a pack has entries that cannot be read, a sound is damaged, or a pattern
// of --only matched none.
int ListFiles(const CliOptions& options, std::ostream& out, std::ostream& err)
{
    int status = kExitCompleted;
    OnlyPatterns patterns(options.Only);
    const EntrySelection only = patterns.Selection();
    ListingPrinter printer(out, options.Json);
    for (const std::string& file : options.Files) {
        const Format& format = options.JobFormat != nullptr ? *options.JobFormat : *FormatForFile(file);
        try {
            FileContents contents = format.List(file);
            if (only)
                std::erase_if(contents.Pictures, [&](const ListedEntry& e) { return !only(e.Index, e.StoredName); });
            const bool damagedSound = contents.Sound && !contents.Sound->Problem.empty();
            for (const ListedEntry& entry : contents.Pictures)
                if (!entry.Problem.empty() && status == kExitCompleted)
                    status = kExitWarnings;
            if (damagedSound && status == kExitCompleted)
                status = kExitWarnings;
            printer.Add(file, format, contents);
        } catch (...) {
            const std::string message = MessageOf(std::current_exception());
            printer.AddFailure(file, message);
            out.flush();
            err << "packsmith-cli: " << TerminalText(ErrorBoxText(About(file, message))) << '\n';
            status = kExitFailed;
        }
    }
    out.flush();
    if (ReportUnmatched(patterns, err) && status == kExitCompleted)
        status = kExitWarnings;
    return status;
}

} // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, Run::Handler handler)
{
    CliOptions options;
    try {
        options = ParseCliOptions(args);
    } catch (const UsageError& e) {
        err << "packsmith-cli: " << TerminalText(e.what()) << "\nTry 'packsmith-cli --help' for more information.\n";
        return kExitUsage;
    }
    if (options.What == CliOptions::Action::Help) {
        out << CliUsage();
        return kExitCompleted;
    }
    if (options.What == CliOptions::Action::Version) {
        out << "packsmith-cli " << PACKSMITH_VERSION << '\n';
        return kExitCompleted;
    }

    if (options.What == CliOptions::Action::List)
        return ListFiles(options, out, err);

    CliHost host(out, err, {options.Quiet, !options.Quiet && StandardErrorIsTerminal()});
    const StopSignal stopSignal;
    RunResult result;
    OnlyPatterns only(options.Only);
    std::vector<std::string> listWarnings;
    try {
        const std::vector<std::string> jobs = JobList(options, listWarnings);
        for (const std::string& warning : listWarnings)
            host.PrintError(warning);
        if (jobs.empty())
            return listWarnings.empty() ? kExitCompleted : kExitWarnings;
        // Every path of the command line is taken before the target becomes current.
        const std::string packLike = options.PackLike.empty() ? "" : FullPath(options.PackLike);
        const std::string target = PrepareTargetDirectory(FullPath(options.TargetDirectory));
        EnterDirectory(target);
        Run run(*options.JobFormat, jobs, target, host);
        run.SetPackLike(packLike);
        run.SetThreads(options.Threads);
        run.SetReplacementCoding(options.Coding);
        if (!options.Only.empty())
            run.SetSelection(only.Selection());
        if (handler)
            run.ReplaceHandler(std::move(handler));
        result = run.Execute();
    } catch (...) {
        result = {};
        result.Outcome = RunOutcome::Failed;
        result.Error = MessageOf(std::current_exception());
    }

    switch (result.Outcome) {
    case RunOutcome::Failed:
        host.PrintError(ErrorBoxText(result.Error));
        return kExitFailed;
    case RunOutcome::Stopped:
        host.Print("Operation stopped.");
        return StopSignal::ExitStatus();
    default: {
        host.Print("Operation complete!");
        const bool unmatched = ReportUnmatched(only, err);
        return result.Warnings > 0 || unmatched || !listWarnings.empty() ? kExitWarnings : kExitCompleted;
    }
    }
}

} // namespace packsmith
