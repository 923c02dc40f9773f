#include "gui/qt/contents/PackEntryModel.h"

#include <QBrush>
#include <QColor>
#include <QLocale>
#include <algorithm>

#include "formats/imagepack/OutputNames.h"

namespace packsmith::qt {

namespace {

constexpr int kTakesPerSecond = 25;

// Stored names are 8-bit text from another system: shown byte for byte, one character each.
QString Shown(const std::string& storedText) { return QString::fromLatin1(PrintableName(storedText)); }

QString SizeText(const ListedEntry& entry)
{
    if (entry.Coding == RecordCoding::Unreadable && entry.Width == 0 && entry.Height == 0)
        return QStringLiteral("?");
    return QStringLiteral("%1 x %2").arg(entry.Width).arg(entry.Height);
}

} // namespace

PackEntryModel::PackEntryModel(const std::string& packPath, std::vector<ListedEntry> entries,
                               ThumbnailLoader::Options options, QObject* parent)
    : QAbstractTableModel(parent), entries_(std::move(entries)), decodeProblems_(entries_.size())
{
    names_.reserve(entries_.size());
    for (const ListedEntry& entry : entries_)
        names_.push_back(Shown(entry.StoredName));

    askTimer_.setSingleShot(true);
    connect(&askTimer_, &QTimer::timeout, this, [this] {
        loader_->Want(asked_);
        asked_.clear();
    });
    takeTimer_.setSingleShot(true);
    connect(&takeTimer_, &QTimer::timeout, this, &PackEntryModel::TakeThumbnails);
    sinceTake_.start();
    // Called on a worker thread: one queued call per batch of thumbnails.
    loader_ = std::make_unique<ThumbnailLoader>(packPath, entries_, options, [this] {
        if (!takeDue_.exchange(true))
            QMetaObject::invokeMethod(this, &PackEntryModel::TakeSoon, Qt::QueuedConnection);
    });
}

PackEntryModel::~PackEntryModel() { loader_.reset(); }

int PackEntryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

int PackEntryModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QString PackEntryModel::Problem(int row) const
{
    const ListedEntry& entry = Entry(row);
    return QString::fromStdString(entry.Problem.empty() ? decodeProblems_[static_cast<std::size_t>(row)]
                                                        : entry.Problem);
}

QVariant PackEntryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const int row = index.row();
    const ListedEntry& entry = Entry(row);
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case IndexColumn:
            return entry.Index + 1;
        case NameColumn:
            return names_[static_cast<std::size_t>(row)];
        case PathColumn:
            return Shown(entry.OutputPath);
        case SizeColumn:
            return SizeText(entry);
        case CodingColumn:
            return QString::fromStdString(CodingText(entry));
        case BytesColumn:
            return QLocale().toString(entry.RecordBytes);
        case ProblemColumn:
            return Problem(row);
        }
        return {};
    case kSortRole:
        switch (index.column()) {
        case IndexColumn:
            return entry.Index;
        case SizeColumn:
            return static_cast<qulonglong>(entry.Width) * entry.Height;
        case BytesColumn:
            return entry.RecordBytes;
        default:
            return data(index, Qt::DisplayRole);
        }
    case kEntryRole:
        return entry.Index;
    case Qt::ToolTipRole: {
        QString tip = names_[static_cast<std::size_t>(row)] + QStringLiteral("\n") + SizeText(entry) +
                      QStringLiteral(", ") + QString::fromStdString(CodingText(entry));
        const QString problem = Problem(row);
        return problem.isEmpty() ? tip : tip + QStringLiteral("\n") + problem;
    }
    case Qt::ForegroundRole:
        if (index.column() == ProblemColumn)
            return QBrush(QColor(0xB0, 0x10, 0x10));
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == IndexColumn || index.column() == BytesColumn)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default:
        return {};
    }
}

QVariant PackEntryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case IndexColumn:
        return tr("#");
    case NameColumn:
        return tr("Name");
    case PathColumn:
        return tr("Extracts to");
    case SizeColumn:
        return tr("Size");
    case CodingColumn:
        return tr("Coding");
    case BytesColumn:
        return tr("Bytes");
    case ProblemColumn:
        return tr("Problem");
    }
    return {};
}

Qt::ItemFlags PackEntryModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

std::shared_ptr<const Thumbnail> PackEntryModel::ThumbnailOf(int row)
{
    const std::uint32_t entry = Entry(row).Index;
    std::shared_ptr<const Thumbnail> thumbnail = loader_->Find(entry);
    if (!thumbnail) {
        // Asked for in the order painted; told to the loader once the painting is over.
        asked_.push_back(entry);
        if (!askTimer_.isActive())
            askTimer_.start(0);
    }
    return thumbnail;
}

void PackEntryModel::TakeSoon()
{
    const qint64 interval = 1000 / kTakesPerSecond;
    takeTimer_.start(static_cast<int>(std::max<qint64>(0, interval - sinceTake_.elapsed())));
}

void PackEntryModel::TakeThumbnails()
{
    takeDue_ = false;
    sinceTake_.restart();
    const std::vector<std::uint32_t> arrived = loader_->Take();
    if (arrived.empty())
        return;
    std::uint32_t first = arrived.front();
    std::uint32_t last = arrived.front();
    for (const std::uint32_t entry : arrived) {
        first = std::min(first, entry);
        last = std::max(last, entry);
        if (!entries_[entry].Problem.empty() || !decodeProblems_[entry].empty())
            continue;
        // Only a failure needs the thumbnail itself here: its reason goes into the list.
        if (const auto thumbnail = loader_->Find(entry); thumbnail && !thumbnail->Problem.empty()) {
            decodeProblems_[entry] = thumbnail->Problem;
            const QModelIndex problem = index(static_cast<int>(entry), ProblemColumn);
            emit dataChanged(problem, problem, {Qt::DisplayRole, Qt::ToolTipRole, kSortRole});
        }
    }
    emit dataChanged(index(static_cast<int>(first), 0), index(static_cast<int>(last), ColumnCount - 1),
                     {Qt::DecorationRole, Qt::ToolTipRole});
    emit ThumbnailsArrived(static_cast<int>(loader_->MadeCount()), static_cast<int>(entries_.size()));
}

} // namespace packsmith::qt
