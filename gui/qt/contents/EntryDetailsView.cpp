#include "gui/qt/contents/EntryDetailsView.h"

#include <QHeaderView>
#include <algorithm>
#include <array>

#include "gui/qt/contents/PackEntryModel.h"

namespace packsmith::qt {

namespace {

// What the name keeps at least, in widths of an average character, before the free-text
// columns are narrowed to make room for it.
constexpr int kNameCharacters = 32;

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
        if (!fitting_ && column != PackEntryModel::NameColumn)
            sizedByUser_ = true;
    });
}

void EntryDetailsView::setModel(QAbstractItemModel* model)
{
    QTreeView::setModel(model);
    header()->setSectionResizeMode(QHeaderView::Interactive);
    header()->setSectionResizeMode(PackEntryModel::NameColumn, QHeaderView::Stretch);
    sizedByUser_ = false;
    FitColumns();
}

void EntryDetailsView::FitColumns()
{
    if (model() == nullptr || model()->columnCount() != PackEntryModel::ColumnCount)
        return;
    fitting_ = true;
    std::array<int, PackEntryModel::ColumnCount> widths{};
    int fixed = 0;
    int freeText = 0;
    for (int column = 0; column < PackEntryModel::ColumnCount; ++column) {
        if (column == PackEntryModel::NameColumn)
            continue;
        const int width = std::max(header()->sectionSizeHint(column), sizeHintForColumn(column));
        widths[column] = width;
        (IsFreeText(column) ? freeText : fixed) += width;
    }
    const int nameRoom =
        std::min(kNameCharacters * fontMetrics().averageCharWidth(), std::max(0, sizeHintForColumn(PackEntryModel::NameColumn)));
    const int spare = viewport()->width() - fixed - nameRoom;
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
    for (int column = 0; column < PackEntryModel::ColumnCount; ++column)
        if (column != PackEntryModel::NameColumn)
            header()->resizeSection(column, widths[column]);
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
