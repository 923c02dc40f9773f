// The processing run: jobs in order, the result log, the bars and the results lines, stops
// and failures; then the run as the window starts it on its own thread: the closing box,
// the controls, and what the window refuses or does while the run works.
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>

#include "core/FilesystemPath.h"
#include "core/PackError.h"
#include "gui/MainFormLogic.h"
#include "run/Run.h"
#ifndef _WIN32
#include "testing/FileSizeLimit.h"
#endif
#include "testing/FormFixture.h"
#include "testing/Gate.h"
#include "testing/RecordingHost.h"
#include "testing/ScriptedWindow.h"
#include "testing/TempDir.h"

namespace packsmith::test {
namespace {

using Lines = std::vector<std::string>;

// ---- The run itself ----

class RunTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(target); }
    RunResult Execute(FormatCode code, Lines paths, Run::Handler handler = {})
    {
        packsmith::Run run(*FormatByCode(code), std::move(paths), target, host);
        run.ReplaceHandler([&](const std::string& path, RunContext& context, JobHost& job) {
            jobs.push_back(path);
            if (handler)
                handler(path, context, job);
        });
        const RunResult result = run.Execute();
        resultList = run.Context().ResultList.Lines();
        extracted = run.ExtractedBytes();
        return result;
    }
    std::string ResultLog() const { return ReadFileBytes(target + "/result.log"); }

    TempDir dir;
    std::string target = dir / "out";
    RecordingHost host;
    Lines jobs;
    Lines resultList;
    std::int64_t extracted = 0;
};

TEST_F(RunTest, JobsRunInOrderAndTheLogNamesEach)
{
    ASSERT_EQ(Execute(1, {"/in/a.wac", "/in/with blank/b.wac"}).Outcome, RunOutcome::Completed);
    EXPECT_EQ(jobs, (Lines{"/in/a.wac", "/in/with blank/b.wac"}));
    EXPECT_EQ(ResultLog(), "#Format: WAC\r\n#Source: /in/a.wac\r\n#Format: WAC\r\n#Source: /in/with blank/b.wac\r\n");
    // The pane says what each job did; with nothing extracted there is no total line.
    EXPECT_EQ(host.ResultLines, (Lines{"/in/a.wac: nothing written", "/in/with blank/b.wac: nothing written"}));
    EXPECT_EQ(host.Messages.back(), "");
    EXPECT_EQ(host.ExtractedTexts, (Lines{"Extracted: 0", ""}));
}

TEST_F(RunTest, TotalBarAfterThreeJobsReads33_66_100ThenReturnsTo0)
{
    ASSERT_EQ(Execute(3, {"/p/a.at3", "/p/b.at3", "/p/c.at3"}).Outcome, RunOutcome::Completed);
    std::vector<int> positions;
    for (const auto& bar : host.TotalBars)
        positions.push_back(bar.Position);
    // Set to 0 at the start, once after each job, and back to 0 at the end.
    EXPECT_EQ(positions, (std::vector<int>{0, 33, 66, 100, 0}));
    EXPECT_EQ(host.ProgressBars.back().Position, 0);
}

TEST_F(RunTest, ResultLogReplacedWhenPresentAndNeverWrittenForLogs)
{
    dir.Write("out/result.log", "old content that is longer than the new one\r\n");
    ASSERT_EQ(Execute(2, {"/s/x.was"}).Outcome, RunOutcome::Completed);
    EXPECT_EQ(ResultLog(), "#Format: WAS\r\n#Source: /s/x.was\r\n");

    for (const FormatCode code : {4, 5}) {
        SCOPED_TRACE(code);
        std::filesystem::remove(target + "/result.log");
        ASSERT_EQ(Execute(code, {"/l/r.log"}).Outcome, RunOutcome::Completed);
        EXPECT_FALSE(FileExists(target + "/result.log"));
        EXPECT_EQ(resultList, (Lines{"#Format: ", "#Source: /l/r.log"}));
    }
}

TEST_F(RunTest, OnlyAFormatThatLogsItsOutputsListsThemAndBytesAreCounted)
{
    const auto report = [&](const std::string& path, RunContext& run, JobHost& job) {
        if (path.find("one") != std::string::npos) {
            job.ReportOutput(run.TargetDirectory + "/a.tga", 1044);
        } else {
            job.ReportOutput(run.TargetDirectory + "/PIC/x.tga", 3000000000ull);
            job.ReportOutput(run.TargetDirectory + "/PIC/y.tga", 18);
        }
    };
    ASSERT_EQ(Execute(3, {"/in/one.at3", "/in/two.at3"}, report).Outcome, RunOutcome::Completed);
    EXPECT_EQ(ResultLog(), "#Format: AT3\r\n#Source: /in/one.at3\r\n" + target + "/a.tga\r\n#Format: AT3\r\n#Source: "
                           "/in/two.at3\r\n" + target + "/PIC/x.tga\r\n" + target + "/PIC/y.tga\r\n");
    EXPECT_EQ(host.ResultLines, (Lines{
                                    "/in/one.at3 -> " + target + "/a.tga (1044 bytes)",
                                    "/in/two.at3 -> 2 files (3000000018 bytes)",
                                    "Total 3000001062 bytes extracted.",
                                }));
    EXPECT_EQ(host.ExtractedTexts, (Lines{"Extracted: 0", "Extracted: 1,044", "Extracted: 3,000,001,044",
                                          "Extracted: 3,000,001,062", ""}));
    EXPECT_EQ(extracted, 3000001062);

    // Sound is reported the same way, but its log names only the sources.
    host = {};
    std::filesystem::remove(target + "/result.log"); // which would be kept: it lists other sources
    ASSERT_EQ(Execute(1, {"/in/one.wac"}, report).Outcome, RunOutcome::Completed);
    EXPECT_EQ(ResultLog(), "#Format: WAC\r\n#Source: /in/one.wac\r\n");
}

TEST_F(RunTest, FailingJobEndsTheRunWithItsMessage)
{
    const RunResult result = Execute(1, {"/in/a.wac", "/in/b.wac", "/in/c.wac"},
                                     [](const std::string& path, RunContext&, JobHost& job) {
                                         job.SetStatus("Working on " + path);
                                         job.SetProgressPosition(40);
                                         if (path == "/in/b.wac")
                                             throw PackError("Cannot open file /in/b.wac");
                                     });
    EXPECT_EQ(result.Outcome, RunOutcome::Failed);
    EXPECT_EQ(result.Error, "Cannot open file /in/b.wac");
    EXPECT_EQ(jobs, (Lines{"/in/a.wac", "/in/b.wac"}));
    // The log lists the finished job; the failed one wrote nothing and is not in it.
    EXPECT_EQ(ResultLog(), "#Format: WAC\r\n#Source: /in/a.wac\r\n");
    EXPECT_EQ(host.ResultLines, (Lines{"/in/a.wac: nothing written"}));
    // What the run showed stays as it was when the job failed.
    EXPECT_EQ(host.Messages.back(), "Working on /in/b.wac");
    EXPECT_EQ(host.ProgressBars.back().Position, 40);

    // A pack that fails part way keeps what it wrote, and the log lists it in its places (an
    // empty line for each entry without a picture), so that what is on disk can be replayed.
    const auto pack = [&](const std::string& path, RunContext& run, JobHost& job) {
        if (path == "/in/none.at3")
            throw PackError("Cannot open file " + path);
        job.ReportOutput(run.TargetDirectory + "/PIC/" + path.substr(4) + "1.tga", 5);
        if (path == "/in/cut.at3") {
            job.ReportLeftOut();
            job.ReportOutput(run.TargetDirectory + "/PIC/cut3.tga", 5);
            job.ReportLeftOut();
            throw PackError("Cannot decode the image \"2\" in " + path);
        }
    };
    for (const Lines& list : {Lines{"/in/ok.at3", "/in/cut.at3", "/in/later.at3"}, Lines{"/in/ok.at3", "/in/none.at3"}}) {
        SCOPED_TRACE(list[1]);
        host = {};
        std::filesystem::remove(target + "/result.log");
        jobs.clear();
        const RunResult failed = Execute(3, list, pack);
        EXPECT_EQ(failed.Outcome, RunOutcome::Failed);
        EXPECT_EQ(failed.Error, list[1] == "/in/none.at3" ? "Cannot open file /in/none.at3"
                                                         : "Cannot decode the image \"2\" in /in/cut.at3");
        EXPECT_EQ(jobs.size(), 2u);
        const std::string okLines = "#Format: AT3\r\n#Source: /in/ok.at3\r\n" + target + "/PIC/ok.at31.tga\r\n";
        EXPECT_EQ(ResultLog(), list[1] == "/in/none.at3" ? okLines
                                                         : okLines + "#Format: AT3\r\n#Source: /in/cut.at3\r\n" + target +
                                                               "/PIC/cut.at31.tga\r\n\r\n" + target + "/PIC/cut3.tga\r\n\r\n");
    }
}

TEST_F(RunTest, StopInTheMiddleOfAJobKeepsOnlyFinishedJobsInTheLog)
{
    // The jobs write real pictures: the interrupted job's go with its lines.
    std::filesystem::create_directories(target + "/PIC");
    const auto job = [&](const std::string& path, RunContext& run, JobHost& host) {
        const std::string picture = run.TargetDirectory + "/PIC/" + path.substr(4) + ".tga";
        dir.Write("out/PIC/" + path.substr(4) + ".tga", "0123456789");
        host.ReportOutput(picture, 10);
        if (path == "/in/b.at3") {
            this->host.Stop = true;
            CheckStop(host);
            ADD_FAILURE() << "the stop was not seen";
        }
    };
    EXPECT_EQ(Execute(3, {"/in/a.at3", "/in/b.at3", "/in/c.at3"}, job).Outcome, RunOutcome::Stopped);
    EXPECT_EQ(jobs, (Lines{"/in/a.at3", "/in/b.at3"}));
    EXPECT_EQ(ResultLog(), "#Format: AT3\r\n#Source: /in/a.at3\r\n" + target + "/PIC/a.at3.tga\r\n");
    EXPECT_EQ(host.ResultLines[1], "/in/b.at3: stopped; 1 file it had written was removed");
    // The total is of what stays.
    EXPECT_EQ(host.ResultLines.back(), "Total 10 bytes extracted.");
    EXPECT_EQ(extracted, 10);
    EXPECT_TRUE(FileExists(target + "/PIC/a.at3.tga"));
    EXPECT_FALSE(FileExists(target + "/PIC/b.at3.tga")) << "on disk but in no log";

    // A stop during a job that finishes ends the run before the next job.
    host = {};
    std::filesystem::remove(target + "/result.log");
    jobs.clear();
    const auto finishes = [&](const std::string&, RunContext&, JobHost&) { this->host.Stop = true; };
    EXPECT_EQ(Execute(1, {"/in/a.wac", "/in/b.wac"}, finishes).Outcome, RunOutcome::Stopped);
    EXPECT_EQ(jobs, (Lines{"/in/a.wac"}));
    EXPECT_EQ(ResultLog(), "#Format: WAC\r\n#Source: /in/a.wac\r\n");
}

TEST_F(RunTest, FileProgressMovesTheBarOnlyWhenItChanges)
{
    Execute(1, {"/in/a.wac"}, [&](const std::string&, RunContext&, JobHost& job) {
        const std::size_t before = host.ProgressBars.size();
        for (const int percent : {0, 10, 10, 10, 55, 250, 250, -3, -3})
            job.ShowFileProgress(percent);
        EXPECT_EQ(host.ProgressBars.size() - before, 4u); // 10, 55, 100 (clamped), 0
        EXPECT_EQ(job.ProgressPosition(), 0);
        job.SetProgressPosition(150);
        EXPECT_EQ(host.ProgressBars.back().Position, 100);
    });
}

TEST_F(RunTest, ResultLogThatCannotBeCreatedFailsTheRun)
{
    std::filesystem::create_directories(target + "/result.log");
    const RunResult result = Execute(1, {"/in/a.wac"});
    EXPECT_EQ(result.Outcome, RunOutcome::Failed);
    EXPECT_EQ(result.Error, "Cannot create file " + target + "/result.log (it is a directory)");
    std::filesystem::remove(target + "/result.log");

#ifndef _WIN32
    // A disk that fills while the log is written: the message says which file it was.
    RunResult full;
    {
        const FileSizeLimit limit(20);
        ASSERT_TRUE(limit.Active());
        full = Execute(1, {"/in/a.wac"});
    }
    EXPECT_EQ(full.Outcome, RunOutcome::Failed);
    EXPECT_EQ(full.Error, target + "/result.log: Stream write error (File too large)");
    EXPECT_FALSE(FileExists(target + "/result.log"));
#endif
}

TEST_F(RunTest, AnEarlierLogOfOtherSourcesIsKept)
{
    struct Case {
        std::string earlier;
        Lines jobs;
        bool kept;
    };
    const std::string picture = target + "/PIC/p.tga";
    std::vector<Case> cases = {
        // The same packs again, in any order or spelling of the keyword: replaced.
        {"#Format: AT3\r\n#Source: /in/b.at3\r\n#Format: AT3\r\n#Source: /in/a.at3\r\n", {"/in/a.at3", "/in/b.at3"}, false},
        {"#format: AT3\r\n  #source: /in/a.at3  \r\n", {"/in/a.at3", "/in/c.at3"}, false},
        {"not a log at all\r\n", {"/in/a.at3"}, false},
        // Another pack, which only that log can put back: kept.
        {"#Format: AT3\r\n#Source: /in/sprites.at3\r\n" + picture + "\r\n", {"/in/chord.at3"}, true},
        {"#Format: AT3\r\n#Source: /in/a.at3\r\n#Format: AT3\r\n#Source: /in/b.at3\r\n", {"/in/a.at3"}, true},
    };
    // A log saved by an editor as UTF-16 is read as what it says.
    std::string utf16 = "\xFF\xFE";
    for (const char c : std::string("#Source: /in/x.at3\r\n"))
        utf16 += {c, '\0'};
    cases.push_back({utf16, {"/in/a.at3"}, true});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.earlier);
        std::filesystem::remove_all(target);
        std::filesystem::create_directories(target);
        dir.Write("out/result.log", c.earlier);
        dir.Write("out/result_0000.log", "taken by another run");
        host = {};
        ASSERT_EQ(Execute(3, c.jobs).Outcome, RunOutcome::Completed);
        const std::string written = target + (c.kept ? "/result_0001.log" : "/result.log");
        std::string log;
        for (const std::string& job : c.jobs)
            log += "#Format: AT3\r\n#Source: " + job + "\r\n";
        EXPECT_EQ(ReadFileBytes(written), log);
        if (c.kept) {
            EXPECT_EQ(ReadFileBytes(target + "/result.log"), c.earlier);
            EXPECT_EQ(host.ResultLines.back(), "The log was written as " + written + ": " + target +
                                                   "/result.log lists other sources, and was kept");
        } else {
            EXPECT_EQ(host.ResultLines.back().find("The log"), std::string::npos);
        }
        EXPECT_EQ(ReadFileBytes(target + "/result_0000.log"), "taken by another run");
    }
}

TEST_F(RunTest, ARenamedOutputIsListedEvenWhereOutputsAreNot)
{
    // A sound written beside an edited one of its name is named in the log, so that a
    // replay takes it; the usual name is not, as ever.
    const auto report = [&](const std::string& path, RunContext& run, JobHost& job) {
        if (path == "/in/a.wac")
            job.ReportRenamedOutput(run.TargetDirectory + "/a_0000.wav", 100, "a.wav holds another sound and was kept");
        else
            job.ReportOutput(run.TargetDirectory + "/b.wav", 50);
    };
    ASSERT_EQ(Execute(1, {"/in/a.wac", "/in/b.wac"}, report).Outcome, RunOutcome::Completed);
    EXPECT_EQ(ResultLog(), "#Format: WAC\r\n#Source: /in/a.wac\r\n" + target +
                               "/a_0000.wav\r\n#Format: WAC\r\n#Source: /in/b.wac\r\n");
    EXPECT_EQ(host.ResultLines[0],
              "/in/a.wac -> " + target + "/a_0000.wav (a.wav holds another sound and was kept, 100 bytes)");
}

// ---- The run as the window starts it ----

class WindowRunTest : public FormFixture {
protected:
    void SetUp() override
    {
        FormFixture::SetUp();
        form.ReplaceHandler([this](const std::string& path, RunContext& run, JobHost& host) {
            {
                const std::lock_guard lock(mutex);
                jobs.push_back(path);
            }
            if (handler)
                handler(path, run, host);
        });
    }
    void Add(int filter, Lines files)
    {
        window.Dialogs.OpenAnswers.push_back(OpenDialogResult{filter, std::move(files)});
        ASSERT_TRUE(form.Execute([&] { form.BAddLogClick(); }));
    }
    // Starts a run into chosen; false when starting it failed.
    bool Start(std::optional<std::string> chosen)
    {
        window.Dialogs.DirectoryAnswers.push_back(std::move(chosen));
        return form.Execute([&] { form.BProcessClick(); });
    }
    // Waits for the run and shows what it reported, as the window thread does.
    void Finish()
    {
        ASSERT_TRUE(form.WaitForRun());
        form.ShowRunReports();
        EXPECT_FALSE(form.Running());
    }
    std::string ResultLog() const { return ReadFileBytes(target + "/result.log"); }

    std::string target = dir / "out";
    std::function<void(const std::string&, RunContext&, JobHost&)> handler;
    std::mutex mutex;
    Lines jobs;
};

TEST_F(WindowRunTest, ARunWorksOnItsThreadAndEndsWithItsBox)
{
    Add(1, {"/in/a.wac", "/in/b.wac"});
    ASSERT_TRUE(Start(target));
    Finish();

    EXPECT_EQ(jobs, (Lines{"/in/a.wac", "/in/b.wac"}));
    EXPECT_EQ(PathText(std::filesystem::current_path()), target);
    EXPECT_EQ(form.LastRun()->Context().TargetDirectory, target);
    EXPECT_GE(window.RunReportedCalls.load(), 1);
    ASSERT_EQ(window.Dialogs.InformationBoxes.size(), 1u);
    EXPECT_EQ(window.Dialogs.InformationBoxes[0].Text, "Operation complete!");
    EXPECT_EQ(window.Dialogs.InformationBoxes[0].Caption, "Process status:");
    EXPECT_EQ(form.LastRunOutcome(), RunOutcome::Completed);
    EXPECT_EQ(window.Results, (Lines{"/in/a.wac: nothing written", "/in/b.wac: nothing written"}));
    EXPECT_TRUE(window.IsOn(Control::SaveLog));
    EXPECT_FALSE(window.IsOn(Control::Stop));
    EXPECT_EQ(window.CurrentMessage, "");
    EXPECT_EQ(window.ExtractedText, "");
    EXPECT_EQ(window.Progress.Position, 0);
    EXPECT_EQ(window.Total.Position, 0);
    for (const Control control : {Control::BAddLog, Control::BProcess, Control::BRemLog, Control::BClearAll})
        EXPECT_TRUE(window.IsOn(control)) << static_cast<int>(control);
}

TEST_F(WindowRunTest, CancelledChooserRunsNothingButStillCompletes)
{
    Add(1, {"/in/a.wac"});
    ASSERT_TRUE(Start(target));
    Finish(); // leaves a pane behind
    window.SetCurrentMessage("left by someone");

    ASSERT_TRUE(Start(std::nullopt));
    EXPECT_FALSE(form.Running());
    EXPECT_EQ(jobs.size(), 1u);
    EXPECT_TRUE(window.Results.empty());
    EXPECT_EQ(form.LastRun(), nullptr);
    EXPECT_EQ(window.CurrentMessage, "left by someone");
    EXPECT_FALSE(window.IsOn(Control::SaveLog)) << "the pane was emptied";
    window.ChangeResults({"typed"});
    EXPECT_FALSE(window.IsOn(Control::SaveLog)) << "the old results are gone for good";
    EXPECT_EQ(window.Dialogs.InformationBoxes.back().Text, "Operation complete!");
    EXPECT_EQ(form.LastRunOutcome(), RunOutcome::Cancelled);
    // The chooser opened where the previous run left the current directory.
    EXPECT_EQ(window.Dialogs.DirectoryStarts.back(), target);
    EXPECT_TRUE(window.IsOn(Control::BProcess));

    // An empty list runs nothing and says nothing.
    ASSERT_TRUE(form.Execute([&] { form.BClearAllClick(); }));
    const std::size_t boxes = window.Dialogs.InformationBoxes.size();
    ASSERT_TRUE(form.Execute([&] { form.BProcessClick(); }));
    EXPECT_EQ(window.Dialogs.DirectoryStarts.size(), 2u);
    EXPECT_EQ(window.Dialogs.InformationBoxes.size(), boxes);
}

TEST_F(WindowRunTest, TargetIsCreatedWithItsParentsAndLosesItsTrailingSlash)
{
    handler = [](const std::string&, RunContext& run, JobHost&) {
        EXPECT_EQ(PathText(std::filesystem::current_path()), run.TargetDirectory);
    };
    Add(1, {"/in/a.wac"});
    ASSERT_TRUE(Start(dir / "deep/er/out/"));
    Finish();
    EXPECT_EQ(form.LastRun()->Context().TargetDirectory, dir / "deep/er/out");
    EXPECT_TRUE(FileExists(dir / "deep/er/out/result.log"));

    dir.Write("plain-file", "x");
    EXPECT_FALSE(Start(dir / "plain-file/sub"));
    EXPECT_FALSE(form.Running());
    EXPECT_EQ(window.Dialogs.ErrorBoxes.back(),
              "Cannot create directory " + (dir / "plain-file/sub") + " (a part of the path is not a directory)");
    EXPECT_FALSE(Start(dir / "plain-file"));
    EXPECT_EQ(window.Dialogs.ErrorBoxes.back(), "Cannot create directory " + (dir / "plain-file") + " (File exists)");
    EXPECT_TRUE(window.IsOn(Control::BProcess));
}

TEST_F(WindowRunTest, FailingRunShowsItsMessageAndLeavesTheWindowIdle)
{
    // The second job fails after the first left a results line; then the first job fails,
    // before any line.
    for (const std::string failing : {"/in/b.wac", "/in/a.wac"}) {
        SCOPED_TRACE(failing);
        handler = [&](const std::string& path, RunContext& run, JobHost& host) {
            host.SetStatus("Working on " + path);
            host.SetProgressMax(400);
            host.SetProgressPosition(300);
            if (path == failing)
                throw PackError("Cannot open file " + path);
            host.ReportOutput(run.TargetDirectory + "/a.wav", 1044);
        };
        window.Dialogs.ErrorBoxes.clear();
        Add(1, {"/in/a.wac", "/in/b.wac", "/in/c.wac"});
        ASSERT_TRUE(Start(target));
        Finish();
        EXPECT_EQ(window.Dialogs.ErrorBoxes, (Lines{"Cannot open file " + failing + "."}));
        EXPECT_TRUE(window.Dialogs.InformationBoxes.empty());
        EXPECT_EQ(form.LastRunOutcome(), RunOutcome::Failed);
        EXPECT_EQ(window.CurrentMessage, "");
        EXPECT_EQ(window.ExtractedText, "");
        EXPECT_EQ(window.Progress.Position, 0);
        EXPECT_EQ(window.Progress.Maximum, 400) << "the bar keeps the maximum the run gave it";
        EXPECT_EQ(window.Total.Position, 0);
        EXPECT_FALSE(window.IsOn(Control::Stop));
        // The pane ends with the failure, so a saved copy keeps it, and can always be saved.
        ASSERT_FALSE(window.Results.empty());
        EXPECT_EQ(window.Results.back(), failing + ": failed: Cannot open file " + failing);
        EXPECT_EQ(window.Results.size(), failing == "/in/b.wac" ? 2u : 1u);
        EXPECT_TRUE(window.IsOn(Control::SaveLog));
        for (const Control control : {Control::BAddLog, Control::BRemLog, Control::BClearAll, Control::BProcess})
            EXPECT_TRUE(window.IsOn(control)) << static_cast<int>(control);
    }
}

TEST_F(WindowRunTest, TheTargetFolderCanBeShownAfterARunThatWroteFiles)
{
    EXPECT_FALSE(window.IsOn(Control::OpenTarget));
    EXPECT_TRUE(form.Execute([&] { form.OpenTargetClick(); }));
    EXPECT_TRUE(window.OpenedFolders.empty()) << "no run, no folder";

    Add(1, {"/in/a.wac", "/in/b.wac"});
    const struct {
        const char* name;
        bool writes;
        std::string failsOn;
        bool shown;
    } cases[] = {
        {"writes nothing", false, "", false},
        {"writes", true, "", true},
        {"writes, then fails", true, "/in/b.wac", true},
        {"fails before writing", true, "/in/a.wac", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        handler = [&](const std::string& path, RunContext& run, JobHost& host) {
            if (path == c.failsOn)
                throw PackError("Cannot open file " + path);
            if (c.writes)
                host.ReportOutput(run.TargetDirectory + "/a.wav", 1044);
        };
        ASSERT_TRUE(Start(target));
        EXPECT_FALSE(window.IsOn(Control::OpenTarget)) << "off while a run works";
        Finish();
        EXPECT_EQ(window.IsOn(Control::OpenTarget), c.shown);
    }

    // Shown after the last run that wrote; a desktop that cannot show it is said so.
    handler = [&](const std::string&, RunContext& run, JobHost& host) {
        host.ReportOutput(run.TargetDirectory + "/a.wav", 1044);
    };
    ASSERT_TRUE(Start(target));
    Finish();
    EXPECT_TRUE(form.Execute([&] { form.OpenTargetClick(); }));
    EXPECT_EQ(window.OpenedFolders, (Lines{target}));
    window.FolderOpens = false;
    EXPECT_FALSE(form.Execute([&] { form.OpenTargetClick(); }));
    EXPECT_EQ(window.Dialogs.ErrorBoxes.back(), "Cannot show the folder " + target + ": no file manager opened it.");
}

TEST_F(WindowRunTest, SaveResultsIsOffWhileThePaneIsEmpty)
{
    // Typing into the pane before any run offers nothing to save.
    window.ChangeResults({"typed"});
    EXPECT_FALSE(window.IsOn(Control::SaveLog));

    Add(1, {"/in/a.wac"});
    ASSERT_TRUE(Start(target));
    Finish();
    ASSERT_TRUE(window.IsOn(Control::SaveLog));
    // The user deletes everything, and gets it back (an undo).
    window.ChangeResults({});
    EXPECT_FALSE(window.IsOn(Control::SaveLog));
    EXPECT_FALSE(form.IsEnabled(Control::SaveLog));
    window.ChangeResults({"/in/a.wac: nothing written"});
    EXPECT_TRUE(window.IsOn(Control::SaveLog));

    // Once saved, the pane stays saved until the next run, whatever is done to it.
    window.Dialogs.SaveResultsAnswers.push_back(dir / "r.txt");
    ASSERT_TRUE(form.Execute([&] { form.SaveLogClick(); }));
    window.ChangeResults({});
    window.ChangeResults({"again"});
    EXPECT_FALSE(window.IsOn(Control::SaveLog));
}

TEST_F(WindowRunTest, ListCommandsAndASecondRunAreRefusedWhileARunWorks)
{
    Gate gate;
    handler = [&](const std::string& path, RunContext&, JobHost&) {
        if (path == "/in/a.wac")
            gate.Arrive();
    };
    Add(1, {"/in/a.wac", "/in/b.wac"});
    ASSERT_TRUE(Start(target));
    ASSERT_TRUE(gate.WaitForArrival());

    for (const Control control : {Control::BAddLog, Control::BRemLog, Control::BClearAll, Control::BProcess})
        EXPECT_FALSE(window.IsOn(control)) << static_cast<int>(control);
    EXPECT_TRUE(window.IsOn(Control::Stop)) << "Stop is there for the whole run";
    window.Dialogs.OpenAnswers.push_back(OpenDialogResult{2, {"/s/x.was"}});
    window.Selected = {0, 1};
    form.Execute([&] { form.BAddLogClick(); });
    form.Execute([&] { form.BRemLogClick(); });
    form.Execute([&] { form.BClearAllClick(); });
    form.Execute([&] { form.AddFiles({"/s/y.was"}); });
    form.Execute([&] { form.BProcessClick(); });
    const std::string savedList = dir / "during.lst";
    window.Dialogs.SaveListAnswers.push_back(savedList);
    form.Execute([&] { form.BSaveListClick(); }); // saving the list is harmless and allowed
    gate.Release();
    Finish();

    EXPECT_EQ(jobs, (Lines{"/in/a.wac", "/in/b.wac"}));
    EXPECT_EQ(window.Items, (Lines{"/in/a.wac", "/in/b.wac"}));
    EXPECT_EQ(form.JobFormat(), 1);
    EXPECT_EQ(window.Dialogs.OpenAnswers.size(), 1u); // the refused add showed no dialog
    EXPECT_EQ(window.Dialogs.DirectoryStarts.size(), 1u);
    EXPECT_EQ(ReadFileBytes(savedList), "/in/a.wac\r\n/in/b.wac\r\n");
    EXPECT_TRUE(window.Dialogs.ErrorBoxes.empty());
}

TEST_F(WindowRunTest, StopReachesAJobOnTheRunsThread)
{
    Gate gate;
    handler = [&](const std::string& path, RunContext& run, JobHost& host) {
        host.ReportOutput(run.TargetDirectory + "/PIC/" + path.substr(4) + ".tga", 10);
        if (path != "/in/b.at3")
            return;
        gate.Arrive();
        CheckStop(host);
        ADD_FAILURE() << "the stop was not seen";
    };
    Add(3, {"/in/a.at3", "/in/b.at3", "/in/c.at3"});
    ASSERT_TRUE(Start(target));
    ASSERT_TRUE(gate.WaitForArrival());
    form.Execute([&] { form.StopClick(); });
    EXPECT_FALSE(window.IsOn(Control::Stop));
    gate.Release();
    Finish();

    EXPECT_EQ(jobs, (Lines{"/in/a.at3", "/in/b.at3"}));
    EXPECT_EQ(ResultLog(), "#Format: AT3\r\n#Source: /in/a.at3\r\n" + target + "/PIC/a.at3.tga\r\n");
    ASSERT_FALSE(window.Results.empty());
    EXPECT_EQ(window.Results.back(), "Stopped during /in/b.at3 (1 of 3 jobs done).");
    EXPECT_EQ(window.Dialogs.InformationBoxes.back().Text, "Operation stopped.");
    EXPECT_EQ(form.LastRunOutcome(), RunOutcome::Stopped);
    EXPECT_TRUE(window.IsOn(Control::BProcess));

    // The next run starts with the request cleared.
    handler = {};
    jobs.clear();
    ASSERT_TRUE(Start(target));
    Finish();
    EXPECT_EQ(jobs.size(), 3u);
    EXPECT_EQ(window.Dialogs.InformationBoxes.back().Text, "Operation complete!");
}

TEST_F(WindowRunTest, ClosingDuringARunStopsItAndClosesAfterwards)
{
    Gate gate;
    handler = [&](const std::string&, RunContext&, JobHost&) { gate.Arrive(); };
    Add(1, {"/in/a.wac", "/in/b.wac"});
    ASSERT_TRUE(Start(target));
    ASSERT_TRUE(gate.WaitForArrival());
    EXPECT_FALSE(form.CloseRequested()); // the close box
    form.Execute([&] { form.BExitClick(); });
    EXPECT_EQ(window.CloseCalls, 0) << "closed under a running job";
    gate.Release();
    Finish();
    EXPECT_EQ(jobs.size(), 1u);
    EXPECT_EQ(window.CloseCalls, 1);
    EXPECT_TRUE(window.Dialogs.InformationBoxes.empty()) << "no box to click away before the window goes";
    EXPECT_EQ(window.Results.back(), "Stopped after 1 of 2 jobs.");
    EXPECT_EQ(ResultLog(), "#Format: WAC\r\n#Source: /in/a.wac\r\n");
}

} // namespace
} // namespace packsmith::test
