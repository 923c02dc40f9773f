#pragma once

#include <QImage>
#include <QMainWindow>
#include <memory>
#include <string>
#include <vector>

#include "formats/tga/Bitmap32.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QSortFilterProxyModel;
class QStackedWidget;
class QTemporaryDir;
class QToolBar;

namespace packsmith {
class PackPictureReader;
}

namespace packsmith::qt {

class ContentsExtraction;
class EntryDetailsView;
class PackEntryModel;
class PictureView;
class ThumbnailView;

// The contents of one image pack in a window of its own: a grid of thumbnails (or a
// details list) that can be sorted and filtered by name, the selected picture large beside
// it, and the selected pictures extracted, copied or dragged out as TGA files. The list
// shows at once; thumbnails fill in from worker threads while the window stays responsive.
class PackContentsWindow final : public QMainWindow {
    Q_OBJECT
public:
    // Lists the pack; a PackError (naming the file) when it cannot be listed.
    explicit PackContentsWindow(const std::string& path, QWidget* parent = nullptr);
    ~PackContentsWindow() override;

    // The selected pictures as TGA files in a folder of the window's (which goes with it),
    // named as an extraction names them; null when none could be written (the status bar
    // says why). What a drag out of the grid or the details list hands over.
    QMimeData* PicturesForDrag();

private:
    void BuildViews();
    void BuildToolBar();
    void BuildZoomControls(QToolBar& bar);
    void ShowZoom();
    void SortBy(int column, Qt::SortOrder order);
    void ShowCurrent();
    void SelectionChanged();
    void ShowCount();
    void ExtractSelected();
    void CopyPicture();
    // The source rows of the selection, in the order the view shows them.
    std::vector<int> SelectedRows() const;

    std::string path_;
    std::unique_ptr<PackPictureReader> reader_; // the window's own, for the large picture
    Bitmap32 bitmap_;
    PackEntryModel* model_ = nullptr;
    QSortFilterProxyModel* proxy_ = nullptr;
    QStackedWidget* views_ = nullptr;
    ThumbnailView* grid_ = nullptr;
    EntryDetailsView* details_ = nullptr;
    PictureView* picture_ = nullptr;
    QLineEdit* filter_ = nullptr;
    QComboBox* sortBy_ = nullptr;
    QAction* descending_ = nullptr;
    QAction* zoomFit_ = nullptr;
    QLabel* zoomLevel_ = nullptr;
    QAction* zoomIn_ = nullptr;
    QAction* zoomOut_ = nullptr;
    QAction* extract_ = nullptr;
    QAction* copy_ = nullptr;
    QLabel* count_ = nullptr;
    ContentsExtraction* extraction_ = nullptr;
    std::unique_ptr<QTemporaryDir> dragFolder_;
    int drags_ = 0;
};

} // namespace packsmith::qt
