#pragma once

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "formats/imagepack/PackListing.h"
#include "gui/browse/ThumbnailLoader.h"

namespace packsmith::qt {

// The entries of a pack for its views: a row per entry in table order (row n is entry n),
// the columns of a listing, and each entry's thumbnail as it arrives from the loader's workers. A grid asks
// for the thumbnails it paints; those it finds missing are made before any other.
class PackEntryModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { IndexColumn, NameColumn, PathColumn, SizeColumn, CodingColumn, BytesColumn, ProblemColumn, ColumnCount };
    // What the views sort by: numbers for the numeric columns, the shown text otherwise.
    static constexpr int kSortRole = Qt::UserRole;
    // The entry's table index (0-based), in every column.
    static constexpr int kEntryRole = Qt::UserRole + 1;

    PackEntryModel(const std::string& packPath, std::vector<ListedEntry> entries,
                   ThumbnailLoader::Options options = {}, QObject* parent = nullptr);
    ~PackEntryModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    const ListedEntry& Entry(int row) const { return entries_[static_cast<std::size_t>(row)]; }
    // Why the entry's picture cannot be had (from the listing, or once decoding failed);
    // empty otherwise.
    QString Problem(int row) const;
    // The entry's thumbnail; null while it is being made, and then it is made before the
    // entries not asked for.
    std::shared_ptr<const Thumbnail> ThumbnailOf(int row);
    const ThumbnailLoader& Loader() const { return *loader_; }

signals:
    // Thumbnails arrived: made, of all entries, so far.
    void ThumbnailsArrived(int made, int total);

private:
    void TakeSoon();
    void TakeThumbnails();

    std::vector<ListedEntry> entries_;
    std::vector<QString> names_;
    std::vector<std::string> decodeProblems_;
    std::vector<std::uint32_t> asked_; // missing thumbnails painted since the last wish
    QTimer askTimer_;
    QTimer takeTimer_;
    QElapsedTimer sinceTake_;
    std::atomic<bool> takeDue_{false};
    std::unique_ptr<ThumbnailLoader> loader_; // last: its workers stop before the rest goes
};

} // namespace packsmith::qt
