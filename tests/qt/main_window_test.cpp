// The real window under the offscreen platform: its controls, their enabling through the
// real buttons, a whole run, drops, and the real dialogs' set-up.
#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>
#include <gtest/gtest.h>

#include "core/PackError.h"
#include "gui/qt/AboutBox.h"
#include "gui/qt/DirectoryChooser.h"
#include "gui/qt/ElidedLabel.h"
#include "gui/qt/QtDialogs.h"
#include "gui/qt/mainform/TMainForm.h"
#include "gui/qt/mainform/ToolBarPictures.h"
#include "testing/Gate.h"
#include "testing/ScriptedDialogs.h"
#include "testing/TempDir.h"

namespace packsmith::test {
namespace {

using qt::TMainForm;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    }

    template <class T = QWidget>
    T* Find(const char* name)
    {
        T* widget = form.findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    void Click(const char* name) { QTest::mouseClick(Find<QAbstractButton>(name), Qt::LeftButton); }
    bool On(const char* name) { return Find(name)->isEnabled(); }
    std::vector<std::string> Items()
    {
        std::vector<std::string> items;
        for (int i = 0; i < Find<QListWidget>("LogList")->count(); ++i)
            items.push_back(Find<QListWidget>("LogList")->item(i)->text().toStdString());
        return items;
    }
    void AddThroughButton(int filter, std::vector<std::string> files)
    {
        dialogs.OpenAnswers.push_back(OpenDialogResult{filter, std::move(files)});
        Click("BAddLog");
    }
    // Runs every job through a handler that records it and runs body (on the run's thread).
    void OnJob(std::function<void(const std::string&, RunContext&, JobHost&)> body)
    {
        form.Logic().ReplaceHandler([this, body](const std::string& path, RunContext& run, JobHost& host) {
            {
                const std::lock_guard lock(jobsMutex);
                jobs.push_back(path);
            }
            body(path, run, host);
        });
    }
    // Handles the window's events until the run has ended and been shown.
    void WaitForRunEnd() { ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Logic().Running(); }, 10000)); }
    std::string Text(const char* label) { return Find<QLabel>(label)->text().toStdString(); }
    // Drops files as a drag source offering actions would, proposing what the modifiers ask.
    void Drop(const QStringList& files, Qt::DropActions actions = Qt::CopyAction,
              Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        auto* data = new QMimeData;
        QList<QUrl> urls;
        for (const QString& file : files)
            urls << QUrl::fromLocalFile(file);
        data->setUrls(urls);
        QWidget* viewport = Find<QListWidget>("LogList")->viewport();
        QDragEnterEvent enter(QPoint(5, 5), actions, data, Qt::LeftButton, modifiers);
        QApplication::sendEvent(viewport, &enter);
        dropAccepted = enter.isAccepted();
        QDropEvent drop(QPointF(5, 5), actions, data, Qt::LeftButton, modifiers);
        proposedAction = drop.proposedAction();
        QApplication::sendEvent(viewport, &drop);
        droppedAs = drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
        delete data;
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    TMainForm form{&dialogs};
    std::mutex jobsMutex;
    std::vector<std::string> jobs;
    bool dropAccepted = false;
    Qt::DropAction proposedAction = Qt::IgnoreAction;
    Qt::DropAction droppedAs = Qt::IgnoreAction;
};

TEST_F(MainWindowTest, ControlsHaveTheirNamesPlacesAndStartUpStates)
{
    EXPECT_EQ(form.windowTitle(), "Packsmith");
    EXPECT_EQ(form.size(), QSize(688, 464));
    EXPECT_FALSE(form.windowIcon().isNull());

    // The tool bar's buttons, left to right, with their start-up states.
    const std::pair<const char*, bool> buttons[] = {{"BAddLog", true},   {"BSaveList", false}, {"BRemLog", false},
                                                    {"BClearAll", false}, {"BProcess", false}, {"BExit", true}};
    int left = -1;
    for (const auto& [name, enabled] : buttons) {
        auto* button = Find<QToolButton>(name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->isEnabled(), enabled) << name;
        EXPECT_GT(button->x(), left) << name;
        EXPECT_FALSE(button->toolTip().isEmpty()) << name;
        EXPECT_EQ(button->parentWidget(), Find("ToolBar1"));
        left = button->x();
    }
    EXPECT_EQ(Find<QToolBar>("ToolBar1")->height(), 26);

    // After the buttons, the choice of how a rebuild stores pictures, reached by its label's
    // mnemonic; off until the list holds result logs.
    auto* coding = Find<QComboBox>("Coding");
    ASSERT_NE(coding, nullptr);
    EXPECT_GT(coding->x(), left);
    EXPECT_EQ(Find<QLabel>("CodingLabel")->buddy(), coding);
    EXPECT_EQ(Find<QLabel>("CodingLabel")->text(), "Rebuilt &pictures:");
    EXPECT_EQ(coding->count(), 3);
    EXPECT_EQ(coding->currentIndex(), 0);
    for (int i = 0; i < coding->count(); ++i)
        EXPECT_FALSE(coding->itemData(i, Qt::ToolTipRole).toString().isEmpty()) << i;
    EXPECT_FALSE(coding->isEnabled());
    EXPECT_LE(coding->geometry().bottom(), Find<QToolBar>("ToolBar1")->height()) << "cut off by the tool bar";

    auto* list = Find<QListWidget>("LogList");
    EXPECT_EQ(list->height(), 189);
    EXPECT_EQ(list->width(), 688);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(list->count(), 0);
    auto* results = Find<QTextEdit>("Results");
    EXPECT_FALSE(results->isReadOnly());
    EXPECT_EQ(results->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(results->y(), list->y() + list->height());

    auto* group = Find<QGroupBox>("GroupBox1");
    EXPECT_EQ(group->title(), " Process ");
    EXPECT_EQ(group->height(), 66);
    EXPECT_EQ(group->mapTo(&form, QPoint(0, group->height())).y(), 464);
    EXPECT_EQ(results->y() + results->height(), group->y());

    const struct {
        const char* name;
        QRect geometry;
    } places[] = {{"SaveLog", {506, 10, 105, 19}}, {"Stop", {612, 10, 71, 19}},
                  {"Progress", {12, 32, 671, 13}}, {"Total", {12, 48, 671, 13}}};
    for (const auto& place : places) {
        EXPECT_EQ(Find(place.name)->geometry(), place.geometry) << place.name;
        EXPECT_EQ(Find(place.name)->parentWidget(), group) << place.name;
    }
    EXPECT_EQ(Find("CurrentMessage")->pos(), QPoint(12, 16));
    EXPECT_EQ(Find("Extracted")->pos(), QPoint(334, 14));
    EXPECT_EQ(Find<QLabel>("CurrentMessage")->text(), "");
    EXPECT_EQ(Find<QLabel>("Extracted")->text(), "Extracted: 0");
    EXPECT_EQ(Find<QPushButton>("SaveLog")->text(), "Save results");
    EXPECT_EQ(Find<QPushButton>("Stop")->text(), "Stop");
    EXPECT_FALSE(On("SaveLog"));
    EXPECT_FALSE(On("Stop"));
    for (const char* bar : {"Progress", "Total"}) {
        EXPECT_EQ(Find<QProgressBar>(bar)->minimum(), 0);
        EXPECT_EQ(Find<QProgressBar>(bar)->maximum(), 100);
        EXPECT_EQ(Find<QProgressBar>(bar)->value(), 0);
    }
}

TEST(ToolBarPictures, DisabledFormsDifferVisiblyFromEnabledOnes)
{
    for (int picture = 0; picture < qt::kPictureCount; ++picture) {
        const QImage enabled = qt::EnabledPicture(picture, 16).toImage().convertToFormat(QImage::Format_ARGB32);
        const QImage disabled = qt::DisabledPicture(picture, 16).toImage().convertToFormat(QImage::Format_ARGB32);
        int opaque = 0, coloured = 0, greyish = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const QRgb e = enabled.pixel(x, y), d = disabled.pixel(x, y);
                if (qAlpha(e) > 200) {
                    ++opaque;
                    coloured += qRed(e) != qGreen(e) || qGreen(e) != qBlue(e);
                }
                greyish += qRed(d) == qGreen(d) && qGreen(d) == qBlue(d) && qAlpha(d) < qAlpha(e) + 1;
            }
        EXPECT_GT(opaque, 20) << picture; // something is drawn
        EXPECT_GT(coloured, 0) << picture;
        EXPECT_EQ(greyish, 256) << picture;
        for (int other = 0; other < picture; ++other)
            EXPECT_NE(enabled, qt::EnabledPicture(other, 16).toImage().convertToFormat(QImage::Format_ARGB32));
    }
}

TEST_F(MainWindowTest, AddRemoveAndClearThroughTheRealButtons)
{
    AddThroughButton(1, {"/w/a.wac", "/w/b.wac", "/w/c.wac"});
    EXPECT_EQ(Items(), (std::vector<std::string>{"/w/a.wac", "/w/b.wac", "/w/c.wac"}));
    for (const char* name : {"BSaveList", "BRemLog", "BClearAll", "BProcess"})
        EXPECT_TRUE(On(name)) << name;

    auto* list = Find<QListWidget>("LogList");
    list->item(0)->setSelected(true);
    list->item(1)->setSelected(true);
    Click("BRemLog");
    EXPECT_EQ(Items(), (std::vector<std::string>{"/w/c.wac"}));
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_FALSE(list->item(0)->isSelected()); // the focus moved, nothing was selected

    // Delete on the list removes the selection too.
    list->item(0)->setSelected(true);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_TRUE(Items().empty());
    for (const char* name : {"BSaveList", "BRemLog", "BClearAll", "BProcess"})
        EXPECT_FALSE(On(name)) << name;

    AddThroughButton(2, {"/s/x.was"});
    dialogs.OpenAnswers.push_back(std::nullopt); // a cancelled add keeps a filled list usable
    Click("BAddLog");
    EXPECT_TRUE(On("BProcess"));
    Click("BClearAll");
    EXPECT_TRUE(Items().empty());
    EXPECT_FALSE(On("BClearAll"));
    EXPECT_TRUE(dialogs.ErrorBoxes.empty());
}

TEST_F(MainWindowTest, CodingChoiceReachesTheRunThroughTheRealBox)
{
    auto* coding = Find<QComboBox>("Coding");
    AddThroughButton(5, {"/l/r.log"});
    ASSERT_TRUE(coding->isEnabled());

    // Chosen from the keyboard: the label's mnemonic focuses the box, the arrows choose.
    form.activateWindow();
    QApplication::setActiveWindow(&form);
    QTest::keyClick(&form, Qt::Key_P, Qt::AltModifier);
    ASSERT_TRUE(coding->hasFocus());
    QTest::keyClick(coding, Qt::Key_Down);
    QTest::keyClick(coding, Qt::Key_Down);
    EXPECT_EQ(coding->currentText(), "Raw");

    OnJob([](const std::string&, RunContext&, JobHost&) {});
    dialogs.DirectoryAnswers.push_back(dir / "out");
    Click("BProcess");
    WaitForRunEnd();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(form.Logic().LastRun()->Context().Coding, ReplacementCoding::Raw);

    AddThroughButton(1, {"/w/a.wac"});
    EXPECT_FALSE(coding->isEnabled()) << "nothing to rebuild in sound packs";
    EXPECT_FALSE(Find<QLabel>("CodingLabel")->isEnabled());
}

TEST_F(MainWindowTest, KeyboardShortcutsReachTheCommands)
{
    form.activateWindow();
    QApplication::setActiveWindow(&form);
    dialogs.OpenAnswers.push_back(OpenDialogResult{1, {"/w/a.wac"}});
    QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(Items(), (std::vector<std::string>{"/w/a.wac"}));

    OnJob([](const std::string&, RunContext&, JobHost&) {});
    dialogs.DirectoryAnswers.push_back(dir / "out");
    QTest::keyClick(&form, Qt::Key_F5);
    WaitForRunEnd();
    EXPECT_EQ(jobs.size(), 1u);
    dialogs.DirectoryAnswers.push_back(dir / "out");
    QTest::keyClick(&form, Qt::Key_R, Qt::ControlModifier);
    WaitForRunEnd();
    EXPECT_EQ(jobs.size(), 2u);

    // Tab in the results pane moves on instead of typing a tab.
    auto* results = Find<QTextEdit>("Results");
    results->setFocus();
    ASSERT_TRUE(results->hasFocus());
    const QString before = results->toPlainText();
    QTest::keyClick(results, Qt::Key_Tab);
    EXPECT_FALSE(results->hasFocus());
    EXPECT_EQ(results->toPlainText(), before);

    QTest::keyClick(&form, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(form.isVisible());
}

TEST_F(MainWindowTest, CompleteRunShowsItsProgressLiveAndWritesTheLog)
{
    const std::string target = dir / "out";
    Gate gates[2];
    OnJob([&](const std::string& path, RunContext& run, JobHost& host) {
        host.SetStatus("Extracting " + path);
        host.ShowFileProgress(50);
        host.ReportOutput(run.TargetDirectory + "/x.wav", 1044);
        gates[path == "/in/a.wac" ? 0 : 1].Arrive();
    });
    AddThroughButton(1, {"/in/a.wac", "/in/b.wac"});
    dialogs.DirectoryAnswers.push_back(target);
    Click("BProcess");
    for (int job = 0; job < 2; ++job) {
        // What the window shows in the middle of each job, while the job waits.
        const std::string status = job == 0 ? "Extracting /in/a.wac" : "Extracting /in/b.wac";
        ASSERT_TRUE(QTest::qWaitFor([&] { return Text("CurrentMessage") == status; }, 10000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return Text("Extracted") == (job == 0 ? "Extracted: 1,044" : "Extracted: 2,088"); }, 10000));
        EXPECT_EQ(Find<QProgressBar>("Progress")->value(), 50);
        EXPECT_TRUE(On("Stop"));
        EXPECT_FALSE(On("SaveLog"));
        for (const char* name : {"BAddLog", "BRemLog", "BClearAll", "BProcess"})
            EXPECT_FALSE(On(name)) << name;
        EXPECT_TRUE(On("BSaveList"));
        EXPECT_TRUE(On("BExit"));
        gates[job].Release();
    }
    WaitForRunEnd();

    EXPECT_EQ(jobs, (std::vector<std::string>{"/in/a.wac", "/in/b.wac"}));
    EXPECT_EQ(ReadFileBytes(target + "/result.log"),
              "#Format: WAC\r\n#Source: /in/a.wac\r\n#Format: WAC\r\n#Source: /in/b.wac\r\n");
    ASSERT_EQ(dialogs.InformationBoxes.size(), 1u);
    EXPECT_EQ(dialogs.InformationBoxes[0].Text, "Operation complete!");
    EXPECT_EQ(dialogs.InformationBoxes[0].Caption, "Process status:");
    EXPECT_EQ(form.ResultLines(), (std::vector<std::string>{"/in/a.wac -> " + target + "/x.wav (1044 bytes)",
                                                            "/in/b.wac -> " + target + "/x.wav (1044 bytes)",
                                                            "Total 2088 bytes extracted."}));
    EXPECT_EQ(Find<QTextEdit>("Results")->toPlainText().count('\n'), 2);
    EXPECT_TRUE(On("SaveLog"));
    EXPECT_FALSE(On("Stop"));
    EXPECT_TRUE(On("BProcess"));
    EXPECT_EQ(Find<QProgressBar>("Progress")->value(), 0);
    EXPECT_EQ(Find<QLabel>("Extracted")->text(), "");

    // The user empties the pane, which leaves nothing to save, and undoes that.
    auto* results = Find<QTextEdit>("Results");
    results->setFocus();
    QTest::keyClick(results, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(results, Qt::Key_Delete);
    ASSERT_TRUE(results->document()->isEmpty());
    EXPECT_FALSE(On("SaveLog"));
    QTest::keyClick(results, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(form.ResultLineCount(), 3);
    EXPECT_TRUE(On("SaveLog"));

    // The pane saved through its button, as plain text for a ".txt" name.
    const std::string saved = dir / "b.txt";
    dialogs.SaveResultsAnswers.push_back(saved);
    Click("SaveLog");
    EXPECT_EQ(ReadFileBytes(saved), "/in/a.wac -> " + target + "/x.wav (1044 bytes)\r\n/in/b.wac -> " + target +
                                        "/x.wav (1044 bytes)\r\nTotal 2088 bytes extracted.\r\n");
    EXPECT_EQ(dialogs.InformationBoxes.back().Text, "b.txt");
    EXPECT_EQ(dialogs.InformationBoxes.back().Caption, "Operation status");
    EXPECT_FALSE(On("SaveLog"));
}

TEST_F(MainWindowTest, TheWindowAnswersDuringASlowJobAndStopEndsItAtOnce)
{
    // A job that would work for half a minute, checking for a stop between its blocks.
    using Clock = std::chrono::steady_clock;
    std::atomic<bool> started{false};
    std::atomic<Clock::rep> stoppedAt{0};
    OnJob([&](const std::string&, RunContext&, JobHost& host) {
        host.SetStatus("Decoding");
        started = true;
        for (const auto end = Clock::now() + std::chrono::seconds(30); Clock::now() < end;) {
            if (host.StopRequested()) {
                stoppedAt = Clock::now().time_since_epoch().count();
                CheckStop(host);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    AddThroughButton(1, {"/in/long.wac", "/in/next.wac"});
    dialogs.DirectoryAnswers.push_back(dir / "out");
    Click("BProcess");
    ASSERT_TRUE(QTest::qWaitFor([&] { return started.load() && Text("CurrentMessage") == "Decoding"; }, 10000));

    // The window thread goes on handling events: timers fire, the window repaints, clicks
    // reach their commands (saving the job list is allowed during a run).
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(5);
    // Ten ticks of 5 ms, given time enough for a busy machine and coarse system timers.
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 10; }, 2000)) << ticks;
    form.repaint();
    const std::string saved = dir / "during.lst";
    dialogs.SaveListAnswers.push_back(saved);
    QTest::keyClick(&form, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(ReadFileBytes(saved), "/in/long.wac\r\n/in/next.wac\r\n");
    ASSERT_TRUE(form.Logic().Running());
    ASSERT_TRUE(On("Stop"));

    const auto clicked = Clock::now();
    Click("Stop");
    WaitForRunEnd();
    ASSERT_NE(stoppedAt.load(), 0);
    const auto reaction = Clock::time_point(Clock::duration(stoppedAt.load())) - clicked;
    EXPECT_LT(reaction, std::chrono::milliseconds(100));
    EXPECT_EQ(jobs.size(), 1u);
    EXPECT_EQ(dialogs.InformationBoxes.back().Text, "Operation stopped.");
    EXPECT_FALSE(FileExists(dir / "out/result.log"));
    EXPECT_FALSE(On("Stop"));
}

TEST_F(MainWindowTest, EscStopsARunWhereverTheFocusIsAndDoesNothingWithoutOne)
{
    form.activateWindow();
    QApplication::setActiveWindow(&form);
    AddThroughButton(1, {"/in/long.wac", "/in/next.wac"});
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_EQ(Items().size(), 2u);
    EXPECT_TRUE(On("BProcess"));
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(dialogs.InformationBoxes.empty());

    // A job that works until it is stopped (or ten seconds have gone).
    std::atomic<bool> started{false};
    OnJob([&](const std::string&, RunContext&, JobHost& host) {
        started = true;
        for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
             std::chrono::steady_clock::now() < end;) {
            CheckStop(host);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    for (const char* focus : {"LogList", "Results"}) {
        SCOPED_TRACE(focus);
        started = false;
        jobs.clear();
        dialogs.DirectoryAnswers.push_back(dir / focus);
        Click("BProcess");
        ASSERT_TRUE(QTest::qWaitFor([&] { return started.load(); }, 10000));
        QWidget* control = Find(focus);
        control->setFocus();
        QTest::keyClick(control, Qt::Key_Escape);
        WaitForRunEnd();
        EXPECT_EQ(jobs.size(), 1u);
        EXPECT_EQ(dialogs.InformationBoxes.back().Text, "Operation stopped.");
        EXPECT_FALSE(FileExists(dir / focus + "/result.log"));
        EXPECT_FALSE(On("Stop"));
        EXPECT_TRUE(On("BProcess"));
    }
}

TEST_F(MainWindowTest, ClosingDuringARunStopsItFirst)
{
    Gate gate;
    OnJob([&](const std::string&, RunContext&, JobHost&) { gate.Arrive(); });
    AddThroughButton(1, {"/in/a.wac", "/in/b.wac"});
    dialogs.DirectoryAnswers.push_back(dir / "out");
    Click("BProcess");
    ASSERT_TRUE(gate.WaitForArrival());
    form.close();
    EXPECT_TRUE(form.isVisible()) << "closed under a running job";
    gate.Release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }, 10000));
    EXPECT_EQ(jobs.size(), 1u);
    EXPECT_TRUE(dialogs.InformationBoxes.empty()) << "no \"Operation stopped.\" box to click away";
}

TEST_F(MainWindowTest, FailingJobShowsItsMessageInTheErrorBoxThenTheWindowIsIdle)
{
    OnJob([](const std::string& path, RunContext& run, JobHost& host) {
        host.SetStatus("Extracting " + path);
        host.ShowFileProgress(50);
        if (path == "/in/b.wac")
            throw PackError("Cannot open file " + path);
        host.ReportOutput(run.TargetDirectory + "/x.wav", 1044);
    });
    AddThroughButton(1, {"/in/a.wac", "/in/b.wac"});
    dialogs.DirectoryAnswers.push_back(dir / "out");
    Click("BProcess");
    WaitForRunEnd();
    EXPECT_EQ(dialogs.ErrorBoxes, (std::vector<std::string>{"Cannot open file /in/b.wac."}));
    EXPECT_TRUE(dialogs.InformationBoxes.empty());
    EXPECT_EQ(Text("CurrentMessage"), "");
    EXPECT_EQ(Text("Extracted"), "");
    EXPECT_EQ(Find<QProgressBar>("Progress")->value(), 0);
    EXPECT_EQ(Find<QProgressBar>("Total")->value(), 0);
    EXPECT_FALSE(On("Stop"));
    EXPECT_TRUE(On("SaveLog")) << "the first job's line is there to be saved";
    ASSERT_FALSE(form.ResultLines().empty());
    EXPECT_EQ(form.ResultLines().back(), "/in/b.wac: failed: Cannot open file /in/b.wac")
        << "a saved copy of the pane keeps the failure";
    EXPECT_TRUE(On("BProcess"));
    EXPECT_TRUE(form.isVisible());
}

TEST_F(MainWindowTest, DroppedFilesJoinTheList)
{
    Drop({"/w/a.was", "/w/b.was"});
    EXPECT_TRUE(dropAccepted);
    EXPECT_EQ(droppedAs, Qt::CopyAction);
    EXPECT_EQ(Items(), (std::vector<std::string>{"/w/a.was", "/w/b.was"}));
    EXPECT_TRUE(On("BProcess"));

    // A source that proposes a move (Shift held) gets a copy, never the move it could honour
    // by deleting the file; one that offers nothing but a move is refused.
    Drop({"/w/c.was"}, Qt::CopyAction | Qt::MoveAction, Qt::ShiftModifier);
    ASSERT_EQ(proposedAction, Qt::MoveAction);
    EXPECT_TRUE(dropAccepted);
    EXPECT_EQ(droppedAs, Qt::CopyAction);
    Drop({"/w/d.was"}, Qt::MoveAction);
    EXPECT_FALSE(dropAccepted);
    EXPECT_EQ(droppedAs, Qt::IgnoreAction);
    EXPECT_EQ(Items(), (std::vector<std::string>{"/w/a.was", "/w/b.was", "/w/c.was"}));

    Drop({"/w/readme.txt"});
    EXPECT_EQ(Items().size(), 3u);
    ASSERT_EQ(dialogs.ErrorBoxes.size(), 1u);
    EXPECT_EQ(dialogs.ErrorBoxes[0], "Cannot add /w/readme.txt: only .wac, .was, .at3, .lst, .log and .wav files can be added.");

    // Sound files ask how to be packed; a folder brings its files of the list's format.
    dialogs.ChoiceAnswers.push_back(0);
    Drop({"/w/voice.wav"});
    EXPECT_EQ(Items(), (std::vector<std::string>{"/w/voice.wav"}));
    EXPECT_EQ(form.Logic().JobFormat(), 6);
    dir.Write("more/x.wav", "x");
    dir.Write("more/y.wac", "x");
    Drop({QString::fromStdString(dir / "more")});
    EXPECT_EQ(Items(), (std::vector<std::string>{"/w/voice.wav", dir / "more/x.wav"}));
}

TEST_F(MainWindowTest, TheWindowGrowsWithTheListAndResultsAndComesBackToItsPlaces)
{
    EXPECT_EQ(form.minimumSize(), QSize(688, 464));
    EXPECT_GT(form.maximumWidth(), 688) << "a window that can be maximized";
    auto* list = Find<QListWidget>("LogList");
    auto* results = Find<QTextEdit>("Results");
    auto* group = Find<QGroupBox>("GroupBox1");
    const QRect defaults[] = {Find("SaveLog")->geometry(), Find("Stop")->geometry(), Find("Progress")->geometry(),
                              Find("CurrentMessage")->geometry(), Find("Extracted")->geometry()};

    form.resize(1200, 800);
    ASSERT_TRUE(QTest::qWaitFor([&] { return group->width() == 1200; }));
    // The list and the results share the height gained; the process group keeps its own.
    EXPECT_GT(list->height(), 189 + 100);
    EXPECT_GT(results->height(), 183 + 100);
    EXPECT_EQ(list->height() + results->height(), 800 - 26 - 66);
    EXPECT_EQ(group->height(), 66);
    EXPECT_EQ(group->mapTo(&form, QPoint(0, 66)).y(), 800);
    // The buttons keep to the right edge, the bars span the width.
    EXPECT_EQ(Find("Stop")->geometry(), QRect(612 + 512, 10, 71, 19));
    EXPECT_EQ(Find("SaveLog")->geometry(), QRect(506 + 512, 10, 105, 19));
    EXPECT_EQ(Find("Total")->geometry(), QRect(12, 48, 671 + 512, 13));
    EXPECT_EQ(Find("Extracted")->geometry().right(), 499 + 512);

    form.resize(688, 464);
    ASSERT_TRUE(QTest::qWaitFor([&] { return group->width() == 688; }));
    EXPECT_EQ(list->height(), 189);
    EXPECT_EQ(results->y() + results->height(), group->y());
    const QRect again[] = {Find("SaveLog")->geometry(), Find("Stop")->geometry(), Find("Progress")->geometry(),
                           Find("CurrentMessage")->geometry(), Find("Extracted")->geometry()};
    EXPECT_TRUE(std::equal(std::begin(defaults), std::end(defaults), std::begin(again)));
}

TEST_F(MainWindowTest, LongPathsAndStatusTextsKeepTheirEndsInSight)
{
    // A path far wider than the list: no scrolling sideways, the whole path in the tip.
    const std::string path = "/" + std::string(300, 'd') + "/the-name-to-see.wac";
    AddThroughButton(1, {path});
    auto* list = Find<QListWidget>("LogList");
    EXPECT_EQ(list->item(0)->toolTip().toStdString(), path);
    EXPECT_FALSE(list->horizontalScrollBar()->isVisible());
    EXPECT_LE(list->visualItemRect(list->item(0)).right(), list->viewport()->width());

    // A status text wider than its place takes the room the count does not need...
    auto* status = Find<qt::ElidedLabel>("CurrentMessage");
    form.SetExtractedText("Extracted: 1,234");
    const std::string wide = "Processing " + std::string(25, 'w') + ".at3...";
    form.SetCurrentMessage(wide);
    EXPECT_GT(status->TextWidth(), 316);
    EXPECT_FALSE(status->IsElided()) << status->width() << " for " << status->TextWidth();
    EXPECT_EQ(status->text().toStdString(), wide);
    EXPECT_LE(status->geometry().right(), Find("Extracted")->x());
    EXPECT_GE(Find("Extracted")->width(), Find<QLabel>("Extracted")->fontMetrics().horizontalAdvance("Extracted: 1,234"));
    // ...and one wider still loses its middle, never its ends, until the window is widened.
    const std::string wider = "Processing " + std::string(90, 'w') + "-end.at3...";
    form.SetCurrentMessage(wider);
    EXPECT_TRUE(status->IsElided());
    form.resize(1600, 464);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !status->IsElided(); }));
    form.SetCurrentMessage("");
    EXPECT_EQ(status->geometry(), QRect(12, 16, 316 + 912, 14));
}

// Receives what the window hands the desktop to open, in place of a file manager.
class FolderCatcher final : public QObject {
    Q_OBJECT
public:
    FolderCatcher() { QDesktopServices::setUrlHandler("file", this, "Open"); }
    ~FolderCatcher() override { QDesktopServices::unsetUrlHandler("file"); }
    QList<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened << url; }
};

TEST_F(MainWindowTest, AfterARunThatWroteFilesTheirFolderIsALinkAway)
{
    FolderCatcher catcher;
    auto* link = Find<QLabel>("OpenTarget");
    EXPECT_TRUE(link->isHidden());
    OnJob([](const std::string&, RunContext& run, JobHost& host) { host.ReportOutput(run.TargetDirectory + "/x.wav", 9); });
    AddThroughButton(1, {"/in/a.wac"});
    dialogs.DirectoryAnswers.push_back(dir / "out");
    Click("BProcess");
    EXPECT_TRUE(link->isHidden()) << "the count has the place during the run";
    WaitForRunEnd();
    EXPECT_TRUE(link->isVisible());
    EXPECT_LE(link->geometry().right(), Find("SaveLog")->x());
    EXPECT_TRUE(link->toolTip().contains("Ctrl+Shift+O"));
    emit link->linkActivated("#");
    form.activateWindow();
    QApplication::setActiveWindow(&form);
    QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    const QUrl folder = QUrl::fromLocalFile(QString::fromStdString(dir / "out"));
    EXPECT_EQ(catcher.opened, (QList<QUrl>{folder, folder}));
}

TEST_F(MainWindowTest, HelpAndTipsNameEveryControlsShortcut)
{
    form.activateWindow();
    QApplication::setActiveWindow(&form);
    QTest::keyClick(&form, Qt::Key_F1);
    Click("BHelp");
    EXPECT_EQ(dialogs.AboutBoxes, 2);
    // Help keeps to the far end of the tool bar.
    EXPECT_GT(Find("BHelp")->x(), Find("Coding")->geometry().right());
    form.resize(1200, 464);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Find("BHelp")->x() > 1100; }));
    const QString about = qt::AboutText();
    EXPECT_TRUE(about.contains(PACKSMITH_TEST_VERSION));
    EXPECT_TRUE(about.contains("man:packsmith(1)")) << "no README beside the tests: the manual pages";
    // Where a README ships beside the program (the Windows zip and installer), it is the manual.
    const QString readme = QString::fromStdString(dir.Write("README.md", "# Packsmith\n"));
    const QString shipped = qt::AboutText(readme);
    EXPECT_FALSE(shipped.contains("man:"));
    EXPECT_TRUE(shipped.contains(QUrl::fromLocalFile(readme).toString(QUrl::FullyEncoded)));
    EXPECT_TRUE(shipped.contains(QDir::toNativeSeparators(readme)));
    EXPECT_TRUE(about.contains("Licence"));

    // Every control says what it does; where it has a key, the tip names it.
    for (const char* name : {"BAddLog", "BSaveList", "BRemLog", "BClearAll", "BProcess", "BExit", "BHelp", "Coding",
                             "CodingLabel", "LogList", "Results", "Extracted", "OpenTarget", "SaveLog", "Stop",
                             "Progress", "Total"})
        EXPECT_FALSE(Find(name)->toolTip().isEmpty()) << name;
    for (QAction* action : Find<QToolBar>("ToolBar1")->actions()) {
        if (!action->shortcut().isEmpty()) {
            EXPECT_TRUE(action->toolTip().contains(action->shortcut().toString(QKeySequence::NativeText)))
                << action->toolTip().toStdString();
        }
    }
    auto* save = Find<QPushButton>("SaveLog");
    EXPECT_TRUE(save->toolTip().contains(save->shortcut().toString(QKeySequence::NativeText)));
}

TEST_F(MainWindowTest, ItsSizePlaceAndFoldersAreRememberedAcrossSessions)
{
    QSettings().clear();
    const std::string target = dir / "remembered-target";
    OnJob([](const std::string&, RunContext&, JobHost&) {});
    AddThroughButton(1, {"/in/a.wac"});
    dialogs.DirectoryAnswers.push_back(target);
    Click("BProcess");
    WaitForRunEnd();
    form.resize(900, 600);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.width() == 900; }));
    form.close();

    // The next session opens as large as this one was left, its chooser on that target.
    ScriptedDialogs later;
    TMainForm next(&later);
    next.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&next));
    EXPECT_EQ(next.size(), QSize(900, 600));
    next.Logic().ReplaceHandler([](const std::string&, RunContext&, JobHost&) {});
    later.OpenAnswers.push_back(OpenDialogResult{1, {"/in/a.wac"}});
    next.Logic().Execute([&] { next.Logic().BAddLogClick(); });
    std::filesystem::current_path("/");
    next.Logic().Execute([&] { next.Logic().BProcessClick(); });
    ASSERT_EQ(later.DirectoryStarts.size(), 1u);
    EXPECT_EQ(later.DirectoryStarts[0], target);

    // A remembered folder that is gone is as good as none.
    std::filesystem::remove_all(target);
    next.Logic().Execute([&] { next.Logic().BProcessClick(); });
    ASSERT_EQ(later.DirectoryStarts.size(), 2u);
    EXPECT_EQ(later.DirectoryStarts[1], QDir::currentPath().toStdString()); // "/", or the drive's root on Windows
    QSettings().clear();
}

// The real dialogs, inspected and answered while they are open.
void WhenModal(std::function<void(QWidget*)> answer)
{
    QTimer::singleShot(0, [answer] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        answer(modal);
    });
}

TEST(QtDialogs, SelectLogOffersEveryFormatsFilterAndReportsTheChosenOne)
{
    TempDir dir;
    const std::string list = dir.Write("jobs.lst", "");
    qt::QtDialogs dialogs(nullptr);
    WhenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Select file...");
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
        EXPECT_EQ(dialog->nameFilters(),
                  (QStringList{"Packed WAV (*.wac)", "Packed Music (*.was)", "Image Pack (*.at3)",
                               "Project list files (*.lst)", "Log files (*.log)", "Wave to Packed WAV (*.wav)",
                               "Wave to Packed Music (*.wav)"}));
        EXPECT_EQ(dialog->selectedNameFilter(), "Packed WAV (*.wac)");
        dialog->selectNameFilter("Project list files (*.lst)");
        dialog->selectFile(QString::fromStdString(list));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    const auto chosen = dialogs.SelectLog();
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->FilterIndex, 4);
    EXPECT_EQ(chosen->Files, (std::vector<std::string>{list}));

    WhenModal([](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Select target...");
        EXPECT_EQ(dialog->defaultSuffix(), "txt");
        EXPECT_EQ(dialog->nameFilters(), (QStringList{"Rich text files (*.rtf)", "Text files (*.txt)"}));
        EXPECT_EQ(dialog->selectedNameFilter(), "Text files (*.txt)");
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        dialog->reject();
    });
    EXPECT_FALSE(dialogs.SaveRes().has_value());

    // A name typed without an extension takes the chosen filter's, the text one by default.
    const std::pair<const char*, const char*> choices[] = {{"Text files (*.txt)", ".txt"},
                                                           {"Rich text files (*.rtf)", ".rtf"}};
    for (const auto& [filter, suffix] : choices) {
        WhenModal([&, filter = filter](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            dialog->selectNameFilter(filter);
            dialog->selectFile(QString::fromStdString(dir / "notes"));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        EXPECT_EQ(dialogs.SaveRes(), std::optional<std::string>(dir / "notes" + suffix)) << filter;
    }
}

TEST(QtDialogs, BoxesCarryTheirTextsCaptionsAndIconsAndFitTheirCaptions)
{
    qt::QtDialogs dialogs(nullptr);
    std::vector<std::tuple<QString, QString, QMessageBox::Icon>> seen;
    const auto record = [&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        seen.emplace_back(box->windowTitle(), box->text(), box->icon());
        // A title bar holds the caption (bold, in the title bar's font) beside the window's
        // icon and its buttons; under the window manager this was checked with, those took
        // eight times the font's height. Narrower, the caption is elided.
        QFont font = QApplication::font("QMdiSubWindowTitleBar");
        font.setBold(true);
        const QFontMetrics metrics(font);
        EXPECT_GE(box->width(), metrics.horizontalAdvance(box->windowTitle()) + 8 * metrics.height())
            << box->windowTitle().toStdString();
        // Only wider: the same box without the room is as tall.
        QMessageBox plain(box->icon(), box->windowTitle(), box->text(), QMessageBox::Ok);
        plain.show();
        EXPECT_EQ(box->height(), plain.height());
        box->accept();
    };
    WhenModal(record);
    dialogs.InformationBox("Operation complete!", "Process status:");
    WhenModal(record);
    dialogs.InformationBox("b.txt", "Operation status");
    WhenModal(record);
    dialogs.ErrorBox("Stream read error.");
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], std::make_tuple(QString("Process status:"), QString("Operation complete!"), QMessageBox::Information));
    EXPECT_EQ(seen[1], std::make_tuple(QString("Operation status"), QString("b.txt"), QMessageBox::Information));
    EXPECT_EQ(seen[2], std::make_tuple(QString("Packsmith"), QString("Stream read error."), QMessageBox::Critical));
}

TEST(DirectoryChooser, AcceptsAMissingDirectoryOnlyWhenTheUserAgreesToCreateIt)
{
    TempDir dir;
    qt::DirectoryChooser chooser(QString::fromStdString(dir.Path()));
    EXPECT_EQ(chooser.windowTitle(), "Select Directory");
    auto* name = chooser.findChild<QLineEdit*>("DirectoryName");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), QDir::toNativeSeparators(QString::fromStdString(dir.Path()))); // as the system writes paths

    int asked = 0;
    bool agree = false;
    chooser.ConfirmCreate = [&] {
        ++asked;
        return agree;
    };
    chooser.show();
    chooser.accept(); // an existing directory: no question
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(chooser.result(), QDialog::Accepted);

    chooser.setResult(QDialog::Rejected);
    chooser.show();
    name->setText("new/sub"); // relative: taken in the directory being browsed
    chooser.accept();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(chooser.isVisible()) << "No must return to the chooser";
    agree = true;
    chooser.accept();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(chooser.result(), QDialog::Accepted);
    EXPECT_EQ(chooser.Directory().toStdString(), dir / "new/sub");
    EXPECT_FALSE(FileExists(dir / "new")) << "the run creates it, not the chooser";
}

} // namespace
} // namespace packsmith::test

#include "main_window_test.moc"
