// The sound contents window under the offscreen platform: what it shows of a packed sound,
// playing it on a sound output (test.sh runs a null one), what it says without one, and
// closing it in the middle of decoding.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <random>
#include <gtest/gtest.h>
#include <vector>

#include "core/ByteOrder.h"
#include "core/PackError.h"
#include "formats/wac/WacEncoder.h"
#include "formats/was/WasEncoder.h"
#include "gui/browse/WaveformPeaks.h"
#include "gui/qt/contents/SoundContentsWindow.h"
#include "gui/qt/contents/WaveformView.h"
#include "jobs/FormatTable.h"
#include "testing/Bytes.h"
#include "testing/TempDir.h"

namespace packsmith::test {
namespace {

using qt::SoundContentsWindow;

// Set in the child process that runs a case without any sound output.
constexpr char kNoOutputChild[] = "PACKSMITH_TEST_NO_SOUND_OUTPUT";

// frames of a loud tone on the first channel; the others stay silent.
std::vector<std::int16_t> ToneOnFirstChannel(std::size_t frames, int channels, double rate)
{
    std::vector<std::int16_t> samples(frames * static_cast<std::size_t>(channels), 0);
    for (std::size_t i = 0; i < frames; ++i)
        samples[i * static_cast<std::size_t>(channels)] =
            static_cast<std::int16_t>(16000 * std::sin(2 * M_PI * 440 * static_cast<double>(i) / rate));
    return samples;
}

// A packed wave file of the given number of silent blocks, made by repeating one coded block,
// so that a sound that takes long to decode is quick to make.
std::string SilentWac(std::uint32_t blocks)
{
    const auto one = EncodeWacFile(std::vector<std::int16_t>(kWacSamplesPerBlock, 0));
    std::string file(one.begin(), one.begin() + static_cast<std::ptrdiff_t>(kWaveDataAt));
    const std::string block(one.begin() + static_cast<std::ptrdiff_t>(kWaveDataAt), one.end());
    file.reserve(file.size() + block.size() * blocks);
    for (std::uint32_t i = 0; i < blocks; ++i)
        file += block;
    StoreLE32(reinterpret_cast<std::uint8_t*>(file.data()), blocks);
    return file;
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

class SoundContentsWindowTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const QPointer<SoundContentsWindow>& window : windows)
            delete window.data();
    }

    SoundContentsWindow* Open(const std::string& path)
    {
        auto* window = new SoundContentsWindow(path, *FormatForFile(path));
        windows.emplace_back(window);
        window->show();
        return window;
    }
    // Opens the window and waits until the sound is decoded.
    SoundContentsWindow* OpenDecoded(const std::string& path)
    {
        SoundContentsWindow* window = Open(path);
        EXPECT_TRUE(WaitFor([&] { return !Text(window, "Status").startsWith("Decoding"); })) << path;
        return window;
    }
    template <class T = QWidget>
    static T* Find(SoundContentsWindow* window, const char* name)
    {
        T* widget = window->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    static QString Text(SoundContentsWindow* window, const char* name) { return Find<QLabel>(window, name)->text(); }
    static bool On(SoundContentsWindow* window, const char* name) { return Find(window, name)->isEnabled(); }
    static int Position(SoundContentsWindow* window) { return Find<QSlider>(window, "SeekBar")->value(); }
    static void Click(SoundContentsWindow* window, const char* name)
    {
        QTest::mouseClick(Find<QPushButton>(window, name), Qt::LeftButton);
    }

    TempDir dir;
    std::vector<QPointer<SoundContentsWindow>> windows;
};

TEST_F(SoundContentsWindowTest, ShowsTheHeaderAndAWaveformPerChannelOfBothFormats)
{
    struct Case {
        const char* name;
        int channels;
        std::uint32_t rate;
        std::size_t frames;
        const char* duration;
        const char* units;
    };
    for (const Case& c : {
             // 3 s, padded to a whole block of 256 samples: 259 blocks, 3.007 s.
             Case{"mono.wac", 1, 22050, 3 * 22050, "0:03.00", "259"},
             Case{"stereo.was", 2, 44100, 88200, "0:02.00", "44"},
         }) {
        SCOPED_TRACE(c.name);
        const auto samples = ToneOnFirstChannel(c.frames, c.channels, c.rate);
        const WaveFormat format{static_cast<std::uint16_t>(c.channels), c.rate};
        const bool music = std::string(c.name).ends_with(".was");
        const auto bytes = music ? EncodeWasFile(samples, format) : EncodeWacFile(samples, format);
        SoundContentsWindow* window = OpenDecoded(dir.Write(c.name, AsString(bytes)));

        EXPECT_TRUE(window->windowTitle().startsWith(c.name)) << window->windowTitle().toStdString();
        EXPECT_EQ(Text(window, "Duration"), c.duration);
        EXPECT_EQ(Text(window, "Rate"), QString("%1 Hz").arg(c.rate));
        EXPECT_TRUE(Text(window, "Channels").startsWith(QString::number(c.channels)));
        EXPECT_EQ(Text(window, "Bits"), "16");
        EXPECT_EQ(Text(window, "Units"), c.units);

        // The tone on the first channel only: a channel mixed up with another shows here.
        const WaveformPeaks* peaks = Find<qt::WaveformView>(window, "Waveform")->Peaks();
        ASSERT_NE(peaks, nullptr);
        ASSERT_EQ(peaks->Channels, c.channels);
        ASSERT_GT(peaks->Columns, 1000U);
        const auto [low, high] = peaks->Range(0, 0, peaks->Columns);
        EXPECT_LT(low, -0.4F);
        EXPECT_GT(high, 0.4F);
        // The tone reaches the columns near the end too: no stretch of the sound is left out.
        const std::size_t late = peaks->Columns * 9 / 10;
        const auto [lateLow, lateHigh] = peaks->Range(0, late, late + 2);
        EXPECT_GT(lateHigh - lateLow, 0.05F);
        for (int channel = 1; channel < c.channels; ++channel) {
            const auto [silentLow, silentHigh] = peaks->Range(channel, 0, peaks->Columns);
            EXPECT_EQ(silentLow, 0.0F);
            EXPECT_EQ(silentHigh, 0.0F);
        }
    }

    // A file whose blocks give out before its block count does: the window opens, and says
    // it cannot decode the sound, naming the file, instead of showing or playing it.
    const auto whole = EncodeWacFile(ToneOnFirstChannel(22050, 1, 22050));
    const std::string cut = dir.Write("cut.wac", AsString(std::span(whole).first(whole.size() - 200)));
    SoundContentsWindow* damaged = OpenDecoded(cut);
    EXPECT_EQ(Find<qt::WaveformView>(damaged, "Waveform")->Peaks(), nullptr);
    EXPECT_TRUE(Text(damaged, "Status").contains(QString::fromStdString(cut))) << Text(damaged, "Status").toStdString();
    EXPECT_TRUE(Text(damaged, "Status").contains("the file ends inside block")) << Text(damaged, "Status").toStdString();
    EXPECT_FALSE(On(damaged, "Play"));

    // A file of another kind is refused before any window exists, naming the file.
    const std::string notSound = dir.Write("notes.wac", std::string(200, 'x'));
    try {
        SoundContentsWindow window(notSound, *FormatForFile(notSound));
        ADD_FAILURE() << "a text file was opened as a sound";
    } catch (const PackError& e) {
        EXPECT_NE(std::string(e.what()).find(notSound), std::string::npos) << e.what();
    }
}

// test.sh starts a sound server with a null output and names it in PULSE_SERVER; without
// one playing cannot be tried.
#define SKIP_WITHOUT_SOUND_OUTPUT()                                                                            \
    if (QMediaDevices::audioOutputs().isEmpty()) {                                                             \
        if (!qEnvironmentVariableIsEmpty("PULSE_SERVER"))                                                      \
            FAIL() << "no sound output at PULSE_SERVER=" << qgetenv("PULSE_SERVER").toStdString();             \
        GTEST_SKIP() << "no sound output on this machine";                                                     \
    }

TEST_F(SoundContentsWindowTest, PlaysPausesSeeksStopsAndEndsOnASoundOutput)
{
    SKIP_WITHOUT_SOUND_OUTPUT();
    const auto samples = ToneOnFirstChannel(3 * 22050, 1, 22050);
    SoundContentsWindow* window = OpenDecoded(dir.Write("tone.wac", AsString(EncodeWacFile(samples))));
    EXPECT_TRUE(Text(window, "Status").startsWith("Ready to play on")) << Text(window, "Status").toStdString();
    EXPECT_TRUE(On(window, "Play"));
    EXPECT_FALSE(On(window, "Pause"));
    EXPECT_FALSE(On(window, "Stop"));

    Click(window, "Play");
    EXPECT_FALSE(On(window, "Play"));
    EXPECT_TRUE(On(window, "Pause"));
    ASSERT_TRUE(WaitFor([&] { return Position(window) > 300; })) << Text(window, "Status").toStdString();
    EXPECT_TRUE(Text(window, "Time").endsWith("/ 0:03.00")) << Text(window, "Time").toStdString();

    // Paused, the sound holds where it is; playing again goes on from there.
    Click(window, "Pause");
    EXPECT_TRUE(On(window, "Play"));
    const int paused = Position(window);
    QTest::qWait(500);
    Click(window, "Play");
    EXPECT_GE(Position(window), paused);
    EXPECT_LT(Position(window), paused + 250);
    EXPECT_TRUE(WaitFor([&] { return Position(window) > std::max(paused + 100, 800); }));

    // Stop rewinds: playing again starts from the beginning.
    Click(window, "Stop");
    EXPECT_EQ(Position(window), 0);
    EXPECT_TRUE(Text(window, "Time").startsWith("0:00.00 /")) << Text(window, "Time").toStdString();
    EXPECT_TRUE(On(window, "Play"));
    EXPECT_FALSE(On(window, "Stop"));
    Click(window, "Play");
    QTest::qWait(100);
    EXPECT_LT(Position(window), 600);
    Click(window, "Stop");

    // A seek while stopped is where playing starts; at the end it stops and rewinds.
    Find<QSlider>(window, "SeekBar")->setValue(2500);
    EXPECT_EQ(Position(window), 2500);
    Click(window, "Play");
    QTest::qWait(50);
    EXPECT_GE(Position(window), 2500);
    EXPECT_TRUE(WaitFor([&] { return On(window, "Play") && !On(window, "Pause"); }, 5000));
    EXPECT_EQ(Position(window), 0);

    // Closed while it plays, the window goes at once and takes its sound output with it.
    Click(window, "Play");
    EXPECT_TRUE(WaitFor([&] { return Position(window) > 0; }));
    QPointer<SoundContentsWindow> closing(window);
    window->close();
    EXPECT_TRUE(WaitFor([&] { return closing.isNull(); }));
}

TEST_F(SoundContentsWindowTest, ClickingTheSeekBarGoesWhereItIsClickedAndTheKeysStepByPages)
{
    SKIP_WITHOUT_SOUND_OUTPUT();
    // 12 s of sound: a page (5 s) is far from where the clicks go.
    const auto samples = ToneOnFirstChannel(12 * 22050, 1, 22050);
    SoundContentsWindow* window = OpenDecoded(dir.Write("tone.wac", AsString(EncodeWacFile(samples))));
    auto* bar = Find<QSlider>(window, "SeekBar");
    ASSERT_TRUE(bar->isEnabled());
    const auto clickAt = [&](double fraction) {
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(static_cast<int>(fraction * bar->width()), bar->height() / 2));
    };
    // Stopped, a click is where playing starts (within the handle's width of the click).
    const int tolerance = 12000 * 40 / std::max(bar->width(), 1);
    clickAt(0.25);
    EXPECT_NEAR(Position(window), 3000, tolerance);
    clickAt(0.75);
    EXPECT_NEAR(Position(window), 9000, tolerance);
    EXPECT_TRUE(Text(window, "Time").startsWith("0:0")) << Text(window, "Time").toStdString();

    // Playing, a click goes on from there, backwards too.
    Click(window, "Play");
    ASSERT_TRUE(WaitFor([&] { return Position(window) > 9000 + 100; }));
    clickAt(0.25);
    EXPECT_NEAR(Position(window), 3000, tolerance + 300);
    EXPECT_TRUE(WaitFor([&] { return Position(window) > 3000 + 100; }));
    EXPECT_TRUE(On(window, "Pause"));
    Click(window, "Stop");

    // The keys step by a page either way.
    bar->setFocus();
    bar->setValue(1000);
    QTest::keyClick(bar, Qt::Key_PageUp);
    EXPECT_EQ(Position(window), 6000);
    QTest::keyClick(bar, Qt::Key_PageDown);
    EXPECT_EQ(Position(window), 1000);
}

// The sound system is set up once per process, so the case without any sound output runs in
// a child process of this program, whose PULSE_SERVER names a server that is not there.
TEST_F(SoundContentsWindowTest, SaysPlainlyWhenThereIsNoSoundOutput)
{
    if (qEnvironmentVariableIsEmpty(kNoOutputChild)) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(kNoOutputChild, "1");
        environment.insert("PULSE_SERVER", "unix:" + QString::fromStdString(dir / "no-server-here"));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=SoundContentsWindowTest.SaysPlainlyWhenThereIsNoSoundOutput"});
        ASSERT_TRUE(child.waitForFinished(60000));
        const std::string output = child.readAll().toStdString();
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output;
        EXPECT_EQ(child.exitCode(), 0) << output;
        EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
        return;
    }
    ASSERT_TRUE(QMediaDevices::audioOutputs().isEmpty()) << "a sound output is there after all";
    const auto samples = ToneOnFirstChannel(22050, 1, 22050);
    SoundContentsWindow* window = OpenDecoded(dir.Write("tone.wac", AsString(EncodeWacFile(samples))));
    EXPECT_EQ(Text(window, "Status"), "No audio output: this computer has no sound device to play on.");
    EXPECT_FALSE(On(window, "Play"));
    EXPECT_FALSE(On(window, "SeekBar"));
    // The rest of the window works as ever.
    EXPECT_NE(Find<qt::WaveformView>(window, "Waveform")->Peaks(), nullptr);
    EXPECT_TRUE(On(window, "Extract"));
}

// The memory this process holds now, in bytes.
std::uint64_t ResidentBytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoull(line.substr(6)) * 1024;
    return 0;
}

TEST_F(SoundContentsWindowTest, ClosingAtAnyMomentOfTheReadThroughStopsItPromptly)
{
    // Closed before the worker starts, while it reads, as it hands the stream over or after:
    // each window goes within a fraction of a second and leaves nothing behind that runs.
    const std::string path = dir.Write("closing.wac", SilentWac(static_cast<std::uint32_t>((std::uint64_t{48} << 20) /
                                                                                           kWacBlockBytes)));
    std::mt19937 random(std::random_device{}());
    const int trials = qEnvironmentVariableIntValue("PACKSMITH_STOP_TRIALS") > 0
                           ? qEnvironmentVariableIntValue("PACKSMITH_STOP_TRIALS")
                           : 24;
    for (int trial = 0; trial < trials; ++trial) {
        const int delayMs = std::uniform_int_distribution<int>(0, 400)(random);
        SCOPED_TRACE("closed after " + std::to_string(delayMs) + " ms");
        QPointer<SoundContentsWindow> window = Open(path);
        QTest::qWait(delayMs);
        QElapsedTimer closing;
        closing.start();
        window->close();
        ASSERT_TRUE(WaitFor([&] { return window.isNull(); }, 10000));
        EXPECT_LT(closing.elapsed(), 1000);
    }
    QTest::qWait(50); // whatever a worker sent on its way out meets no window
}

TEST_F(SoundContentsWindowTest, ASoundLongerThanMemoryWouldHoldShowsItsWaveformAndStopsWhenClosed)
{
    // 1.2 GB of samples (7 hours at 22050 Hz), which a window once refused to decode: seconds
    // to read through, against the moment it takes to stop between two blocks.
    constexpr std::uint64_t kSampleBytes = std::uint64_t{1200} << 20;
    const std::string path = dir.Write("long.wac", SilentWac(static_cast<std::uint32_t>(kSampleBytes / kWacBlockBytes)));

    QPointer<SoundContentsWindow> window = Open(path);
    // The waveform fills in as the sound is read.
    ASSERT_TRUE(WaitFor([&] { return Text(window, "Status").endsWith("%"); })) << Text(window, "Status").toStdString();
    const WaveformPeaks* partial = Find<qt::WaveformView>(window, "Waveform")->Peaks();
    ASSERT_NE(partial, nullptr);
    EXPECT_GT(partial->Filled, 0U);
    EXPECT_LT(partial->Filled, partial->Columns);
    QElapsedTimer closing;
    closing.start();
    window->close();
    EXPECT_TRUE(WaitFor([&] { return window.isNull(); }, 60000));
    EXPECT_LT(closing.elapsed(), 1000);
    // Nothing the worker might have sent on its way out reaches a window that is gone.
    QTest::qWait(100);

    // Read through to the end, it shows the whole waveform, in no more memory than a short
    // sound takes.
    const std::uint64_t before = ResidentBytes();
    std::uint64_t most = before;
    SoundContentsWindow* whole = Open(path);
    EXPECT_TRUE(WaitFor([&] {
        most = std::max(most, ResidentBytes());
        return !Text(whole, "Status").startsWith("Decoding");
    }, 60000));
    EXPECT_FALSE(Text(whole, "Status").contains("could not")) << Text(whole, "Status").toStdString();
    EXPECT_EQ(Text(whole, "Duration"), "7:55:32.68");
    const WaveformPeaks* peaks = Find<qt::WaveformView>(whole, "Waveform")->Peaks();
    ASSERT_NE(peaks, nullptr);
    EXPECT_EQ(peaks->Columns, kPeakColumns);
    EXPECT_EQ(peaks->Filled, kPeakColumns);
#ifndef __SANITIZE_ADDRESS__
    // AddressSanitizer holds freed memory back (up to 256 MB) to catch late uses, so there
    // resident memory tells nothing of what the window keeps; the stream's own buffers are
    // held to their bound in every build by the stream's tests.
    EXPECT_LT(most - before, std::uint64_t{64} << 20);
#endif
}

} // namespace
} // namespace packsmith::test
