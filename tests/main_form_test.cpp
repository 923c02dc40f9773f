// The job list commands, their enabling rules and the application-level error display.
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

#include "core/ErrorText.h"
#include "core/PackError.h"
#include "core/PathUtils.h"
#include "gui/MainFormLogic.h"
#include "gui/RichText.h"
#include "jobs/FormatTable.h"
#include "testing/FormFixture.h"
#include "testing/Gate.h"
#include "testing/ScriptedWindow.h"
#include "testing/TempDir.h"

namespace packsmith::test {
namespace {

constexpr Control kListButtons[] = {Control::BSaveList, Control::BRemLog, Control::BClearAll, Control::BProcess};

class MainFormTest : public FormFixture {
protected:
    bool Add(int filter, std::vector<std::string> files)
    {
        window.Dialogs.OpenAnswers.push_back(OpenDialogResult{filter, std::move(files)});
        return form.Execute([&] { form.BAddLogClick(); });
    }
    void CancelAdd()
    {
        window.Dialogs.OpenAnswers.push_back(std::nullopt);
        form.Execute([&] { form.BAddLogClick(); });
    }
    void Remove(std::set<int> selected)
    {
        window.Selected = std::move(selected);
        form.Execute([&] { form.BRemLogClick(); });
    }
    void ExpectListButtons(bool saveList, bool remove, bool clearAll, bool process)
    {
        EXPECT_EQ(window.IsOn(Control::BSaveList), saveList);
        EXPECT_EQ(window.IsOn(Control::BRemLog), remove);
        EXPECT_EQ(window.IsOn(Control::BClearAll), clearAll);
        EXPECT_EQ(window.IsOn(Control::BProcess), process);
        for (const Control control : kListButtons)
            EXPECT_EQ(form.IsEnabled(control), window.IsOn(control)) << "logic and window disagree";
    }
};

TEST_F(MainFormTest, StartsWithOnlyAddAndExitEnabled)
{
    const std::pair<Control, bool> expected[] = {
        {Control::BAddLog, true},  {Control::BSaveList, false}, {Control::BRemLog, false}, {Control::BClearAll, false},
        {Control::BProcess, false}, {Control::BExit, true},     {Control::Stop, false},    {Control::SaveLog, false},
        {Control::Coding, false},
    };
    for (const auto& [control, on] : expected)
        EXPECT_EQ(window.IsOn(control), on) << static_cast<int>(control);
    EXPECT_EQ(window.ExtractedText, "Extracted: 0");
    EXPECT_EQ(window.CurrentMessage, "");
    EXPECT_EQ(form.JobFormat(), kFormatNone);
    EXPECT_EQ(form.Coding(), ReplacementCoding::ExactOrRaw);
    EXPECT_EQ(window.Progress.Maximum, 100);
    EXPECT_EQ(window.Total.Maximum, 100);
}

TEST(FormatTable, FilterPositionsOptionsAndExtensionsNameOneFormat)
{
    const struct {
        int position;
        FormatCode code;
        std::string_view name, option, file;
        bool rebuilds;
    } rows[] = {{1, 1, "WAC", "wac", "/a/b.wac", true},  {2, 2, "WAS", "was", "B.WAS", true},
                {3, 3, "AT3", "at3", "menu.At3", true},  {4, 5, "", "lst", "/x/jobs.lst", false},
                {5, 4, "", "log", "result.LOG", false}, {6, 6, "", "pack-wac", "", false},
                {7, 7, "", "pack-was", "", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.position);
        const Format& format = FormatAtFilter(row.position);
        EXPECT_EQ(format.Code, row.code);
        EXPECT_EQ(format.LogName, row.name);
        EXPECT_EQ(FormatByCode(row.code), &format);
        EXPECT_EQ(FormatByOption(row.option), &format);
        // ".wav" is packed either way, so the extension alone names no format.
        EXPECT_EQ(FormatForFile(row.file.empty() ? "x.wav" : row.file), row.file.empty() ? nullptr : &format);
        EXPECT_EQ(FilterPosition(format), row.position);
        EXPECT_EQ(RebuildFor(row.name) != nullptr, row.rebuilds);
    }
    EXPECT_EQ(FormatByCode(kFormatNone), nullptr);
    EXPECT_EQ(FormatByCode(8), nullptr);
    EXPECT_EQ(RebuildFor("at3"), nullptr) << "names are compared exactly";
    EXPECT_EQ(OptionNames(", ", " or "), "wac, was, at3, lst, log, pack-wac or pack-was");
    for (const char* path : {"picture.tga", "noext", "/dir.wac/file", "a.wac.bak"})
        EXPECT_EQ(FormatForFile(path), nullptr) << path;
    for (const int bad : {0, 8, -1}) {
        try {
            FormatAtFilter(bad);
            ADD_FAILURE() << bad;
        } catch (const PackError& e) {
            EXPECT_EQ(std::string(e.what()), "List index out of bounds (" + std::to_string(bad) + ")");
        }
    }
}

TEST_F(MainFormTest, AddKeepsOneFormatAndAddsEachFileOnce)
{
    ASSERT_TRUE(Add(1, {"/w/a.wac", "/w/b.wac", "/w/a.wac"}));
    EXPECT_EQ(window.Items, (std::vector<std::string>{"/w/a.wac", "/w/b.wac"}));
    EXPECT_EQ(window.CurrentMessage, "/w/a.wac is on the list already");
    ASSERT_TRUE(Add(1, {"/w/b.wac", "/w/d.wac", "/w/a.wac"}));
    EXPECT_EQ(window.Items, (std::vector<std::string>{"/w/a.wac", "/w/b.wac", "/w/d.wac"}));
    EXPECT_EQ(window.CurrentMessage, "2 of the files are on the list already");
    ASSERT_TRUE(Add(1, {"/w/e.wac"}));
    EXPECT_EQ(window.CurrentMessage, "");
    ExpectListButtons(true, true, true, true);
    window.ClearItems();
    ASSERT_TRUE(Add(1, {"/w/a.wac", "/w/b.wac"}));

    ASSERT_TRUE(Add(2, {"/w/c.was"}));
    EXPECT_EQ(window.Items, (std::vector<std::string>{"/w/c.was"}));
    EXPECT_EQ(form.JobFormat(), 2);

    ASSERT_TRUE(Add(5, {"/w/r.log"}));
    EXPECT_EQ(form.JobFormat(), 4);
    EXPECT_EQ(window.Items, (std::vector<std::string>{"/w/r.log"}));
}

TEST_F(MainFormTest, ProjectListReplacesTheWholeList)
{
    const auto first = dir.Write("first.lst", "/l/one.log\r\n/l/two with blank.log\r\n");
    const auto second = dir.Write("second.lst", "/l/three.log\n/l/four.log");
    ASSERT_TRUE(Add(1, {"/w/a.wac"}));

    ASSERT_TRUE(Add(4, {first, second})); // only the first chosen file is read
    EXPECT_EQ(form.JobFormat(), 5);
    EXPECT_EQ(window.Items, (std::vector<std::string>{"/l/one.log", "/l/two with blank.log"}));

    ASSERT_TRUE(Add(4, {second})); // also when the list already held project-list entries
    EXPECT_EQ(window.Items, (std::vector<std::string>{"/l/three.log", "/l/four.log"}));
    ExpectListButtons(true, true, true, true);
}

TEST_F(MainFormTest, EmptyProjectListLeavesOnlyClearAllEnabled)
{
    const auto empty = dir.Write("empty.lst", "");
    ASSERT_TRUE(Add(1, {"/w/a.wac"}));
    ASSERT_TRUE(Add(4, {empty}));
    EXPECT_TRUE(window.Items.empty());
    ExpectListButtons(false, false, true, false);
}

TEST_F(MainFormTest, CancelledAddRestoresButtonsOnlyForAFilledList)
{
    CancelAdd();
    ExpectListButtons(false, false, false, false);

    ASSERT_TRUE(Add(3, {"/p/menu.at3"}));
    CancelAdd();
    ExpectListButtons(true, true, true, true);
    EXPECT_EQ(window.Items.size(), 1u);
    EXPECT_EQ(form.JobFormat(), 3);
}

TEST_F(MainFormTest, UnreadableProjectListReportsAndLeavesButtonsDisabled)
{
    const auto good = dir.Write("good.lst", "/l/one.log\r\n");
    const std::string missing = dir / "missing.lst";

    // Same format: the list is not emptied, but the buttons stay off although entries remain.
    ASSERT_TRUE(Add(4, {good}));
    EXPECT_FALSE(Add(4, {missing}));
    ASSERT_EQ(window.Dialogs.ErrorBoxes.size(), 1u);
    // The io layer may add the system's reason after the name.
    EXPECT_EQ(window.Dialogs.ErrorBoxes[0].rfind("Cannot open file " + missing, 0), 0u);
    EXPECT_EQ(window.Items, (std::vector<std::string>{"/l/one.log"}));
    ExpectListButtons(false, false, true, false);

    // Another format: the list was emptied before the read failed.
    ASSERT_TRUE(Add(1, {"/w/a.wac"}));
    EXPECT_FALSE(Add(4, {missing}));
    EXPECT_TRUE(window.Items.empty());
    EXPECT_EQ(form.JobFormat(), 5);
}

TEST_F(MainFormTest, RemoveDeletesTheSelectionAndFocusesTheLastEntry)
{
    ASSERT_TRUE(Add(1, {"/a", "/b", "/c", "/d"}));
    Remove({1, 2});
    EXPECT_EQ(window.Items, (std::vector<std::string>{"/a", "/d"}));
    EXPECT_EQ(window.FocusedItem, 1);
    ExpectListButtons(true, true, true, true);

    window.FocusedItem.reset();
    Remove({});
    EXPECT_EQ(window.Items, (std::vector<std::string>{"/a", "/d"}));
    EXPECT_EQ(window.FocusedItem, 1);

    Remove({0, 1});
    EXPECT_TRUE(window.Items.empty());
    EXPECT_EQ(window.FocusedItem, -1);
    ExpectListButtons(false, false, false, false);
}

TEST_F(MainFormTest, ClearAllEmptiesTheListButKeepsTheFormat)
{
    ASSERT_TRUE(Add(2, {"/s/a.was", "/s/b.was"}));
    form.Execute([&] { form.BClearAllClick(); });
    EXPECT_TRUE(window.Items.empty());
    EXPECT_EQ(form.JobFormat(), 2);
    ExpectListButtons(false, false, false, false);
    EXPECT_TRUE(window.IsOn(Control::BAddLog));
}

TEST_F(MainFormTest, SavedJobListLoadsBackAsAProjectList)
{
    const std::string path = dir / "jobs.lst";
    ASSERT_TRUE(Add(5, {"/l/a b.log", "/l/c.log"}));
    window.Dialogs.SaveListAnswers.push_back(path);
    ASSERT_TRUE(form.Execute([&] { form.BSaveListClick(); }));
    EXPECT_EQ(ReadFileBytes(path), "/l/a b.log\r\n/l/c.log\r\n");
    EXPECT_TRUE(window.Dialogs.InformationBoxes.empty());

    form.Execute([&] { form.BClearAllClick(); });
    ASSERT_TRUE(Add(4, {path}));
    EXPECT_EQ(window.Items, (std::vector<std::string>{"/l/a b.log", "/l/c.log"}));

    window.Dialogs.SaveListAnswers.push_back(std::nullopt);
    ASSERT_TRUE(form.Execute([&] { form.BSaveListClick(); }));

    const std::string unwritable = dir / "no/such/dir/jobs.lst";
    window.Dialogs.SaveListAnswers.push_back(unwritable);
    EXPECT_FALSE(form.Execute([&] { form.BSaveListClick(); }));
    EXPECT_EQ(window.Dialogs.ErrorBoxes.back().rfind("Cannot create file " + unwritable, 0), 0u);
}

TEST_F(MainFormTest, SaveResultsWritesTheFormTheExtensionNamesAndNamesTheFile)
{
    const std::vector<std::string> lines = {"/w/a.wac -> /out/a.wav (1044 bytes)", "caf\xC3\xA9 {x}\\y\tz",
                                            "Total 1044 bytes extracted."};
    const std::string text = "/w/a.wac -> /out/a.wav (1044 bytes)\r\ncaf\xC3\xA9 {x}\\y\tz\r\n"
                             "Total 1044 bytes extracted.\r\n";
    std::filesystem::create_directory(dir / "d.rtf");
    const struct {
        std::string name;
        bool rtf;
    } rows[] = {{"b.txt", false},     {"c.rtf", true},   {"C.RtF", true},        {"plain", false},
                {"e.rtf.txt", false}, {"f.rtfx", false}, {"d.rtf/inside", false}};
    window.Results = lines;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        window.SetEnabled(Control::SaveLog, true);
        window.Dialogs.SaveResultsAnswers.push_back(dir / row.name);
        ASSERT_TRUE(form.Execute([&] { form.SaveLogClick(); }));
        EXPECT_EQ(ReadFileBytes(dir / row.name), row.rtf ? ResultsAsRtf(lines) : text);
        EXPECT_EQ(window.Dialogs.InformationBoxes.back().Text, ExtractFileName(row.name));
        EXPECT_EQ(window.Dialogs.InformationBoxes.back().Caption, "Operation status");
        EXPECT_FALSE(window.IsOn(Control::SaveLog));
    }
    EXPECT_EQ(window.Dialogs.InformationBoxes.size(), std::size(rows));

    // Cancelled: nothing written, nothing changes.
    window.SetEnabled(Control::SaveLog, true);
    window.Dialogs.SaveResultsAnswers.push_back(std::nullopt);
    ASSERT_TRUE(form.Execute([&] { form.SaveLogClick(); }));
    EXPECT_EQ(window.Dialogs.InformationBoxes.size(), std::size(rows));
    EXPECT_TRUE(window.IsOn(Control::SaveLog));

    // A file that cannot be written is reported, and the pane stays to be saved elsewhere.
    const std::string unwritable = dir / "no/such/dir/r.rtf";
    window.Dialogs.SaveResultsAnswers.push_back(unwritable);
    EXPECT_FALSE(form.Execute([&] { form.SaveLogClick(); }));
    EXPECT_EQ(window.Dialogs.ErrorBoxes.back().rfind("Cannot create file " + unwritable, 0), 0u);
    EXPECT_TRUE(window.IsOn(Control::SaveLog));
}

TEST(RichText, EscapesWhatRtfReservesAndEncodesNonAscii)
{
    const std::string rtf = ResultsAsRtf({"a{b}c\\d", "caf\xC3\xA9 \xF0\x9F\x98\x80", "bad \xFF byte", "tab\there"});
    EXPECT_NE(rtf.find("a\\{b\\}c\\\\d\\par"), std::string::npos);
    EXPECT_NE(rtf.find("caf\\u233? \\u-10179?\\u-8704?\\par"), std::string::npos); // U+1F600 as a surrogate pair
    EXPECT_NE(rtf.find("bad \\'ff byte\\par"), std::string::npos);
    EXPECT_NE(rtf.find("tab\\tab here\\par"), std::string::npos);
    EXPECT_EQ(rtf.back(), '\n');
    // Only ASCII and balanced braces in the file.
    int depth = 0;
    for (std::size_t i = 0; i < rtf.size(); ++i) {
        ASSERT_LT(static_cast<unsigned char>(rtf[i]), 0x80);
        if (rtf[i] == '\\') {
            ++i;
            continue;
        }
        depth += rtf[i] == '{' ? 1 : rtf[i] == '}' ? -1 : 0;
        ASSERT_GE(depth, 0);
    }
    EXPECT_EQ(depth, 0);
}

TEST(ErrorText, AppendsAFullStopAfterCharactersThatSortAfterIt)
{
    const std::pair<std::string, std::string> rows[] = {
        {"Stream read error", "Stream read error."},
        {"Cannot open file /x/a.wac", "Cannot open file /x/a.wac."},
        {"List index out of bounds (3)", "List index out of bounds (3)"}, // ")" sorts before "."
        {"Done.", "Done."},
        {"Oops!", "Oops!"},
        {"", ""},
        {"caf\xC3\xA9", "caf\xC3\xA9."}, // bytes above 0x7F sort after "."
    };
    for (const auto& [message, shown] : rows)
        EXPECT_EQ(ErrorBoxText(message), shown) << message;
}

TEST_F(MainFormTest, ErrorsOfAnyKindReachTheErrorBox)
{
    EXPECT_FALSE(form.Execute([] { throw PackError("Stream write error"); }));
    EXPECT_FALSE(form.Execute([] { throw std::bad_alloc(); }));
    EXPECT_FALSE(form.Execute([] { throw 42; }));
    EXPECT_EQ(window.Dialogs.ErrorBoxes, (std::vector<std::string>{"Stream write error.", "Out of memory.", "Unknown error."}));
}

TEST_F(MainFormTest, DroppedFilesAreAddedInTheFirstFilesFormat)
{
    ASSERT_TRUE(Add(2, {"/s/x.was"}));
    EXPECT_FALSE(form.Execute([&] { form.AddFiles({"/w/a.WAC", "/w/pic.tga", "/w/b.wac", "/w/c.was"}); }));
    EXPECT_EQ(window.Items, (std::vector<std::string>{"/w/a.WAC", "/w/b.wac"}));
    EXPECT_EQ(form.JobFormat(), 1);
    ExpectListButtons(true, true, true, true);
    EXPECT_EQ(window.Dialogs.ErrorBoxes,
              (std::vector<std::string>{"Cannot add /w/pic.tga: files added together must all be of one format."}));

    // A first file of no known kind refuses the whole drop and changes nothing.
    EXPECT_FALSE(form.Execute([&] { form.AddFiles({"/w/notes.txt", "/w/d.wac"}); }));
    EXPECT_EQ(window.Items.size(), 2u);
    EXPECT_EQ(window.Dialogs.ErrorBoxes.back(),
              "Cannot add /w/notes.txt: only .wac, .was, .at3, .lst, .log and .wav files can be added.");
    ExpectListButtons(true, true, true, true);

    // A dropped project list is loaded like a chosen one.
    const auto list = dir.Write("jobs.lst", "/l/one.log\r\n");
    ASSERT_TRUE(form.Execute([&] { form.AddFiles({list}); }));
    EXPECT_EQ(window.Items, (std::vector<std::string>{"/l/one.log"}));
    EXPECT_TRUE(window.Dialogs.OpenAnswers.empty());
}

TEST_F(MainFormTest, DroppedSoundFilesAskHowToBePackedAndACancelChangesNothing)
{
    ASSERT_TRUE(Add(1, {"/w/a.wac"}));
    // Answered: the files join a list of the chosen format, whatever the case of ".wav".
    window.Dialogs.ChoiceAnswers = {1};
    ASSERT_TRUE(form.Execute([&] { form.AddFiles({"/w/voice.wav", "/w/b.WAV"}); }));
    EXPECT_EQ(window.Items, (std::vector<std::string>{"/w/voice.wav", "/w/b.WAV"}));
    EXPECT_EQ(form.JobFormat(), 7);
    ASSERT_EQ(window.Dialogs.Questions.size(), 1u);
    EXPECT_EQ(window.Dialogs.Questions[0].Text, "How should the 2 .wav files be packed?");
    EXPECT_EQ(window.Dialogs.Questions[0].Choices,
              (std::vector<std::string>{"As Packed WAV (.wac)", "As Packed Music (.was)"}));
    EXPECT_EQ(window.Dialogs.Questions[0].Preferred, 0u);

    // The list's own way is the one offered first; cancelled, nothing changes.
    window.Dialogs.ChoiceAnswers = {std::nullopt};
    EXPECT_TRUE(form.Execute([&] { form.AddFiles({"/w/c.wav"}); }));
    EXPECT_EQ(window.Dialogs.Questions.back().Text, "How should c.wav be packed?");
    EXPECT_EQ(window.Dialogs.Questions.back().Preferred, 1u);
    EXPECT_EQ(window.Items.size(), 2u);
    EXPECT_EQ(form.JobFormat(), 7);
    EXPECT_TRUE(window.Dialogs.ErrorBoxes.empty());
    ExpectListButtons(true, true, true, true);
}

TEST_F(MainFormTest, ADroppedFolderStandsForItsFilesOfTheListsFormat)
{
    for (const char* name : {"c.at3", "b.wac", "a.AT3", "notes.txt", "sub/d.at3"})
        dir.Write(std::string("packs/") + name, "x");
    std::filesystem::create_directories(dir / "packs/folder.at3");
    dir.Write("sounds/x.wav", "x");
    const std::string packs = dir / "packs";

    // On a list without a format, the folder's first file that can be added decides it
    // (a.AT3); only the files directly in the folder are taken, in name order.
    ASSERT_TRUE(form.Execute([&] { form.AddFiles({packs + "/"}); }));
    EXPECT_EQ(form.JobFormat(), 3);
    EXPECT_EQ(window.Items, (std::vector<std::string>{packs + "/a.AT3", packs + "/c.at3"}));
    ExpectListButtons(true, true, true, true);

    // Again, among other files: what is listed stays once; the files of the list's format
    // are taken, while a dropped file of another format is refused.
    window.Dialogs.ErrorBoxes.clear();
    EXPECT_FALSE(form.Execute([&] { form.AddFiles({packs, "/w/e.at3", "/w/f.was"}); }));
    EXPECT_EQ(window.Items, (std::vector<std::string>{packs + "/a.AT3", packs + "/c.at3", "/w/e.at3"}));
    EXPECT_EQ(window.CurrentMessage, "2 of the files are on the list already");
    EXPECT_EQ(window.Dialogs.ErrorBoxes,
              (std::vector<std::string>{"Cannot add /w/f.was: files added together must all be of one format."}));

    // A folder holding nothing of the list's format, or nothing that can be added at all.
    EXPECT_FALSE(form.Execute([&] { form.AddFiles({dir / "sounds"}); }));
    EXPECT_EQ(window.Dialogs.ErrorBoxes.back(), "Cannot add " + (dir / "sounds") + ": it holds no .at3 files.");
    EXPECT_EQ(window.Items.size(), 3u);
    MainFormLogic fresh(window);
    dir.Write("only-text/notes.txt", "x");
    EXPECT_FALSE(fresh.Execute([&] { fresh.AddFiles({dir / "only-text"}); }));
    EXPECT_EQ(window.Dialogs.ErrorBoxes.back(), "Cannot add " + (dir / "only-text") +
                                                    ": it holds no .wac, .was, .at3, .lst, .log or .wav files.");
}

TEST_F(MainFormTest, CodingChoiceIsOnlyOfferedForAListOfLogsThatCanRun)
{
    const auto list = dir.Write("jobs.lst", "/l/one.log\r\n");
    const auto empty = dir.Write("empty.lst", "");
    const struct {
        const char* step;
        std::function<void()> act;
        bool on;
    } steps[] = {
        {"sound packs", [&] { Add(1, {"/w/a.wac"}); }, false},
        {"result logs", [&] { Add(5, {"/l/r.log", "/l/s.log"}); }, true},
        {"a cancelled add", [&] { CancelAdd(); }, true},
        {"one log removed", [&] { Remove({0}); }, true},
        {"the last log removed", [&] { Remove({0}); }, false},
        {"a log dropped", [&] { form.AddFiles({"/l/t.LOG"}); }, true},
        {"an image pack", [&] { Add(3, {"/p/menu.at3"}); }, false},
        {"a project list of logs", [&] { Add(4, {list}); }, true},
        {"an empty project list", [&] { Add(4, {empty}); }, false},
        {"a log again", [&] { Add(5, {"/l/r.log"}); }, true},
        {"all cleared", [&] { form.BClearAllClick(); }, false},
    };
    for (const auto& step : steps) {
        step.act();
        EXPECT_EQ(window.IsOn(Control::Coding), step.on) << "after " << step.step;
        EXPECT_EQ(form.IsEnabled(Control::Coding), step.on) << "logic and window disagree after " << step.step;
    }
    EXPECT_TRUE(window.Dialogs.ErrorBoxes.empty());
}

TEST_F(MainFormTest, ChosenCodingReachesTheRunAndIsHeldDuringIt)
{
    std::vector<ReplacementCoding> seen; // on the run's thread, read only after the run has ended
    Gate gate;
    form.ReplaceHandler([&](const std::string&, RunContext& run, JobHost&) {
        seen.push_back(run.Coding);
        if (seen.size() == 1)
            gate.Arrive();
    });
    ASSERT_TRUE(Add(5, {"/l/r.log"}));
    for (const ReplacementCoding coding :
         {ReplacementCoding::Lossy, ReplacementCoding::Raw, ReplacementCoding::ExactOrRaw}) {
        SCOPED_TRACE(static_cast<int>(coding));
        form.SetReplacementCoding(coding);
        window.Dialogs.DirectoryAnswers.push_back(dir / "out");
        ASSERT_TRUE(form.Execute([&] { form.BProcessClick(); }));
        if (coding == ReplacementCoding::Lossy) { // the first run waits at the gate
            ASSERT_TRUE(gate.WaitForArrival());
            EXPECT_FALSE(window.IsOn(Control::Coding)) << "a working run's coding cannot change";
            gate.Release();
        }
        ASSERT_TRUE(form.WaitForRun());
        form.ShowRunReports();
        ASSERT_FALSE(form.Running());
        ASSERT_NE(form.LastRun(), nullptr);
        EXPECT_EQ(form.LastRun()->Context().Coding, coding);
        EXPECT_EQ(seen.back(), coding);
        EXPECT_TRUE(window.IsOn(Control::Coding));
    }
    EXPECT_EQ(seen.size(), 3u);
}

TEST_F(MainFormTest, ExitClosesTheWindowWhenNoRunIsInProgress)
{
    EXPECT_TRUE(form.CloseRequested());
    form.Execute([&] { form.BExitClick(); });
    EXPECT_EQ(window.CloseCalls, 1);
}

} // namespace
} // namespace packsmith::test
