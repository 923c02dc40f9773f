#include "gui/qt/contents/PackContentsWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <exception>

#include "core/ErrorText.h"
#include "core/PackError.h"
#include "formats/imagepack/OutputNames.h"
#include "formats/imagepack/PictureWriter.h"
#include "gui/browse/PackPictureReader.h"
#include "gui/qt/QtText.h"
#include "gui/qt/contents/ContentsExtraction.h"
#include "gui/qt/contents/EntryDetailsView.h"
#include "gui/qt/contents/PackEntryModel.h"
#include "gui/qt/contents/PictureView.h"
#include "gui/qt/contents/ThumbnailDelegate.h"
#include "gui/qt/contents/ThumbnailView.h"
#include "gui/qt/contents/ZoomSteps.h"
#include "io/FileStream.h"
#include "jobs/EntrySelection.h"
#include "jobs/FormatTable.h"

namespace packsmith::qt {

namespace {

constexpr int kThumbnailSide = 96;

std::vector<ListedEntry> Listing(const std::string& path)
{
    FileStream file(path, FileStream::Mode::OpenRead);
    return ListImagePack(file, path);
}

// A copy of a decoded picture: 4 bytes a pixel, blue, green, red, alpha, as Qt's ARGB32 is
// laid out in memory on a little-endian machine.
QImage ToImage(const Bitmap32& bitmap)
{
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "pictures are handed to Qt as ARGB32 in memory order");
    const QImage view(bitmap.Row(0), static_cast<int>(bitmap.Width()), static_cast<int>(bitmap.Height()),
                      static_cast<qsizetype>(bitmap.RowBytes()), QImage::Format_ARGB32);
    return view.copy();
}

// The format whose run extracts a pack, whatever the file's name ends in.
const Format& PackFormat(const std::string& path)
{
    if (const Format* format = FormatForFile(path); format != nullptr && format->List == &ListAt3)
        return *format;
    return *FormatByOption("at3");
}

// The sort choices the grid offers, by column.
struct SortChoice {
    const char* Text;
    int Column;
};
constexpr SortChoice kSortChoices[] = {
    {QT_TRANSLATE_NOOP("PackContentsWindow", "Index"), PackEntryModel::IndexColumn},
    {QT_TRANSLATE_NOOP("PackContentsWindow", "Name"), PackEntryModel::NameColumn},
    {QT_TRANSLATE_NOOP("PackContentsWindow", "Size"), PackEntryModel::SizeColumn},
    {QT_TRANSLATE_NOOP("PackContentsWindow", "Bytes"), PackEntryModel::BytesColumn},
};

} // namespace

PackContentsWindow::PackContentsWindow(const std::string& path, QWidget* parent)
    // Made absolute at once: a run of the main window makes its target directory current,
    // and the workers (and an extraction's log) still have to find the pack.
    : QMainWindow(parent), path_(std::filesystem::absolute(path).lexically_normal().string())
{
    std::vector<ListedEntry> entries = Listing(path_);
    reader_ = std::make_unique<PackPictureReader>(path_);

    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("%1 - Packsmith").arg(QFileInfo(ToQt(path_)).fileName()));
    resize(1100, 720);

    ThumbnailLoader::Options options;
    options.MaxSide = kThumbnailSide;
    model_ = new PackEntryModel(path_, std::move(entries), options, this);
    model_->setObjectName("Entries");
    proxy_ = new QSortFilterProxyModel(this);
    proxy_->setSourceModel(model_);
    proxy_->setSortRole(PackEntryModel::kSortRole);
    proxy_->setSortCaseSensitivity(Qt::CaseInsensitive);
    proxy_->setFilterKeyColumn(PackEntryModel::NameColumn);
    proxy_->setFilterCaseSensitivity(Qt::CaseInsensitive);

    extraction_ = new ContentsExtraction(this);
    BuildViews();
    BuildToolBar();

    count_ = new QLabel(this);
    statusBar()->addPermanentWidget(count_);
    connect(proxy_, &QAbstractItemModel::rowsInserted, this, &PackContentsWindow::ShowCount);
    connect(proxy_, &QAbstractItemModel::rowsRemoved, this, &PackContentsWindow::ShowCount);
    connect(proxy_, &QAbstractItemModel::modelReset, this, &PackContentsWindow::ShowCount);
    connect(proxy_, &QAbstractItemModel::layoutChanged, this, &PackContentsWindow::ShowCount);
    connect(extraction_, &ContentsExtraction::Progress, this, [this](int percent, const QString& status) {
        statusBar()->showMessage(percent >= 0 ? tr("Extracting: %1 % %2").arg(percent).arg(status) : status);
    });
    connect(extraction_, &ContentsExtraction::Finished, this, [this](const QString& summary, bool) {
        statusBar()->showMessage(summary);
        SelectionChanged();
    });
    ShowCount();
    SelectionChanged();
    if (proxy_->rowCount() > 0)
        grid_->setCurrentIndex(proxy_->index(0, PackEntryModel::NameColumn));
}

PackContentsWindow::~PackContentsWindow() = default;

void PackContentsWindow::BuildViews()
{
    grid_ = new ThumbnailView(this);
    grid_->setObjectName("Grid");
    grid_->setModel(proxy_);
    grid_->setModelColumn(PackEntryModel::NameColumn);
    auto* delegate = new ThumbnailDelegate(*model_, kThumbnailSide, grid_);
    grid_->setItemDelegate(delegate);
    grid_->SetDragData([this] { return PicturesForDrag(); });

    details_ = new EntryDetailsView(this);
    details_->setObjectName("Details");
    details_->setModel(proxy_);
    details_->setSelectionModel(grid_->selectionModel());
    details_->setSortingEnabled(true);
    details_->sortByColumn(PackEntryModel::IndexColumn, Qt::AscendingOrder);
    details_->SetDragData([this] { return PicturesForDrag(); });

    views_ = new QStackedWidget(this);
    views_->addWidget(grid_);
    views_->addWidget(details_);

    picture_ = new PictureView(this);
    picture_->setObjectName("Picture");

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(views_);
    splitter->addWidget(picture_);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    splitter->setSizes({width() * 3 / 5, width() * 2 / 5});
    setCentralWidget(splitter);

    QItemSelectionModel* selection = grid_->selectionModel();
    connect(selection, &QItemSelectionModel::currentChanged, this, &PackContentsWindow::ShowCurrent);
    connect(selection, &QItemSelectionModel::selectionChanged, this, &PackContentsWindow::SelectionChanged);
    connect(details_->header(), &QHeaderView::sortIndicatorChanged, this, [this](int column, Qt::SortOrder order) {
        // A click on a column heading shows in the grid's choice too.
        const auto* choice = std::find_if(std::begin(kSortChoices), std::end(kSortChoices),
                                          [column](const SortChoice& c) { return c.Column == column; });
        const QSignalBlocker blockChoice(sortBy_);
        const QSignalBlocker blockOrder(descending_);
        if (choice != std::end(kSortChoices))
            sortBy_->setCurrentIndex(static_cast<int>(choice - std::begin(kSortChoices)));
        descending_->setChecked(order == Qt::DescendingOrder);
    });
}

void PackContentsWindow::BuildToolBar()
{
    QToolBar* bar = addToolBar(tr("Contents"));
    bar->setObjectName("ContentsToolBar");
    bar->setMovable(false);

    auto* viewGroup = new QActionGroup(this);
    QAction* showGrid = bar->addAction(tr("Grid"));
    showGrid->setObjectName("ShowGrid");
    QAction* showDetails = bar->addAction(tr("Details"));
    showDetails->setObjectName("ShowDetails");
    for (QAction* action : {showGrid, showDetails}) {
        action->setCheckable(true);
        viewGroup->addAction(action);
    }
    showGrid->setChecked(true);
    connect(showGrid, &QAction::triggered, this, [this] { views_->setCurrentWidget(grid_); });
    connect(showDetails, &QAction::triggered, this, [this] { views_->setCurrentWidget(details_); });
    bar->addSeparator();

    filter_ = new QLineEdit(this);
    filter_->setObjectName("Filter");
    filter_->setPlaceholderText(tr("Filter by name"));
    filter_->setClearButtonEnabled(true);
    filter_->setMaximumWidth(240);
    connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
        proxy_->setFilterFixedString(text);
        grid_->scrollToTop();
        details_->scrollToTop();
    });
    bar->addWidget(filter_);
    QAction* find = new QAction(this);
    find->setShortcut(QKeySequence::Find);
    connect(find, &QAction::triggered, filter_, [this] { filter_->setFocus(); filter_->selectAll(); });
    addAction(find);

    bar->addWidget(new QLabel(tr("  Sort by "), this));
    sortBy_ = new QComboBox(this);
    sortBy_->setObjectName("SortBy");
    for (const SortChoice& choice : kSortChoices)
        sortBy_->addItem(tr(choice.Text));
    bar->addWidget(sortBy_);
    descending_ = bar->addAction(tr("Descending"));
    descending_->setObjectName("Descending");
    descending_->setCheckable(true);
    const auto sortAsChosen = [this] {
        SortBy(kSortChoices[std::max(0, sortBy_->currentIndex())].Column,
               descending_->isChecked() ? Qt::DescendingOrder : Qt::AscendingOrder);
    };
    connect(sortBy_, &QComboBox::currentIndexChanged, this, sortAsChosen);
    connect(descending_, &QAction::toggled, this, sortAsChosen);
    bar->addSeparator();

    BuildZoomControls(*bar);
    bar->addSeparator();

    extract_ = bar->addAction(tr("Extract selected..."));
    extract_->setObjectName("ExtractSelected");
    extract_->setShortcut(tr("Ctrl+E"));
    extract_->setToolTip(tr("Extract the selected pictures into a folder (Ctrl+E)"));
    connect(extract_, &QAction::triggered, this, &PackContentsWindow::ExtractSelected);
    copy_ = bar->addAction(tr("Copy picture"));
    copy_->setObjectName("CopyPicture");
    copy_->setShortcut(QKeySequence::Copy);
    copy_->setToolTip(tr("Copy the picture shown to the clipboard (Ctrl+C)"));
    connect(copy_, &QAction::triggered, this, &PackContentsWindow::CopyPicture);
}

void PackContentsWindow::BuildZoomControls(QToolBar& bar)
{
    zoomFit_ = bar.addAction(tr("Fit"));
    zoomFit_->setObjectName("ZoomFit");
    zoomFit_->setCheckable(true);
    zoomFit_->setShortcut(tr("Ctrl+0"));
    zoomFit_->setToolTip(tr("Fit the picture to the pane (Ctrl+0)"));
    connect(zoomFit_, &QAction::triggered, picture_, &PictureView::ZoomToFit);

    zoomLevel_ = new QLabel(this);
    zoomLevel_->setObjectName("ZoomLevel");
    zoomLevel_->setAlignment(Qt::AlignCenter);
    zoomLevel_->setMinimumWidth(zoomLevel_->fontMetrics().horizontalAdvance(QStringLiteral(" 8888 % ")));
    zoomLevel_->setToolTip(tr("The scale the picture is shown at"));
    bar.addWidget(zoomLevel_);

    // Ctrl+= as well: on many keyboards + is a shifted =.
    zoomIn_ = bar.addAction(tr("Zoom in"));
    zoomIn_->setObjectName("ZoomIn");
    zoomIn_->setShortcuts({QKeySequence::ZoomIn, QKeySequence(tr("Ctrl+="))});
    zoomIn_->setToolTip(tr("Zoom in (Ctrl++, or + over the picture, or Ctrl+wheel)"));
    connect(zoomIn_, &QAction::triggered, picture_, &PictureView::ZoomIn);
    zoomOut_ = bar.addAction(tr("Zoom out"));
    zoomOut_->setObjectName("ZoomOut");
    zoomOut_->setShortcut(QKeySequence::ZoomOut);
    zoomOut_->setToolTip(tr("Zoom out (Ctrl+-, or - over the picture, or Ctrl+wheel)"));
    connect(zoomOut_, &QAction::triggered, picture_, &PictureView::ZoomOut);

    connect(picture_, &PictureView::ZoomChanged, this, &PackContentsWindow::ShowZoom);
    ShowZoom();
}

void PackContentsWindow::ShowZoom()
{
    const double scale = picture_->Scale();
    zoomFit_->setChecked(picture_->Fitted());
    zoomLevel_->setText(tr("%1 %").arg(QLocale().toString(scale * 100, 'f', 0)));
    zoomIn_->setEnabled(ZoomStepIn(scale) != scale);
    zoomOut_->setEnabled(ZoomStepOut(scale) != scale);
}

void PackContentsWindow::SortBy(int column, Qt::SortOrder order)
{
    // Through the details list, so that its heading shows the order too.
    details_->sortByColumn(column, order);
}

std::vector<int> PackContentsWindow::SelectedRows() const
{
    std::vector<int> proxyRows;
    for (const QModelIndex& index : grid_->selectionModel()->selectedIndexes())
        if (index.column() == PackEntryModel::NameColumn)
            proxyRows.push_back(index.row());
    std::sort(proxyRows.begin(), proxyRows.end());
    std::vector<int> rows;
    rows.reserve(proxyRows.size());
    for (const int row : proxyRows)
        rows.push_back(proxy_->mapToSource(proxy_->index(row, PackEntryModel::NameColumn)).row());
    return rows;
}

void PackContentsWindow::ShowCurrent()
{
    const QModelIndex current = proxy_->mapToSource(grid_->selectionModel()->currentIndex());
    if (!current.isValid()) {
        picture_->SetMessage(QString());
        copy_->setEnabled(false);
        return;
    }
    const ListedEntry& entry = model_->Entry(current.row());
    const QString name = QString::fromLatin1(PrintableName(entry.StoredName));
    try {
        if (!entry.Problem.empty())
            throw PackError(entry.Problem);
        reader_->Read(entry, bitmap_);
        picture_->SetPicture(ToImage(bitmap_));
        statusBar()->showMessage(tr("%1: %2 x %3, %4, %5 bytes")
                                     .arg(name)
                                     .arg(entry.Width)
                                     .arg(entry.Height)
                                     .arg(QString::fromStdString(CodingText(entry)))
                                     .arg(QLocale().toString(entry.RecordBytes)));
    } catch (...) {
        const QString problem = ToQt(MessageOf(std::current_exception()));
        picture_->SetMessage(problem);
        statusBar()->showMessage(name + QStringLiteral(": ") + problem);
    }
    copy_->setEnabled(!picture_->Picture().isNull());
}

void PackContentsWindow::SelectionChanged()
{
    extract_->setEnabled(grid_->selectionModel()->hasSelection() && !extraction_->Running());
}

void PackContentsWindow::ShowCount()
{
    const int all = model_->rowCount();
    const int shown = proxy_->rowCount();
    const QString entries = QLocale().toString(all) + (all == 1 ? tr(" entry") : tr(" entries"));
    count_->setText(shown == all ? entries : tr("%1 of %2 shown").arg(QLocale().toString(shown), entries));
}

void PackContentsWindow::ExtractSelected()
{
    std::vector<std::uint32_t> indices;
    for (const int row : SelectedRows())
        indices.push_back(model_->Entry(row).Index);
    if (indices.empty())
        return;
    if (extraction_->Start(PackFormat(path_), path_, EntriesAt(std::move(indices))))
        extract_->setEnabled(false);
}

void PackContentsWindow::CopyPicture()
{
    if (!picture_->Picture().isNull())
        QGuiApplication::clipboard()->setImage(picture_->Picture());
}

QMimeData* PackContentsWindow::PicturesForDrag()
{
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return nullptr;
    QList<QUrl> urls;
    QString failure;
    try {
        if (!dragFolder_) {
            dragFolder_ = std::make_unique<QTemporaryDir>();
            if (!dragFolder_->isValid()) {
                const std::string where = FromQt(dragFolder_->path());
                dragFolder_.reset();
                ThrowCannotCreate(where);
            }
        }
        // A folder for each drag, so a picture dragged twice keeps its own name.
        const QString folder = dragFolder_->filePath(QString::number(++drags_));
        if (!QDir().mkpath(folder))
            ThrowCannotCreate(FromQt(folder));
        PictureWriter pictures;
        Bitmap32 bitmap;
        for (const int row : rows) {
            const ListedEntry& entry = model_->Entry(row);
            try {
                if (!entry.Problem.empty())
                    throw PackError(entry.Problem);
                reader_->Read(entry, bitmap);
                const auto written = pictures.Write(FromQt(folder), FileNamePart(entry.StoredName), bitmap);
                urls.push_back(QUrl::fromLocalFile(ToQt(written.Path)));
            } catch (...) {
                // The others still go; the status bar names the first that could not.
                if (failure.isEmpty())
                    failure = QString::fromLatin1(PrintableName(entry.StoredName)) + QStringLiteral(": ") +
                              ToQt(MessageOf(std::current_exception()));
            }
        }
    } catch (...) {
        failure = ToQt(MessageOf(std::current_exception()));
    }
    if (!failure.isEmpty())
        statusBar()->showMessage(failure);
    if (urls.isEmpty())
        return nullptr;
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

} // namespace packsmith::qt
