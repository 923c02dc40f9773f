#include "gui/qt/contents/EntryDetailsView.h"

#include <QHeaderView>
#include <QTimer>
#include <algorithm>
#include <array>

#include "gui/qt/contents/PackEntryModel.h"

namespace packsmith::qt {

namespace {

// The room the name is given, in widths of an average character: what it wants before the
// free-text columns are narrowed for it, and the least it is cut to before the list scrolls
// sideways (and then it has what it wants).
constexpr int kNameWanted = 32;
constexpr int kNameLeast = 16;

bool IsFreeText(int column) { return column == PackEntryModel::PathColumn || column == PackEntryModel::ProblemColumn; }

} // namespace

EntryDetailsView::EntryDetailsView(QWidget* parent) : QTreeView(parent)
{
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAlternatingRowColors(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    AllowCopyDrag(*this);
    header()->setStretchLastSection(false);
    connect(header(), &QHeaderView::sectionResized, this, [this](int column, int, int) {
        // A stretched name follows the others; sized by hand, it counts too.
        if (!fitting_ && (column != PackEntryModel::NameColumn ||
                          header()->sectionResizeMode(column) != QHeaderView::Stretch))
            sizedByUser_ = true;
    });
    // The heading sorted by is wider by its arrow, and other rows come into view.
    connect(header(), &QHeaderView::sortIndicatorChanged, this, &EntryDetailsView::TextChanged);
}

void EntryDetailsView::setModel(QAbstractItemModel* model)
{
    if (this->model() != nullptr)
        disconnect(this->model(), nullptr, this, nullptr);
    QTreeView::setModel(model);
    header()->setSectionResizeMode(QHeaderView::Interactive);
    sizedByUser_ = false;
    measured_ = false;
    if (model != nullptr) {
        // Thumbnails arriving change no text; a reason why an entry cannot be read does.
        connect(model, &QAbstractItemModel::modelReset, this, &EntryDetailsView::TextChanged);
        connect(model, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                    if (roles.isEmpty() || roles.contains(Qt::DisplayRole))
                        TextChanged();
                });
    }
    TextChanged();
}

void EntryDetailsView::TextChanged()
{
    measured_ = false;
    if (!sizedByUser_ && !refitDue_) {
        refitDue_ = true;
        QTimer::singleShot(0, this, [this] {
            refitDue_ = false;
            if (!sizedByUser_)
                FitColumns();
        });
    }
}

void EntryDetailsView::Measure()
{
    // Measuring takes each column's text of up to a thousand rows: tens of milliseconds
    // in a large pack, too long to repeat for every step of a window being resized.
    for (int column = 0; column < PackEntryModel::ColumnCount; ++column)
        wanted_[column] = column == PackEntryModel::NameColumn
                              ? std::max(0, sizeHintForColumn(column))
                              : std::max(header()->sectionSizeHint(column), sizeHintForColumn(column));
    measured_ = true;
}

void EntryDetailsView::FitColumns()
{
    if (model() == nullptr || model()->columnCount() != PackEntryModel::ColumnCount)
        return;
    if (!measured_)
        Measure();
    fitting_ = true;
    std::array<int, PackEntryModel::ColumnCount> widths = wanted_;
    int fixed = 0;
    int freeText = 0;
    for (int column = 0; column < PackEntryModel::ColumnCount; ++column)
        if (column != PackEntryModel::NameColumn)
            (IsFreeText(column) ? freeText : fixed) += widths[column];
    const int nameHint = widths[PackEntryModel::NameColumn];
    const int nameWanted = std::min(kNameWanted * fontMetrics().averageCharWidth(), nameHint);
    const int nameLeast = std::min(kNameLeast * fontMetrics().averageCharWidth(), nameHint);
    const int spare = viewport()->width() - fixed - nameWanted;
    if (freeText > spare) {
        // Each free-text column gets half of what is left, or more where the other needs
        // less; never less than its heading.
        const int path = widths[PackEntryModel::PathColumn];
        const int problem = widths[PackEntryModel::ProblemColumn];
        const int half = std::max(0, spare) / 2;
        widths[PackEntryModel::PathColumn] = std::min(path, std::max(half, spare - problem));
        widths[PackEntryModel::ProblemColumn] = std::min(problem, std::max(half, spare - widths[PackEntryModel::PathColumn]));
        for (const int column : {PackEntryModel::PathColumn, PackEntryModel::ProblemColumn})
            widths[column] = std::max(widths[column], header()->sectionSizeHint(column));
    }
    int others = 0;
    for (int column = 0; column < PackEntryModel::ColumnCount; ++column)
        if (column != PackEntryModel::NameColumn) {
            header()->resizeSection(column, widths[column]);
            others += widths[column];
        }
    // Too narrow for all of it, the list scrolls sideways rather than cutting every name
    // short.
    const bool fits = others + nameLeast <= viewport()->width();
    header()->setSectionResizeMode(PackEntryModel::NameColumn, fits ? QHeaderView::Stretch : QHeaderView::Interactive);
    if (!fits)
        header()->resizeSection(PackEntryModel::NameColumn, nameWanted);
    fitting_ = false;
}

void EntryDetailsView::startDrag(Qt::DropActions supportedActions)
{
    StartCopyDrag(*this, supportedActions, dragData_);
}

void EntryDetailsView::resizeEvent(QResizeEvent* event)
{
    QTreeView::resizeEvent(event);
    if (!sizedByUser_)
        FitColumns();
}

} // namespace packsmith::qt
