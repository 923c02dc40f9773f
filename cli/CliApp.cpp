#include "cli/CliApp.h"

#include <cerrno>
#include <sstream>

#include "cli/CliHost.h"
#include "cli/CliOptions.h"
#include "cli/DroppedFiles.h"
#include "cli/ListingPrinter.h"
#include "cli/OnlyPatterns.h"
#include "cli/OutputError.h"
#include "cli/TerminalText.h"
#include "core/ErrorText.h"
#include "core/FilesystemPath.h"
#include "core/PackError.h"
#include "jobs/ListedPath.h"
#include "platform/FileSystem.h"
#include "platform/StopSignal.h"
#include "platform/Terminal.h"
#include "run/TargetDirectory.h"

namespace packsmith {

namespace {

constexpr int kExitCompleted = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitWarnings = 3;
constexpr int kExitClosedPipe = 128 + StopSignal::kClosedPipe;

// Jobs are full paths, as the window's open dialog gives them. A relative path needs the
// current directory: where that was removed, the path names nothing (and once the target
// is current, it would name a file there), so it is refused.
std::string FullPath(const std::string& path, const std::string& cannot = "Cannot open file ")
{
    std::error_code ec;
    std::string full = AbsolutePath(path, ec);
    if (ec)
        throw PackError(cannot + path + " (the current directory was removed; give a full path)");
    return full;
}

// A job whose file is not there fails the run before anything is made, the target included.
void CheckInputs(const std::vector<std::string>& inputs)
{
    for (const std::string& input : inputs)
        if (!input.empty())
            if (const int why = WhyCannotOpen(input); why != 0)
                ThrowCannotOpen(input, why);
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
// A listing whose standard output fails ends there: with the status of a closed pipe when
// its reader went away (which has all it wanted), else with 1 and the cause, rather than
// leave a script a listing cut short under status 0.
int ListFiles(const CliOptions& options, std::ostream& out, std::ostream& err)
{
    int status = kExitCompleted;
    OnlyPatterns patterns(options.Only);
    const EntrySelection only = patterns.Selection();
    ListingPrinter printer(out, options.Json);
    const auto outputFailed = [&](int error) {
        if (error == 0)
            return false;
        if (error != EPIPE)
            err << "packsmith-cli: " << TerminalText(OutputErrorText(error)) << '\n';
        status = error == EPIPE ? kExitClosedPipe : kExitFailed;
        return true;
    };
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
            if (outputFailed(WriteOutput(out, [&] { printer.Add(file, format, contents); })))
                return status;
        } catch (...) {
            const std::string message = MessageOf(std::current_exception());
            if (outputFailed(WriteOutput(out, [&] { printer.AddFailure(file, message); })))
                return status;
            err << "packsmith-cli: " << TerminalText(ShownPaths(ErrorBoxText(About(file, message)))) << '\n';
            status = kExitFailed;
        }
    }
    if (outputFailed(WriteOutput(out, [&] { printer.Finish(); })))
        return status;
    if (ReportUnmatched(patterns, err) && status == kExitCompleted)
        status = kExitWarnings;
    return status;
}

// RunCli, and RunDroppedFiles for dropped, the files dropped (nullptr for a command line).
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, Run::Handler handler,
                   const std::vector<std::string>* dropped)
{
    CliOptions options;
    try {
        options = ParseCliOptions(args);
    } catch (const UsageError& e) {
        if (dropped != nullptr) {
            std::istringstream advice(ShownPaths(DroppedFilesAdvice(*dropped, e.what())));
            std::string line;
            for (const char* prefix = "packsmith-cli: "; std::getline(advice, line); prefix = "")
                err << prefix << TerminalText(line) << '\n';
        } else
            err << "packsmith-cli: " << TerminalText(ShownPaths(e.what()))
                << "\nTry 'packsmith-cli --help' for more information.\n";
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

    const bool progressLine = !options.Quiet && StandardErrorIsTerminal();
    CliHost host(out, err, {options.Quiet, progressLine, StandardErrorColumns, StandardErrorTakesEscapes()});
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
        // Every path of the command line is taken before the target becomes current, and
        // every input is there before the target is made.
        const std::string packLike = options.PackLike.empty() ? "" : FullPath(options.PackLike);
        CheckInputs(jobs);
        CheckInputs({packLike});
        const std::string target =
            PrepareTargetDirectory(FullPath(options.TargetDirectory, "Cannot create directory "));
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

    int status = kExitCompleted;
    switch (result.Outcome) {
    case RunOutcome::Failed:
        host.PrintError(ErrorBoxText(result.Error));
        status = kExitFailed;
        break;
    case RunOutcome::Stopped:
        host.Print("Operation stopped.");
        return StopSignal::ExitStatus();
    default: {
        host.Print("Operation complete!");
        const bool unmatched = ReportUnmatched(only, err);
        status = result.Warnings > 0 || unmatched || !listWarnings.empty() ? kExitWarnings : kExitCompleted;
    }
    }
    // Results lines that never reached their file (a full disk) fail the run, which may
    // have done all its work: its output is part of what it was asked for. A closed pipe
    // asked for the stop instead, and a run that ended all the same needs no word on it.
    if (const int error = host.OutputError(); error != 0 && error != EPIPE) {
        host.PrintError(OutputErrorText(error));
        status = kExitFailed;
    }
    return status;
}

} // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, Run::Handler handler)
{
    return RunCommandLine(args, out, err, std::move(handler), nullptr);
}

int RunDroppedFiles(const std::vector<std::string>& files, std::ostream& out, std::ostream& err)
{
    return RunCommandLine(WithDropTarget(files), out, err, {}, &files);
}

} // namespace packsmith
