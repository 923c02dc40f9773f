// The processing run: target directory, jobs in order, the result log, the Total bar,
// failures, stops, and what a run refuses while it is in progress.
#include <filesystem>
#include <gtest/gtest.h>

#include "MainFormLogic.h"
#include "PackError.h"
#include "ScriptedWindow.h"
#include "TempDir.h"

namespace packsmith::test {
namespace {

class ProcessRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form.FormCreate();
        target = dir / "out";
    }

    void Add(int filter, std::vector<std::string> files)
    {
        window.Dialogs.OpenAnswers.push_back(OpenDialogResult{filter, std::move(files)});
        ASSERT_TRUE(form.Execute([&] { form.BAddLogClick(); }));
    }
    // Runs into target; false when the run failed.
    bool Process(std::optional<std::string> chosen)
    {
        window.Dialogs.DirectoryAnswers.push_back(std::move(chosen));
        return form.Execute([&] { form.BProcessClick(); });
    }
    bool Process() { return Process(target); }
    // Records every job that runs, for every code.
    void RecordJobs(std::function<void(const std::string&, RunContext&, JobHost&)> extra = {})
    {
        for (FormatCode code = 1; code <= 5; ++code)
            form.Handlers().Attach(code, [this, extra](const std::string& path, RunContext& run, JobHost& host) {
                jobs.push_back(path);
                if (extra)
                    extra(path, run, host);
            });
    }
    std::string ResultLog() const { return ReadFileBytes(target + "/result.log"); }

    TempDir dir;
    std::string target;
    ScriptedWindow window;
    MainFormLogic form{window};
    std::vector<std::string> jobs;
};

TEST_F(ProcessRunTest, TwoJobsWriteTheResultLogAndComplete)
{
    RecordJobs();
    Add(1, {"/in/a.wac", "/in/with blank/b.wac"});
    ASSERT_TRUE(Process());

    EXPECT_EQ(jobs, (std::vector<std::string>{"/in/a.wac", "/in/with blank/b.wac"}));
    EXPECT_EQ(ResultLog(), "#Format: WAC\r\n#Source: /in/a.wac\r\n#Format: WAC\r\n#Source: /in/with blank/b.wac\r\n");
    EXPECT_EQ(form.Run().TargetDirectory, target);
    EXPECT_EQ(std::filesystem::current_path().string(), target);
    ASSERT_EQ(window.Dialogs.InformationBoxes.size(), 1u);
    EXPECT_EQ(window.Dialogs.InformationBoxes[0].Text, "Operation complete!");
    EXPECT_EQ(window.Dialogs.InformationBoxes[0].Caption, "Process status:");
    EXPECT_EQ(form.LastRunOutcome(), RunOutcome::Completed);

    // The pane says what each job did; with nothing extracted there is no total line.
    EXPECT_EQ(window.Results, (std::vector<std::string>{"/in/a.wac: nothing written",
                                                        "/in/with blank/b.wac: nothing written"}));
    EXPECT_TRUE(window.IsOn(Control::SaveLog));
    EXPECT_FALSE(window.IsOn(Control::Stop));
    EXPECT_EQ(window.CurrentMessage, "");
    EXPECT_EQ(window.ExtractedText, "");
    EXPECT_EQ(window.Progress.Position, 0);
    EXPECT_EQ(window.Total.Position, 0);
    // The list commands are back as they were.
    EXPECT_TRUE(window.IsOn(Control::BAddLog));
    EXPECT_TRUE(window.IsOn(Control::BProcess));
    EXPECT_TRUE(window.IsOn(Control::BRemLog));
    EXPECT_TRUE(window.IsOn(Control::BClearAll));
}

TEST_F(ProcessRunTest, TotalBarAfterThreeJobsReads0_33_66ThenReturnsTo0)
{
    RecordJobs();
    Add(3, {"/p/a.at3", "/p/b.at3", "/p/c.at3"});
    ASSERT_TRUE(Process());
    // Set to 0 at the start, once after each job, and back to 0 at the end.
    EXPECT_EQ(window.TotalPositions, (std::vector<int>{0, 0, 0, 33, 66, 0}));
}

TEST_F(ProcessRunTest, ResultLogReplacedWhenPresentAndNeverWrittenForLogs)
{
    RecordJobs();
    std::filesystem::create_directories(target);
    dir.Write("out/result.log", "old content that is longer than the new one\r\n");
    Add(2, {"/s/x.was"});
    ASSERT_TRUE(Process());
    EXPECT_EQ(ResultLog(), "#Format: WAS\r\n#Source: /s/x.was\r\n");

    for (const int filter : {4, 5}) { // project list (code 5) and log file (code 4)
        SCOPED_TRACE(filter);
        std::filesystem::remove(target + "/result.log");
        const auto list = dir.Write("jobs.lst", "/l/r.log\r\n");
        Add(filter, {filter == 4 ? list : "/l/r.log"});
        ASSERT_TRUE(Process());
        EXPECT_FALSE(FileExists(target + "/result.log"));
        EXPECT_EQ(form.Run().ResultList.Lines(), (std::vector<std::string>{"#Format: ", "#Source: /l/r.log"}));
        EXPECT_EQ(window.Dialogs.InformationBoxes.back().Text, "Operation complete!");
    }
}

TEST_F(ProcessRunTest, CancelledChooserRunsNothingButStillCompletes)
{
    RecordJobs();
    Add(1, {"/in/a.wac"});
    ASSERT_TRUE(Process()); // leaves a result list and a pane behind
    window.SetCurrentMessage("left by someone");
    window.TotalPositions.clear();

    ASSERT_TRUE(Process(std::nullopt));
    EXPECT_EQ(jobs.size(), 1u);
    EXPECT_TRUE(window.Results.empty());
    EXPECT_TRUE(form.Run().ResultList.Empty());
    EXPECT_EQ(window.CurrentMessage, "left by someone");
    EXPECT_TRUE(window.TotalPositions.empty());
    EXPECT_EQ(window.Dialogs.InformationBoxes.back().Text, "Operation complete!");
    EXPECT_EQ(form.LastRunOutcome(), RunOutcome::Cancelled);
    // The chooser opened where the previous run left the current directory.
    EXPECT_EQ(window.Dialogs.DirectoryStarts.back(), target);
}

TEST_F(ProcessRunTest, EmptyListRunsNothingAndSaysNothing)
{
    ASSERT_TRUE(form.Execute([&] { form.BProcessClick(); }));
    EXPECT_TRUE(window.Dialogs.DirectoryStarts.empty());
    EXPECT_TRUE(window.Dialogs.InformationBoxes.empty());
}

TEST_F(ProcessRunTest, TargetIsCreatedWithItsParentsAndLosesItsTrailingSlash)
{
    RecordJobs([](const std::string&, RunContext& run, JobHost&) {
        EXPECT_EQ(std::filesystem::current_path().string(), run.TargetDirectory);
    });
    Add(1, {"/in/a.wac"});
    ASSERT_TRUE(Process(dir / "deep/er/out/"));
    EXPECT_EQ(form.Run().TargetDirectory, dir / "deep/er/out");
    EXPECT_TRUE(FileExists(dir / "deep/er/out/result.log"));

    dir.Write("plain-file", "x");
    EXPECT_FALSE(Process(dir / "plain-file/sub"));
    EXPECT_EQ(window.Dialogs.ErrorBoxes.back(), "Cannot create directory " + (dir / "plain-file/sub") + ".");
}

TEST_F(ProcessRunTest, FailingJobEndsTheRunWithItsMessage)
{
    std::filesystem::create_directories(target);
    dir.Write("out/result.log", "from an earlier run\r\n");
    RecordJobs([](const std::string& path, RunContext& run, JobHost& host) {
        host.SetStatus("Working on " + path);
        host.SetProgressPosition(40);
        run.ResultList.Add("/out/partial.tga");
        if (path == "/in/b.wac")
            throw PackError("Cannot open file /in/b.wac");
    });
    Add(1, {"/in/a.wac", "/in/b.wac", "/in/c.wac"});
    EXPECT_FALSE(Process());

    EXPECT_EQ(jobs, (std::vector<std::string>{"/in/a.wac", "/in/b.wac"}));
    EXPECT_EQ(window.Dialogs.ErrorBoxes, (std::vector<std::string>{"Cannot open file /in/b.wac."}));
    EXPECT_TRUE(window.Dialogs.InformationBoxes.empty());
    EXPECT_EQ(ResultLog(), "from an earlier run\r\n");
    EXPECT_TRUE(window.IsOn(Control::Stop));
    EXPECT_FALSE(window.IsOn(Control::SaveLog));
    EXPECT_EQ(window.CurrentMessage, "Working on /in/b.wac");
    EXPECT_EQ(window.Progress.Position, 40);
    EXPECT_EQ(window.Total.Position, 0);
    // The window stays usable: the list commands are restored and a new run may start.
    EXPECT_FALSE(form.Running());
    for (const Control control : {Control::BAddLog, Control::BRemLog, Control::BClearAll, Control::BProcess})
        EXPECT_TRUE(window.IsOn(control)) << static_cast<int>(control);
}

TEST_F(ProcessRunTest, ListCommandsAndASecondRunAreRefusedDuringARun)
{
    const std::string savedList = dir / "during.lst";
    RecordJobs([&](const std::string& path, RunContext&, JobHost& host) {
        if (path != "/in/a.wac")
            return;
        for (const Control control : {Control::BAddLog, Control::BRemLog, Control::BClearAll, Control::BProcess})
            EXPECT_FALSE(window.IsOn(control)) << static_cast<int>(control);
        EXPECT_TRUE(window.IsOn(Control::Stop));
        window.OnProcessMessages = [&](int) {
            window.Dialogs.OpenAnswers.push_back(OpenDialogResult{2, {"/s/x.was"}});
            window.Selected = {0, 1};
            form.Execute([&] { form.BAddLogClick(); });
            form.Execute([&] { form.BRemLogClick(); });
            form.Execute([&] { form.BClearAllClick(); });
            form.Execute([&] { form.DropFiles({"/s/y.was"}); });
            EXPECT_EQ(form.BProcessClick(), RunOutcome::None);
            window.Dialogs.SaveListAnswers.push_back(savedList);
            form.Execute([&] { form.BSaveListClick(); }); // saving the list is harmless and allowed
            window.OnProcessMessages = nullptr;
        };
        host.ProcessMessages();
    });
    Add(1, {"/in/a.wac", "/in/b.wac"});
    ASSERT_TRUE(Process());

    EXPECT_EQ(jobs, (std::vector<std::string>{"/in/a.wac", "/in/b.wac"}));
    EXPECT_EQ(window.Items, (std::vector<std::string>{"/in/a.wac", "/in/b.wac"}));
    EXPECT_EQ(form.JobFormat(), kFormatWac);
    EXPECT_EQ(window.Dialogs.OpenAnswers.size(), 1u); // the refused add showed no dialog
    EXPECT_EQ(window.Dialogs.DirectoryStarts.size(), 1u);
    EXPECT_EQ(ReadFileBytes(savedList), "/in/a.wac\r\n/in/b.wac\r\n");
    EXPECT_TRUE(window.Dialogs.ErrorBoxes.empty());
}

TEST_F(ProcessRunTest, StopInTheMiddleOfAJobKeepsOnlyFinishedJobsInTheLog)
{
    RecordJobs([&](const std::string& path, RunContext& run, JobHost& host) {
        run.ResultList.Add(target + "/PIC/" + path.substr(4) + ".tga");
        if (path == "/in/b.at3") {
            window.OnProcessMessages = [&](int) { form.Execute([&] { form.StopClick(); }); };
            host.ProcessMessages();
            window.OnProcessMessages = nullptr;
            run.ResultList.Add(target + "/PIC/never.tga");
            CheckStop(host);
            ADD_FAILURE() << "the stop was not seen";
        }
    });
    Add(3, {"/in/a.at3", "/in/b.at3", "/in/c.at3"});
    ASSERT_TRUE(Process());

    EXPECT_EQ(jobs, (std::vector<std::string>{"/in/a.at3", "/in/b.at3"}));
    EXPECT_EQ(ResultLog(), "#Format: AT3\r\n#Source: /in/a.at3\r\n" + target + "/PIC/a.at3.tga\r\n");
    EXPECT_EQ(window.Dialogs.InformationBoxes.back().Text, "Operation stopped.");
    EXPECT_EQ(window.Dialogs.InformationBoxes.back().Caption, "Process status:");
    EXPECT_EQ(form.LastRunOutcome(), RunOutcome::Stopped);
    EXPECT_EQ(window.Results.back(), "/in/b.at3: stopped");
    EXPECT_FALSE(window.IsOn(Control::Stop));
    EXPECT_TRUE(window.IsOn(Control::BProcess));
}

TEST_F(ProcessRunTest, StopDuringAJobThatFinishesEndsTheRunBeforeTheNextJob)
{
    RecordJobs([&](const std::string& path, RunContext&, JobHost&) {
        if (path == "/in/a.wac")
            form.StopClick();
    });
    Add(1, {"/in/a.wac", "/in/b.wac"});
    ASSERT_TRUE(Process());
    EXPECT_EQ(jobs, (std::vector<std::string>{"/in/a.wac"}));
    EXPECT_EQ(ResultLog(), "#Format: WAC\r\n#Source: /in/a.wac\r\n");
    EXPECT_EQ(window.Dialogs.InformationBoxes.back().Text, "Operation stopped.");

    // The next run starts with the request cleared.
    jobs.clear();
    form.Handlers().Attach(1, [this](const std::string& path, RunContext&, JobHost&) { jobs.push_back(path); });
    ASSERT_TRUE(Process());
    EXPECT_EQ(jobs.size(), 2u);
    EXPECT_EQ(window.Dialogs.InformationBoxes.back().Text, "Operation complete!");
}

TEST_F(ProcessRunTest, ClosingDuringARunStopsItAndClosesAfterwards)
{
    RecordJobs([&](const std::string&, RunContext&, JobHost& host) {
        window.OnProcessMessages = [&](int) {
            EXPECT_FALSE(form.CloseRequested()); // the close box
            form.Execute([&] { form.BExitClick(); });
            EXPECT_EQ(window.CloseCalls, 0) << "closed under a running job";
            window.OnProcessMessages = nullptr;
        };
        host.ProcessMessages();
    });
    Add(1, {"/in/a.wac", "/in/b.wac"});
    ASSERT_TRUE(Process());
    EXPECT_EQ(jobs.size(), 1u);
    EXPECT_EQ(window.CloseCalls, 1);
    EXPECT_EQ(ResultLog(), "#Format: WAC\r\n#Source: /in/a.wac\r\n");
}

TEST_F(ProcessRunTest, WrittenFilesAreCountedAndReported)
{
    std::vector<std::string> extractedDuringRun;
    RecordJobs([&](const std::string& path, RunContext& run, JobHost& host) {
        if (path == "/in/one.at3") {
            host.ReportOutput(run.TargetDirectory + "/a.wav", 1044);
        } else {
            host.ReportOutput(run.TargetDirectory + "/PIC/x.tga", 3000000000ull);
            host.ReportOutput(run.TargetDirectory + "/PIC/y.tga", 18);
        }
        extractedDuringRun.push_back(window.ExtractedText);
    });
    Add(3, {"/in/one.at3", "/in/two.at3"});
    ASSERT_TRUE(Process());

    EXPECT_EQ(extractedDuringRun, (std::vector<std::string>{"Extracted: 1044", "Extracted: 3000001062"}));
    EXPECT_EQ(window.Results, (std::vector<std::string>{
                                  "/in/one.at3 -> " + target + "/a.wav (1044 bytes)",
                                  "/in/two.at3 -> 2 files (3000000018 bytes)",
                                  "Total 3000001062 bytes extracted.",
                              }));
    EXPECT_EQ(form.ExtractedBytes(), 3000001062);
    EXPECT_EQ(window.ExtractedText, "");
}

TEST_F(ProcessRunTest, FileProgressPumpsEventsOnlyWhenTheBarMoves)
{
    RecordJobs([&](const std::string&, RunContext&, JobHost& host) {
        const int before = window.ProcessMessagesCalls;
        for (const int percent : {0, 10, 10, 10, 55, 250, 250, -3, -3})
            host.ShowFileProgress(percent);
        EXPECT_EQ(window.ProcessMessagesCalls - before, 4); // 10, 55, 100 (clamped), 0
        EXPECT_EQ(host.ProgressPosition(), 0);
        host.SetProgressPosition(150);
        EXPECT_EQ(window.Progress.Position, 100);
    });
    Add(1, {"/in/a.wac"});
    ASSERT_TRUE(Process());
}

TEST_F(ProcessRunTest, ResultLogThatCannotBeCreatedFailsTheRun)
{
    RecordJobs();
    std::filesystem::create_directories(target + "/result.log");
    Add(1, {"/in/a.wac"});
    EXPECT_FALSE(Process());
    EXPECT_EQ(window.Dialogs.ErrorBoxes.back(), "Cannot create file " + target + "/result.log.");
    EXPECT_TRUE(window.Dialogs.InformationBoxes.empty());
}

} // namespace
} // namespace packsmith::test
