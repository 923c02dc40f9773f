#include "gui/qt/mainform/TMainForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTextBlock>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "gui/qt/ElidedLabel.h"
#include "gui/qt/QtDialogs.h"
#include "gui/qt/QtText.h"
#include "gui/qt/WindowSettings.h"
#include "gui/qt/contents/ContentsWindow.h"
#include "gui/qt/mainform/JobListDelegate.h"
#include "gui/qt/mainform/ToolBarPictures.h"

namespace packsmith::qt {

namespace {

constexpr int kClientWidth = 688;
constexpr int kClientHeight = 464;
constexpr int kToolBarHeight = 26;
constexpr int kLogListHeight = 189;
constexpr int kGroupBoxHeight = 66;
constexpr int kReportsPerSecond = 25;

// The local files of a drag, or none when anything in it is not a local file.
QStringList LocalFiles(const QMimeData* data)
{
    QStringList files;
    if (data == nullptr || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            return {};
        files << url.toLocalFile();
    }
    return files;
}

// The ways a rebuild may store an edited picture, in the order the choice offers them.
struct CodingItem {
    ReplacementCoding Coding;
    const char* Text;
    const char* Tip;
};
constexpr CodingItem kCodingItems[] = {
    {ReplacementCoding::ExactOrRaw, "Compressed where exact, else raw",
     "A compressed record where it decodes to the very same pixels, a raw record (4 bytes a pixel) otherwise"},
    {ReplacementCoding::Lossy, "Compressed, loss allowed",
     "A compressed record: much smaller, close to the picture but not exact;\n"
     "the results line tells the quality in dB (a raw record where that is smaller)"},
    {ReplacementCoding::Raw, "Raw", "A raw record always: exact, 4 bytes a pixel"},
};
constexpr const char* kCodingTip = "How replaying result logs stores each edited picture in the rebuilt pack";

} // namespace

TMainForm::TMainForm(DialogOperations* dialogs, QWidget* parent)
    : QMainWindow(parent), ownDialogs_(dialogs ? nullptr : std::make_unique<QtDialogs>(this)),
      dialogs_(dialogs ? dialogs : ownDialogs_.get()), logic_(*this)
{
    setObjectName("MainForm");
    setWindowTitle("Packsmith");
    setWindowIcon(ApplicationIcon());
    if (QFontDatabase::families().contains("MS Sans Serif")) {
        QFont font("MS Sans Serif");
        font.setPixelSize(11);
        setFont(font);
    }
    BuildToolBar();
    BuildControls();

    // It opens at its least size in the middle of the desktop, the first time; then where
    // and as large as it was left. The job list and the results take whatever it grows by.
    setMinimumSize(kClientWidth, kClientHeight);
    resize(kClientWidth, kClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    if (const QByteArray geometry = WindowSettings::Geometry(); !geometry.isEmpty())
        restoreGeometry(geometry);

    reportTimer_.setSingleShot(true);
    connect(&reportTimer_, &QTimer::timeout, this, [this] {
        reportsDue_ = false;
        sinceReports_.restart();
        logic_.ShowRunReports();
    });
    sinceReports_.start();

    logic_.FormCreate();
}

// A run still working is stopped and waited for before the controls it reports to go.
TMainForm::~TMainForm()
{
    logic_.Shutdown();
    // The pane goes after the logic; whatever it signals on its way must not reach it.
    Results->disconnect(this);
}

QAction* TMainForm::ToolButton(int picture, const char* name, const QString& tip, const std::function<void()>& command)
{
    QAction* action = ToolBar1->addAction(ToolBarIcon(picture), tip);
    action->setObjectName(QString(name) + "Action");
    action->setToolTip(tip);
    ToolBar1->widgetForAction(action)->setObjectName(name);
    OnSignal(action, &QAction::triggered, command);
    return action;
}

void TMainForm::BuildToolBar()
{
    ToolBar1 = addToolBar("Commands");
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setFixedHeight(kToolBarHeight);
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);

    BAddLog = ToolButton(0, "BAddLog", "Add files (Ctrl+O)", [this] { logic_.BAddLogClick(); });
    BSaveList = ToolButton(1, "BSaveList", "Save the job list (Ctrl+S)", [this] { logic_.BSaveListClick(); });
    BRemLog = ToolButton(2, "BRemLog", "Remove the selected entries (Del)", [this] { logic_.BRemLogClick(); });
    BClearAll = ToolButton(5, "BClearAll", "Clear the job list", [this] { logic_.BClearAllClick(); });
    BProcess = ToolButton(3, "BProcess", "Process the job list (F5)", [this] { logic_.BProcessClick(); });
    BExit = ToolButton(4, "BExit", "Exit (Ctrl+Q)", [this] { logic_.BExitClick(); });

    BAddLog->setShortcut(QKeySequence::Open);
    BSaveList->setShortcut(QKeySequence::Save);
    BProcess->setShortcuts({QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_R)});
    BExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    BuildCodingChoice();

    // Help keeps to the far end of the bar, however wide the window.
    auto* gap = new QWidget(ToolBar1);
    gap->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    ToolBar1->addWidget(gap);
    BHelp = ToolButton(6, "BHelp", "About Packsmith: first steps, licence, manual (F1)", [this] { AboutBox(); });
    BHelp->setShortcut(QKeySequence::HelpContents);
}

// After the buttons: how rebuilt pictures are stored, for runs that replay result logs.
void TMainForm::BuildCodingChoice()
{
    ToolBar1->addSeparator();
    CodingLabel = new QLabel("Rebuilt &pictures:", ToolBar1);
    CodingLabel->setObjectName("CodingLabel");
    CodingLabel->setContentsMargins(4, 0, 4, 0);
    Coding = new QComboBox(ToolBar1);
    Coding->setObjectName("Coding");
    Coding->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    for (const CodingItem& item : kCodingItems) {
        Coding->addItem(item.Text, static_cast<int>(item.Coding));
        Coding->setItemData(Coding->count() - 1, QString(item.Tip), Qt::ToolTipRole);
    }
    CodingLabel->setBuddy(Coding);
    CodingLabel->setToolTip(QString(kCodingTip) + " (Alt+P)");
    ToolBar1->addWidget(CodingLabel);
    ToolBar1->addWidget(Coding);

    // The box's own tip explains the way chosen; the list's items explain theirs.
    const auto chosen = [this] {
        const CodingItem& item = kCodingItems[static_cast<std::size_t>(std::max(0, Coding->currentIndex()))];
        Coding->setToolTip(QString(kCodingTip) + " (Alt+P):\n" + item.Tip);
        logic_.SetReplacementCoding(item.Coding);
    };
    Coding->setCurrentIndex(Coding->findData(static_cast<int>(logic_.Coding())));
    chosen();
    OnSignal(Coding, &QComboBox::currentIndexChanged, chosen);
}

void TMainForm::BuildControls()
{
    auto* client = new QWidget(this);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    LogList = new QListWidget(client);
    LogList->setObjectName("LogList");
    LogList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    LogList->setMinimumHeight(kLogListHeight);
    LogList->setAcceptDrops(true);
    LogList->setToolTip("The jobs of the next run: add files with Ctrl+O or drop files or a folder here;\n"
                        "Enter or a double click shows what a job holds, Del removes the selected jobs");
    // Long paths lose their middle, never their file name; nothing needs scrolling sideways.
    LogList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    LogList->setItemDelegate(new JobListDelegate(
        [this] {
            const Format* format = FormatByCode(logic_.JobFormat());
            const Format* made = format != nullptr ? FormatByCode(format->Packs) : nullptr;
            return made != nullptr ? QStringLiteral("\u2192 ") + ToQt(std::string(made->Extension)) : QString();
        },
        LogList));
    LogList->viewport()->installEventFilter(this);
    auto* remove = new QShortcut(QKeySequence::Delete, LogList, nullptr, nullptr, Qt::WidgetShortcut);
    connect(remove, &QShortcut::activated, BRemLog, &QAction::trigger);
    BuildContentsCommands();

    Results = new QTextEdit(client);
    Results->setObjectName("Results");
    Results->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Results->setAcceptRichText(true);
    // Tab moves on to the next control, as everywhere else in the window; the lines a run
    // writes never hold a typed tab.
    Results->setTabChangesFocus(true);
    Results->setToolTip("What the run did, a line for each file, and what went wrong; Save results keeps it");
    OnSignal(Results, &QTextEdit::textChanged, [this] { logic_.ResultsChanged(); });

    GroupBox1 = new QGroupBox(" Process ", client);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setFixedHeight(kGroupBoxHeight);
    // The caption sits on the frame line, so the frame begins where the controls' places
    // expect it and the buttons at the top stay inside it.
    GroupBox1->setStyleSheet("QGroupBox#GroupBox1 { border: 1px solid palette(mid); border-radius: 2px;"
                             " margin-top: 6px; }"
                             "QGroupBox#GroupBox1::title { subcontrol-origin: margin; left: 6px; top: 0px; }");

    CurrentMessage = new ElidedLabel(GroupBox1);
    CurrentMessage->setObjectName("CurrentMessage");
    Extracted = new QLabel(GroupBox1);
    Extracted->setObjectName("Extracted");
    Extracted->setToolTip("The bytes the run has written so far");
    // After a run that wrote files, a link to them takes the place of the count.
    OpenTarget = new QLabel("<a href=\"#\">Open target folder</a>", GroupBox1);
    OpenTarget->setObjectName("OpenTarget");
    OpenTarget->setToolTip("Show the last run's target folder in the file manager (Ctrl+Shift+O)");
    OpenTarget->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    OpenTarget->hide();
    OnSignal(OpenTarget, &QLabel::linkActivated, [this] { logic_.OpenTargetClick(); });
    auto* openKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), this);
    openKey->setObjectName("OpenTargetKey");
    OnSignal(openKey, &QShortcut::activated, [this] { logic_.OpenTargetClick(); });

    SaveLog = new QPushButton("Save results", GroupBox1);
    SaveLog->setObjectName("SaveLog");
    SaveLog->setToolTip("Save the results as plain text, or as rich text under a name ending in .rtf (Ctrl+Shift+S)");
    SaveLog->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    Stop = new QPushButton("Stop", GroupBox1);
    Stop->setObjectName("Stop");
    OnSignal(SaveLog, &QPushButton::clicked, [this] { logic_.SaveLogClick(); });
    OnSignal(Stop, &QPushButton::clicked, [this] { logic_.StopClick(); });
    // Esc is the Stop button's key wherever the focus is in the window. It clicks the
    // button, so it does nothing while the button is off: without a run, or once the
    // run has been asked to stop.
    Stop->setToolTip("Stop the run (Esc)");
    auto* stopKey = new QShortcut(QKeySequence(Qt::Key_Escape), this, nullptr, nullptr, Qt::WindowShortcut);
    stopKey->setObjectName("StopKey");
    connect(stopKey, &QShortcut::activated, Stop, &QPushButton::click);

    for (QProgressBar** bar : {&Progress, &Total}) {
        *bar = new QProgressBar(GroupBox1);
        (*bar)->setRange(0, 100);
        (*bar)->setValue(0);
        (*bar)->setTextVisible(false);
    }
    Progress->setObjectName("Progress");
    Progress->setToolTip("How far the job in progress is");
    Total->setObjectName("Total");
    Total->setToolTip("How far the whole run is");
    GroupBox1->installEventFilter(this);
    LayOutProcessGroup();

    // At the least size each has its place of old; what the window grows by, they share in
    // the same proportion.
    Results->setMinimumHeight(kClientHeight - kToolBarHeight - kLogListHeight - kGroupBoxHeight);
    layout->addWidget(LogList, kLogListHeight);
    layout->addWidget(Results, Results->minimumHeight());
    layout->addWidget(GroupBox1);
    setCentralWidget(client);
}

// The process group's controls keep their places at the window's least width; wider, the
// bars grow and the buttons keep to the right edge. The status text takes what room the
// count (or the link in its place) leaves it, up to the count's own width; beyond that its
// middle is left out.
void TMainForm::LayOutProcessGroup()
{
    const int extra = GroupBox1->width() - kClientWidth;
    SaveLog->setGeometry(506 + extra, 10, 105, 19);
    Stop->setGeometry(612 + extra, 10, 71, 19);
    Progress->setGeometry(12, 32, 671 + extra, 13);
    Total->setGeometry(12, 48, 671 + extra, 13);

    const int right = 500 + extra; // where the count ends, 6 short of the buttons
    const bool link = !OpenTarget->isHidden();
    const int countWidth =
        link ? OpenTarget->sizeHint().width() : Extracted->fontMetrics().horizontalAdvance(Extracted->text());
    int countLeft = link ? std::max(334 + extra, right - countWidth) : 334 + extra;
    const int wanted = 12 + CurrentMessage->TextWidth() + 6;
    if (wanted > countLeft)
        countLeft = std::max(countLeft, std::min(wanted, right - countWidth));
    CurrentMessage->setGeometry(12, 16, countLeft - 6 - 12, 14);
    Extracted->setGeometry(countLeft, 14, right - countLeft, 16);
    OpenTarget->setGeometry(right - countWidth, 14, countWidth, 16);
}

void TMainForm::SetCurrentMessage(const std::string& text)
{
    CurrentMessage->setText(ToQt(text));
    LayOutProcessGroup();
}

void TMainForm::SetExtractedText(const std::string& text)
{
    Extracted->setText(ToQt(text));
    LayOutProcessGroup();
}

void TMainForm::ShowBar(Bar bar, int position, int maximum)
{
    QProgressBar* target = bar == Bar::Progress ? Progress : Total;
    target->setMaximum(maximum);
    target->setValue(position);
}

void TMainForm::ClearResults() { Results->clear(); }

void TMainForm::AddResultLine(const std::string& line)
{
    QTextCursor cursor(Results->document());
    cursor.movePosition(QTextCursor::End);
    if (!Results->document()->isEmpty())
        cursor.insertBlock();
    cursor.insertText(ToQt(line));
    Results->setTextCursor(cursor);
    Results->ensureCursorVisible();
}

int TMainForm::ResultLineCount() const
{
    return Results->document()->isEmpty() ? 0 : Results->document()->blockCount();
}

std::vector<std::string> TMainForm::ResultLines() const
{
    std::vector<std::string> lines;
    if (Results->document()->isEmpty())
        return lines;
    for (QTextBlock block = Results->document()->begin(); block.isValid(); block = block.next())
        lines.push_back(FromQt(block.text()));
    return lines;
}

void TMainForm::FocusResults() { Results->setFocus(); }

void TMainForm::SetEnabled(Control control, bool enabled)
{
    switch (control) {
    case Control::BAddLog:
        return BAddLog->setEnabled(enabled);
    case Control::BSaveList:
        return BSaveList->setEnabled(enabled);
    case Control::BRemLog:
        return BRemLog->setEnabled(enabled);
    case Control::BClearAll:
        return BClearAll->setEnabled(enabled);
    case Control::BProcess:
        return BProcess->setEnabled(enabled);
    case Control::BExit:
        return BExit->setEnabled(enabled);
    case Control::Stop:
        return Stop->setEnabled(enabled);
    case Control::SaveLog:
        return SaveLog->setEnabled(enabled);
    case Control::Coding:
        // The label greys with the box, so the pair reads as one control.
        CodingLabel->setEnabled(enabled);
        return Coding->setEnabled(enabled);
    case Control::OpenTarget:
        OpenTarget->setEnabled(enabled);
        OpenTarget->setVisible(enabled);
        return LayOutProcessGroup();
    }
}

int TMainForm::ItemCount() const { return LogList->count(); }

std::string TMainForm::Item(int index) const { return FromQt(LogList->item(index)->text()); }

void TMainForm::AddItem(const std::string& path)
{
    auto* item = new QListWidgetItem(ToQt(path), LogList);
    item->setToolTip(item->text());
}

void TMainForm::DeleteItem(int index) { delete LogList->takeItem(index); }

void TMainForm::ClearItems() { LogList->clear(); }

bool TMainForm::IsItemSelected(int index) const { return LogList->item(index)->isSelected(); }

void TMainForm::SetFocusedItem(int index)
{
    // Moves the focus mark only; the selection stays as it is.
    const QModelIndex target = index >= 0 ? LogList->model()->index(index, 0) : QModelIndex();
    LogList->selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
}

void TMainForm::RunReported()
{
    // Called on the run's thread: one queued call per batch of reports.
    if (!reportsDue_.exchange(true))
        QMetaObject::invokeMethod(this, &TMainForm::ShowRunReportsSoon, Qt::QueuedConnection);
}

void TMainForm::ShowRunReportsSoon()
{
    const qint64 interval = 1000 / kReportsPerSecond;
    reportTimer_.start(static_cast<int>(std::max<qint64>(0, interval - sinceReports_.elapsed())));
}

void TMainForm::CloseWindow() { close(); }

bool TMainForm::OpenFolder(const std::string& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(ToQt(path)));
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    // During a run the logic asks the run to stop and closes the window once it has ended.
    if (logic_.CloseRequested()) {
        WindowSettings::SetGeometry(saveGeometry());
        event->accept();
    } else {
        event->ignore();
    }
}

std::optional<std::string> TMainForm::SelectDirectory(const std::string& start)
{
    // The chooser opens on the last target folder, from this session or an earlier one.
    const QString remembered = WindowSettings::TargetFolder();
    auto chosen = dialogs_->SelectDirectory(remembered.isEmpty() ? start : FromQt(remembered));
    if (chosen)
        WindowSettings::SetTargetFolder(QFileInfo(ToQt(*chosen)).absoluteFilePath());
    return chosen;
}

// A job's contents open in a window of their own on a double click, on Enter, or from the
// job's context menu; the job list and the run are not touched by it.
void TMainForm::BuildContentsCommands()
{
    const auto showContents = [this](QListWidgetItem* item) {
        if (item != nullptr)
            ShowContents(FromQt(item->text()), this, *dialogs_);
    };
    connect(LogList, &QListWidget::itemActivated, this, showContents);
    LogList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(LogList, &QWidget::customContextMenuRequested, this, [this, showContents](const QPoint& at) {
        QListWidgetItem* item = LogList->itemAt(at);
        if (item == nullptr)
            return;
        QMenu menu(this);
        QAction* show = menu.addAction(QStringLiteral("Show contents"));
        show->setEnabled(HasContents(FromQt(item->text())));
        if (menu.exec(LogList->viewport()->mapToGlobal(at)) == show)
            showContents(item);
    });
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == GroupBox1 && event->type() == QEvent::Resize)
        LayOutProcessGroup();
    if (watched != LogList->viewport())
        return QMainWindow::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        // Files are taken as a copy, whatever the source proposes: a move would let it
        // delete the user's file once dropped.
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!LocalFiles(drag->mimeData()).isEmpty() && !logic_.Running() &&
            (drag->possibleActions() & Qt::CopyAction)) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!(drop->possibleActions() & Qt::CopyAction)) {
            drop->ignore();
            return true;
        }
        std::vector<std::string> files;
        for (const QString& file : LocalFiles(drop->mimeData()))
            files.push_back(FromQt(file));
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        logic_.Execute([this, files] { logic_.AddFiles(files); });
        return true;
    }
    default:
        return QMainWindow::eventFilter(watched, event);
    }
}

} // namespace packsmith::qt
