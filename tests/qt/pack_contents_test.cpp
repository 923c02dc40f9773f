// The pack contents window under the offscreen platform: what it shows of a pack, the
// thumbnails and their markers, the large picture and its zoom, the files it hands to a
// drag, the details list's columns, one window a file and on the screen, and closing it
// while its workers decode; and the thumbnail loader's order and budget.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDrag>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMimeData>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QWheelEvent>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <gtest/gtest.h>

#include "core/ByteOrder.h"
#include "formats/imagepack/record/ImageRecord.h"
#include "formats/tga/Bitmap32.h"
#include "formats/tga/TgaLibrary.h"
#include "gui/browse/ThumbnailLoader.h"
#include "gui/qt/QtText.h"
#include "gui/qt/contents/ContentsWindow.h"
#include "gui/qt/contents/PackContentsWindow.h"
#include "gui/qt/contents/PackEntryModel.h"
#include "gui/qt/contents/PictureView.h"
#include "gui/qt/contents/ThumbnailView.h"
#include "io/FileStream.h"
#include "testing/Bytes.h"
#include "testing/PackFixtures.h"
#include "testing/ScriptedDialogs.h"
#include "testing/TempDir.h"

namespace packsmith::test {
namespace {

using qt::PackContentsWindow;
using qt::PackEntryModel;

// What a thumbnail of an unscaled picture holds: the decoded pixels premultiplied by alpha.
std::vector<std::uint8_t> Premultiplied(const std::vector<std::uint8_t>& bgra)
{
    std::vector<std::uint8_t> out(bgra);
    for (std::size_t i = 0; i < out.size(); i += 4)
        for (std::size_t c = 0; c < 3; ++c)
            out[i + c] = static_cast<std::uint8_t>((bgra[i + c] * bgra[i + 3] + 127) / 255);
    return out;
}

std::vector<std::uint8_t> Bytes(const QImage& image)
{
    std::vector<std::uint8_t> bytes;
    for (int y = 0; y < image.height(); ++y)
        bytes.insert(bytes.end(), image.constScanLine(y), image.constScanLine(y) + image.width() * 4);
    return bytes;
}

struct PackFile {
    std::vector<EncodedImage> pictures; // by entry; empty Expected for the broken ones
    std::string path;
};

// A small pack of pictures, one whose record claims no blocks at all (it lists but cannot
// be decoded) and one whose record has no header at all (the listing says so).
PackFile MixedPack(const TempDir& dir)
{
    PackFile pack;
    const std::vector<std::pair<std::string, std::pair<std::uint32_t, std::uint32_t>>> named = {
        {"sprites\\hero.tga", {16, 4}}, {"sprites\\HERO2.bmp", {32, 8}}, {"tree_with_broad_leaves.tga", {16, 4}},
        {"broken.tga", {16, 4}},        {"short.tga", {16, 4}},         {"other\\hero.tga", {200, 40}},
    };
    std::vector<PackPicture> pictures;
    for (std::size_t i = 0; i < named.size(); ++i) {
        EncodedImage image = Picture(static_cast<std::uint32_t>(i) + 1, named[i].second.first, named[i].second.second);
        if (named[i].first == "broken.tga") {
            StoreLE32(image.Record.data() + image_record::kCodedWidthAt, 0);
            image.Expected.clear();
        } else if (named[i].first == "short.tga") {
            image.Record.resize(10);
            image.Expected.clear();
        }
        pictures.push_back({named[i].first, image.Record});
        pack.pictures.push_back(std::move(image));
    }
    pack.path = dir.Write("mixed.at3", AsString(BuildImagePack(pictures)));
    return pack;
}

// Presses on the item and moves the mouse as a user starting a drag does; the files the
// drag hands over (none when none started).
QList<QUrl> DraggedFrom(QAbstractItemView& view, const QModelIndex& item)
{
    const QList<QDrag*> before = view.findChildren<QDrag*>();
    QList<QUrl> urls;
    const auto take = [&] {
        for (QDrag* drag : view.findChildren<QDrag*>())
            if (!before.contains(drag) && urls.isEmpty() && drag->mimeData() != nullptr)
                urls = drag->mimeData()->urls();
    };
    // A platform that runs a drag in an event loop of its own is told to stop at once;
    // where the drag ends at once, its object is there until events are handled again.
    const QObject takesUntilReturn;
    QTimer::singleShot(0, &takesUntilReturn, [&] {
        take();
        QDrag::cancel();
    });
    const QPoint at = view.visualRect(item).center();
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, at);
    // The first move makes it a drag, the next one past the drag distance starts it.
    for (const int step : {1, 2, 3})
        QTest::mouseMove(view.viewport(), at + QPoint(step * (QApplication::startDragDistance() + 2), 0));
    take();
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, at);
    return urls;
}

class PackContentsWindowTest : public ::testing::Test {
protected:
    void Open(const std::string& path)
    {
        window = new PackContentsWindow(path);
        // Connected before any event is handled: the first thumbnails may arrive with the
        // window's first events.
        model = window->findChild<PackEntryModel*>("Entries");
        ASSERT_NE(model, nullptr);
        QObject::connect(model, &PackEntryModel::ThumbnailsArrived, [this](int made, int) { shownMade = made; });
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }
    void TearDown() override { delete window.data(); }

    QPointer<PackContentsWindow> window;
    PackEntryModel* model = nullptr;
    int shownMade = 0;
};

TEST_F(PackContentsWindowTest, ShowsThumbnailsMarksBrokenEntriesAndHandsOverPictures)
{
    TempDir dir;
    const PackFile pack = MixedPack(dir);
    Open(pack.path);
    const int count = static_cast<int>(pack.pictures.size());
    ASSERT_EQ(model->rowCount(), count);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownMade == count; }, 10000)) << shownMade;

    // Every thumbnail is its own entry's picture, whichever worker made it; the broken
    // entries have the reason instead, in the grid and in the details list.
    for (int row = 0; row < count; ++row) {
        SCOPED_TRACE(row);
        const auto thumbnail = model->ThumbnailOf(row);
        ASSERT_NE(thumbnail, nullptr);
        const QString problem = model->data(model->index(row, PackEntryModel::ProblemColumn)).toString();
        if (pack.pictures[static_cast<std::size_t>(row)].Expected.empty()) {
            EXPECT_FALSE(thumbnail->Problem.empty());
            EXPECT_FALSE(problem.isEmpty());
            EXPECT_TRUE(thumbnail->Pixels.empty());
        } else if (row == 5) {
            EXPECT_EQ(thumbnail->Width, 96u);
            EXPECT_EQ(thumbnail->Height, 19u);
        } else {
            EXPECT_TRUE(problem.isEmpty()) << problem.toStdString();
            EXPECT_EQ(thumbnail->Pixels, Premultiplied(pack.pictures[static_cast<std::size_t>(row)].Expected));
        }
    }
    EXPECT_NE(model->Problem(3).indexOf("broken.tga"), -1) << model->Problem(3).toStdString();
    EXPECT_NE(model->Problem(4).indexOf("header"), -1) << model->Problem(4).toStdString();

    // The broken entry's cell shows the red cross.
    auto* grid = window->findChild<qt::ThumbnailView*>("Grid");
    auto* proxy = qobject_cast<QSortFilterProxyModel*>(grid->model());
    const QRect cell = grid->visualRect(proxy->mapFromSource(model->index(3, PackEntryModel::NameColumn)));
    const QImage shot = grid->viewport()->grab(cell).toImage();
    int red = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (const QRgb p = shot.pixel(x, y); qRed(p) > 180 && qGreen(p) < 90 && qBlue(p) < 90)
                ++red;
    EXPECT_GT(red, 20);

    // Filtering by name ignores case; sorting by name puts the tree first when descending.
    window->findChild<QLineEdit*>("Filter")->setText("hero");
    EXPECT_EQ(proxy->rowCount(), 3);
    window->findChild<QLineEdit*>("Filter")->clear();
    EXPECT_EQ(proxy->rowCount(), count);
    window->findChild<QComboBox*>("SortBy")->setCurrentIndex(1);
    window->findChild<QAction*>("Descending")->setChecked(true);
    EXPECT_EQ(proxy->index(0, PackEntryModel::NameColumn).data().toString(), "tree_with_broad_leaves.tga");

    // The current entry large, copied as it is; a broken one shows why instead.
    auto* picture = window->findChild<qt::PictureView*>("Picture");
    const auto select = [&](int row) {
        grid->setCurrentIndex(proxy->mapFromSource(model->index(row, PackEntryModel::NameColumn)));
    };
    select(1);
    EXPECT_EQ(Bytes(picture->Picture()), pack.pictures[1].Expected);
    QGuiApplication::clipboard()->clear();
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(Bytes(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_ARGB32)),
              pack.pictures[1].Expected);
    select(3);
    EXPECT_TRUE(picture->Picture().isNull());
    EXPECT_FALSE(window->findChild<QAction*>("CopyPicture")->isEnabled());

    // A drag out of the grid or out of the details list hands over TGA files named as an
    // extraction names them, two pictures of one name side by side; the entry that cannot
    // be read is left out.
    auto* details = window->findChild<QTreeView*>("Details");
    const TgaLibrary codec;
    for (const auto& [view, show] : {std::pair<QAbstractItemView*, const char*>{grid, "ShowGrid"},
                                     std::pair<QAbstractItemView*, const char*>{details, "ShowDetails"}}) {
        SCOPED_TRACE(show);
        window->findChild<QAction*>(show)->trigger();
        grid->selectionModel()->clearSelection();
        for (const int row : {0, 3, 5})
            grid->selectionModel()->select(proxy->mapFromSource(model->index(row, PackEntryModel::NameColumn)),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QList<QUrl> urls = DraggedFrom(*view, proxy->mapFromSource(model->index(0, PackEntryModel::NameColumn)));
        ASSERT_EQ(urls.size(), 2);
        for (const auto& [url, row] : {std::pair{urls[0], 0}, std::pair{urls[1], 5}}) {
            SCOPED_TRACE(row);
            Bitmap32 read;
            codec.Read(qt::FromQt(url.toLocalFile()), *read.ForCodec());
            const std::vector<std::uint8_t> bytes(read.Row(0), read.Row(0) + read.RowBytes() * read.Height());
            EXPECT_EQ(bytes, pack.pictures[static_cast<std::size_t>(row)].Expected);
        }
        // In the order shown (by name, descending): "sprites\hero.tga" before "other\hero.tga".
        EXPECT_EQ(urls[0].fileName().toStdString(), "hero.tga.tga");
        EXPECT_EQ(urls[1].fileName().toStdString(), "hero_0000.tga");
    }
}

// A picture of 128 flat colours in 64-pixel squares: few distinct blocks, however large.
EncodedImage LargeFlatPicture(std::uint32_t width, std::uint32_t height)
{
    std::vector<std::uint32_t> pixels(std::size_t{width} * height);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            pixels[std::size_t{y} * width + x] = 0xFF000000u | ((x / 64 + y / 64 * 16) * 0x010203u);
    return EncodeImageRecord(width, height, pixels, ImageEncoderOptions{});
}

TEST_F(PackContentsWindowTest, ClosingWhileThumbnailsAreDecodedReturnsAtOnce)
{
    TempDir dir;
    const EncodedImage large = LargeFlatPicture(1024, 512);
    const std::vector<PackPicture> pictures(1500, PackPicture{"large.tga", large.Record});
    Open(dir.Write("large.at3", AsString(BuildImagePack(pictures))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownMade > 0; }, 10000));
    ASSERT_LT(model->Loader().MadeCount(), pictures.size()) << "all decoded before the window was closed";

    window->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 5000));
}

// Sends a turn of the wheel (in eighths of a degree) with Ctrl held, at a point of the
// picture's viewport.
void CtrlWheel(qt::PictureView& picture, QPoint at, int turn)
{
    QWheelEvent wheel(at, picture.viewport()->mapToGlobal(at), QPoint(), QPoint(0, turn), Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(picture.viewport(), &wheel);
}

// The point of the picture (in its pixels) under a point of the viewport.
QPointF PictureAt(const qt::PictureView& picture, QPoint at)
{
    const QPoint onCanvas = picture.widget()->mapFrom(picture.viewport(), at);
    return QPointF(onCanvas - picture.PictureRect().topLeft()) / picture.Scale();
}

TEST_F(PackContentsWindowTest, ZoomsInStepsByWheelKeysAndButtonsAndStopsAtTheEnds)
{
    TempDir dir;
    const EncodedImage large = LargeFlatPicture(1024, 512);
    Open(dir.Write("one.at3", AsString(BuildImagePack({PackPicture{"large.tga", large.Record}}))));
    auto* picture = window->findChild<qt::PictureView*>("Picture");
    auto* level = window->findChild<QLabel*>("ZoomLevel");
    auto* zoomIn = window->findChild<QAction*>("ZoomIn");
    auto* zoomOut = window->findChild<QAction*>("ZoomOut");
    auto* fit = window->findChild<QAction*>("ZoomFit");
    ASSERT_TRUE(picture && level && zoomIn && zoomOut && fit);
    ASSERT_EQ(picture->Picture().size(), QSize(1024, 512));
    ASSERT_TRUE(picture->Fitted());
    const double fitted = picture->Scale();
    ASSERT_GT(fitted, 0.34);
    ASSERT_LT(fitted, 0.5) << "the pane is not of the size this test expects";

    const QPoint middle = picture->viewport()->rect().center();
    const auto key = [&](Qt::Key k, Qt::KeyboardModifiers modifiers) {
        picture->setFocus();
        QTest::keyClick(picture, k, modifiers);
    };
    struct Step {
        const char* How;
        std::function<void()> Act;
        double Scale; // 0: fitted
    };
    const Step steps[] = {
        {"Ctrl+wheel up", [&] { CtrlWheel(*picture, middle, 120); }, 0.5},
        {"Ctrl++", [&] { key(Qt::Key_Plus, Qt::ControlModifier); }, 2.0 / 3},
        {"+ over the picture", [&] { key(Qt::Key_Plus, Qt::NoModifier); }, 1.0},
        {"two half notches", [&] { CtrlWheel(*picture, middle, 60); CtrlWheel(*picture, middle, 60); }, 1.5},
        {"zoom in", [&] { zoomIn->trigger(); }, 2.0},
        {"zoom in", [&] { zoomIn->trigger(); }, 3.0},
        {"= over the picture", [&] { key(Qt::Key_Equal, Qt::NoModifier); }, 4.0},
        {"zoom in", [&] { zoomIn->trigger(); }, 6.0},
        {"Ctrl+wheel up three notches", [&] { CtrlWheel(*picture, middle, 360); }, 8.0},
        {"zoom in past the last step", [&] { zoomIn->trigger(); }, 8.0},
        {"Ctrl+wheel down", [&] { CtrlWheel(*picture, middle, -120); }, 6.0},
        {"Ctrl+-", [&] { key(Qt::Key_Minus, Qt::ControlModifier); }, 4.0},
        {"- over the picture", [&] { key(Qt::Key_Minus, Qt::NoModifier); }, 3.0},
        {"fit", [&] { fit->trigger(); }, 0},
        {"zoom out from fitted", [&] { zoomOut->trigger(); }, 1.0 / 3},
        {"Ctrl+wheel down", [&] { CtrlWheel(*picture, middle, -120); }, 0.25},
        {"Ctrl+wheel down past the first step", [&] { CtrlWheel(*picture, middle, -120); }, 0.25},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.How);
        step.Act();
        const double scale = step.Scale == 0 ? fitted : step.Scale;
        EXPECT_EQ(picture->Fitted(), step.Scale == 0);
        EXPECT_NEAR(picture->Scale(), scale, 1e-9);
        EXPECT_EQ(fit->isChecked(), step.Scale == 0);
        EXPECT_EQ(level->text().toStdString(), std::to_string(std::lround(scale * 100)) + " %");
        // Drawn at that scale, and the buttons say whether there is a step further.
        EXPECT_EQ(picture->PictureRect().size(), QSize(std::lround(1024 * scale), std::lround(512 * scale)));
        EXPECT_EQ(zoomIn->isEnabled(), scale < 8);
        EXPECT_EQ(zoomOut->isEnabled(), scale > 0.25);
    }

    // The wheel keeps the point under the cursor where it is, scrolled as far as needed.
    picture->ZoomTo(1.0);
    QCoreApplication::processEvents(); // scroll bars come and go a moment later
    const QPoint cursor(picture->viewport()->width() / 4, picture->viewport()->height() / 3);
    const QPointF before = PictureAt(*picture, cursor);
    CtrlWheel(*picture, cursor, 120);
    QCoreApplication::processEvents();
    ASSERT_EQ(picture->Scale(), 1.5);
    EXPECT_GT(picture->horizontalScrollBar()->value(), 0);
    const QPointF after = PictureAt(*picture, cursor);
    EXPECT_NEAR(after.x(), before.x(), 1.0);
    EXPECT_NEAR(after.y(), before.y(), 1.0);
}

TEST_F(PackContentsWindowTest, DetailsListColumnsFitThePane)
{
    TempDir dir;
    const PackFile pack = MixedPack(dir); // a longer name, long reasons in the problem column
    Open(pack.path);
    window->findChild<QAction*>("ShowDetails")->trigger();
    auto* details = window->findChild<QTreeView*>("Details");
    ASSERT_TRUE(QTest::qWaitFor([&] { return details->isVisible(); }));
    const QAbstractItemView& view = *details; // where the size a column's contents want is public
    QHeaderView* header = details->header();
    const int room = details->viewport()->width();
    EXPECT_LE(header->length(), room);
    for (const int column : {PackEntryModel::CodingColumn, PackEntryModel::BytesColumn, PackEntryModel::ProblemColumn}) {
        SCOPED_TRACE(column);
        EXPECT_LE(header->sectionViewportPosition(column) + header->sectionSize(column), room);
        // As wide as its heading at least, and as what it shows where there is room.
        EXPECT_GE(header->sectionSize(column), header->sectionSizeHint(column));
    }
    EXPECT_GE(header->sectionSize(PackEntryModel::CodingColumn), view.sizeHintForColumn(PackEntryModel::CodingColumn));
    // The name may be cut a little, but not much.
    EXPECT_GE(header->sectionSize(PackEntryModel::NameColumn), view.sizeHintForColumn(PackEntryModel::NameColumn) * 3 / 4);
    EXPECT_FALSE(details->horizontalScrollBar()->isVisible());

    // Too narrow for all, the names stay whole and the list scrolls sideways.
    const QSize size = window->size();
    window->resize(500, size.height());
    ASSERT_TRUE(QTest::qWaitFor([&] { return details->viewport()->width() < room / 2; }));
    EXPECT_GE(header->sectionSize(PackEntryModel::NameColumn), view.sizeHintForColumn(PackEntryModel::NameColumn));
    EXPECT_GT(header->length(), details->viewport()->width());
    window->resize(size);
    ASSERT_TRUE(QTest::qWaitFor([&] { return details->viewport()->width() == room; }));
    EXPECT_EQ(header->length(), room);

    // A column the user sized keeps its size when the window is resized.
    header->resizeSection(PackEntryModel::PathColumn, 150);
    window->resize(window->width() - 60, window->height());
    EXPECT_TRUE(QTest::qWaitFor([&] { return details->viewport()->width() < room; }));
    EXPECT_EQ(header->sectionSize(PackEntryModel::PathColumn), 150);
}

// Windows of parent's of a kind.
template <class Window>
QList<Window*> WindowsOf(QWidget& parent)
{
    QList<Window*> shown;
    for (Window* window : parent.findChildren<Window*>(Qt::FindDirectChildrenOnly))
        if (window->isVisible())
            shown.push_back(window);
    return shown;
}

TEST(ShowContents, RaisesTheWindowAlreadyShowingTheFileAndPlacesANewOneOnTheScreen)
{
    TempDir dir;
    const std::string path = dir.Write("pack.at3", AsString(BuildImagePack(Named({"a.tga", "b.tga"}))));
    const std::string other = dir.Write("other.at3", AsString(BuildImagePack(Named({"c.tga"}))));
    std::filesystem::create_directory(dir.Path() + "/sub");
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QRect room = screen->availableGeometry();

    // The parent where a window opened over its middle would stick out: at each corner.
    const QPoint corners[] = {room.topLeft(), room.bottomRight() - QPoint(200, 150), {room.right() - 200, room.top()}};
    for (const QPoint corner : corners) {
        SCOPED_TRACE(testing::Message() << corner.x() << "," << corner.y());
        QMainWindow parent;
        parent.setGeometry(QRect(corner, QSize(200, 150)));
        parent.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
        ScriptedDialogs dialogs;

        qt::ShowContents(path, &parent, dialogs);
        QList<PackContentsWindow*> windows = WindowsOf<PackContentsWindow>(parent);
        ASSERT_EQ(windows.size(), 1);
        QPointer<PackContentsWindow> first = windows[0];
        ASSERT_TRUE(QTest::qWaitForWindowExposed(first));
        EXPECT_TRUE(room.contains(first->frameGeometry()))
            << first->frameGeometry().x() << "," << first->frameGeometry().y() << " "
            << first->frameGeometry().width() << "x" << first->frameGeometry().height();

        // Asked for again, however the name is written, the window shown comes forward.
        first->showMinimized();
        ASSERT_TRUE(QTest::qWaitFor([&] { return first->isMinimized(); }));
        qt::ShowContents(dir.Path() + "/./sub/../pack.at3", &parent, dialogs);
        windows = WindowsOf<PackContentsWindow>(parent);
        ASSERT_EQ(windows.size(), 1);
        EXPECT_EQ(windows[0], first.data());
        EXPECT_FALSE(first->isMinimized());
        EXPECT_TRUE(QTest::qWaitForWindowActive(first));

        // Another file has a window of its own.
        qt::ShowContents(other, &parent, dialogs);
        EXPECT_EQ(WindowsOf<PackContentsWindow>(parent).size(), 2);

        // Closed, the window is forgotten: the file opens in a new one.
        first->close();
        ASSERT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }));
        qt::ShowContents(path, &parent, dialogs);
        EXPECT_EQ(WindowsOf<PackContentsWindow>(parent).size(), 2);
        EXPECT_TRUE(dialogs.ErrorBoxes.empty());
    }
}

// Waits until made reaches count (or 10 s pass).
bool WaitForMade(const ThumbnailLoader& loader, std::size_t count)
{
    for (int i = 0; i < 1000 && loader.MadeCount() < count; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return loader.MadeCount() >= count;
}

TEST(ThumbnailLoader, MakesWhatIsAskedForFirstStaysInItsBudgetAndAveragesByAlpha)
{
    TempDir dir;
    std::vector<PackPicture> pictures;
    for (std::uint32_t i = 0; i < 12; ++i)
        pictures.push_back({std::string("p").append(std::to_string(i)).append(".tga"), Picture(i + 1, 64, 32).Record});
    const std::string path = dir.Write("pack.at3", AsString(BuildImagePack(pictures)));
    FileStream file(path, FileStream::Mode::OpenRead);
    const std::vector<ListedEntry> listing = ListImagePack(file, path);
    const std::size_t oneThumbnail = sizeof(Thumbnail) + 64 * 32 * 4;

    // A budget of three thumbnails and nothing asked for yet: it makes three in table
    // order and stops there.
    ThumbnailLoader::Options options;
    options.BudgetBytes = 3 * oneThumbnail;
    options.Threads = 2;
    ThumbnailLoader loader(path, listing, options, {});
    ASSERT_TRUE(WaitForMade(loader, 3));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(loader.MadeCount(), 3u);
    std::vector<std::uint32_t> arrived = loader.Take();
    std::sort(arrived.begin(), arrived.end());
    EXPECT_EQ(arrived, (std::vector<std::uint32_t>{0, 1, 2}));

    // What is asked for is made at once; the thumbnails used longest ago give way to it.
    ASSERT_NE(loader.Find(2), nullptr); // the one shown: it stays
    loader.Take();
    const std::uint32_t wanted[] = {9, 7};
    loader.Want(wanted);
    ASSERT_TRUE(WaitForMade(loader, 5));
    EXPECT_LE(loader.KeptBytes(), options.BudgetBytes);
    EXPECT_NE(loader.Find(2), nullptr);
    EXPECT_NE(loader.Find(9), nullptr);
    EXPECT_NE(loader.Find(7), nullptr);
    EXPECT_EQ(loader.Find(0), nullptr);
    EXPECT_EQ(loader.Find(1), nullptr);
    // Given up, it is made again when it is asked for again.
    loader.Take();
    const std::uint32_t again[] = {0};
    loader.Want(again);
    for (int i = 0; i < 1000 && loader.Find(0) == nullptr; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_NE(loader.Find(0), nullptr);
    EXPECT_EQ(loader.MadeCount(), 5u);
    EXPECT_LE(loader.KeptBytes(), options.BudgetBytes);

    // Shrunk, a transparent pixel gives no colour to its opaque neighbour: opaque red
    // beside transparent green averages to half-transparent red.
    Bitmap32 picture;
    picture.SetSize(4, 2);
    for (std::uint32_t y = 0; y < 2; ++y)
        for (std::uint32_t x = 0; x < 4; ++x) {
            std::uint8_t* p = picture.Row(y) + x * 4;
            const bool red = x % 2 == 0;
            p[0] = 0;
            p[1] = red ? 0 : 255;
            p[2] = red ? 255 : 0;
            p[3] = red ? 255 : 0;
        }
    const Thumbnail small = MakeThumbnail(picture, 2);
    ASSERT_EQ(small.Width, 2u);
    ASSERT_EQ(small.Height, 1u);
    EXPECT_EQ(small.Pixels, (std::vector<std::uint8_t>{0, 0, 128, 128, 0, 0, 128, 128}));
}

} // namespace
} // namespace packsmith::test
