// The pack contents window under the offscreen platform: what it shows of a pack, the
// thumbnails and their markers, the large picture, the files it hands to a drag, and
// closing it while its workers decode; and the thumbnail loader's order and budget.
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QSortFilterProxyModel>
#include <QTest>
#include <QUrl>
#include <chrono>
#include <memory>
#include <thread>
#include <gtest/gtest.h>

#include "core/ByteOrder.h"
#include "formats/imagepack/record/ImageRecord.h"
#include "formats/tga/Bitmap32.h"
#include "formats/tga/TgaLibrary.h"
#include "gui/browse/ThumbnailLoader.h"
#include "gui/qt/QtText.h"
#include "gui/qt/contents/PackContentsWindow.h"
#include "gui/qt/contents/PackEntryModel.h"
#include "gui/qt/contents/PictureView.h"
#include "gui/qt/contents/ThumbnailView.h"
#include "io/FileStream.h"
#include "testing/Bytes.h"
#include "testing/PackFixtures.h"
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
        {"sprites\\hero.tga", {16, 4}}, {"sprites\\HERO2.bmp", {32, 8}}, {"tree.tga", {16, 4}},
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

    // Filtering by name ignores case; sorting by name puts "tree.tga" first when descending.
    window->findChild<QLineEdit*>("Filter")->setText("hero");
    EXPECT_EQ(proxy->rowCount(), 3);
    window->findChild<QLineEdit*>("Filter")->clear();
    EXPECT_EQ(proxy->rowCount(), count);
    window->findChild<QComboBox*>("SortBy")->setCurrentIndex(1);
    window->findChild<QAction*>("Descending")->setChecked(true);
    EXPECT_EQ(proxy->index(0, PackEntryModel::NameColumn).data().toString(), "tree.tga");

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

    // A drag hands over TGA files named as an extraction names them, two pictures of one
    // name side by side; the entry that cannot be read is left out.
    grid->selectionModel()->clearSelection();
    for (const int row : {0, 3, 5})
        grid->selectionModel()->select(proxy->mapFromSource(model->index(row, PackEntryModel::NameColumn)),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    std::unique_ptr<QMimeData> dragged(window->PicturesForDrag());
    ASSERT_NE(dragged, nullptr);
    const QList<QUrl> urls = dragged->urls();
    ASSERT_EQ(urls.size(), 2);
    const TgaLibrary codec;
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
        pictures.push_back({"p" + std::to_string(i) + ".tga", Picture(i + 1, 64, 32).Record});
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
