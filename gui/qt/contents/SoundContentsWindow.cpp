#include "gui/qt/contents/SoundContentsWindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProxyStyle>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>
#include <climits>
#include <cmath>

#include "gui/qt/QtText.h"
#include "gui/qt/contents/ContentsExtraction.h"
#include "gui/qt/contents/SoundDecoding.h"
#include "gui/qt/contents/SoundPlayer.h"
#include "gui/qt/contents/WaveformView.h"

namespace packsmith::qt {

namespace {

constexpr int kPositionUpdatesPerSecond = 25;

// Packed music is read chunk by chunk; packed wave, the other sound format, block by block.
bool IsMusic(const Format& format) { return format.List == &ListWas; }

// "1:02.50", or "1:00:02.50" from an hour on.
QString TimeText(qint64 ms)
{
    const qint64 hundredths = ms / 10;
    const qint64 seconds = hundredths / 100;
    const QString tail = QString("%1.%2")
                             .arg(seconds % 60, 2, 10, QChar('0'))
                             .arg(hundredths % 100, 2, 10, QChar('0'));
    if (seconds >= 3600)
        return QString("%1:%2:%3").arg(seconds / 3600).arg(seconds / 60 % 60, 2, 10, QChar('0')).arg(tail);
    return QString("%1:%2").arg(seconds / 60).arg(tail);
}

QString ChannelsText(unsigned channels)
{
    if (channels == 1)
        return "1 (mono)";
    if (channels == 2)
        return "2 (stereo)";
    return QString::number(channels);
}

QLabel* Value(const QString& text, const char* name, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// A seek bar that goes where it is clicked rather than a page towards it; the keys still
// step by pages.
class ClickToJumpStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override
    {
        if (hint == QStyle::SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

} // namespace

SoundContentsWindow::SoundContentsWindow(const std::string& path, const Format& format, QWidget* parent)
    : QMainWindow(parent), path_(path), format_(format),
      summary_(IsMusic(format) ? SummarisePackedMusic(path) : SummarisePackedWav(path)),
      lengthMs_(static_cast<qint64>(std::llround(summary_.Seconds() * 1000)))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName("SoundContentsWindow");
    setWindowTitle(QFileInfo(ToQt(path)).fileName() + " - " + QApplication::applicationName());

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(BuildSummary());
    waveform_ = new WaveformView(central);
    waveform_->setObjectName("Waveform");
    waveform_->SetMessage("Decoding the sound...");
    layout->addWidget(waveform_, 1);
    layout->addWidget(BuildPlayer());
    setCentralWidget(central);
    status_ = new QLabel(this);
    status_->setObjectName("Status");
    statusBar()->addWidget(status_, 1);
    SetStatus("Decoding the sound...");
    resize(720, 400);

    positionTimer_.setInterval(1000 / kPositionUpdatesPerSecond);
    connect(&positionTimer_, &QTimer::timeout, this, &SoundContentsWindow::ShowPosition);
    connect(waveform_, &WaveformView::SeekRequested, this,
            [this](double fraction) { SeekTo(static_cast<qint64>(fraction * static_cast<double>(lengthMs_))); });

    extraction_ = std::make_unique<ContentsExtraction>(this);
    connect(extraction_.get(), &ContentsExtraction::Progress, this, [this](int percent, const QString& status) {
        extract_->setEnabled(false);
        SetStatus(percent >= 0 ? QString("Extracting: %1%  %2").arg(percent).arg(status) : "Extracting: " + status);
    });
    connect(extraction_.get(), &ContentsExtraction::Finished, this, [this](const QString& summary, bool) {
        extract_->setEnabled(true);
        SetStatus(summary);
    });

    decoding_ = std::make_unique<SoundDecoding>();
    connect(decoding_.get(), &SoundDecoding::Progress, this, &SoundContentsWindow::OnDecodingProgress);
    connect(decoding_.get(), &SoundDecoding::Decoded, this, &SoundContentsWindow::OnDecoded);
    connect(decoding_.get(), &SoundDecoding::Failed, this, &SoundContentsWindow::OnDecodingFailed);
    decoding_->Start(path, IsMusic(format));
    ShowState();
}

// The player, the worker and a running extraction go before the controls they report to.
SoundContentsWindow::~SoundContentsWindow()
{
    positionTimer_.stop();
    player_.reset();
    decoding_.reset();
    extraction_.reset();
}

QWidget* SoundContentsWindow::BuildSummary()
{
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(12);
    const QLocale locale;
    const auto add = [&](int row, int column, const QString& caption, QLabel* value) {
        grid->addWidget(new QLabel(caption, box), row, 2 * column, Qt::AlignRight);
        grid->addWidget(value, row, 2 * column + 1);
    };
    add(0, 0, "Duration:", Value(TimeText(lengthMs_), "Duration", box));
    add(0, 1, "Rate:", Value(QString("%1 Hz").arg(summary_.SampleRate), "Rate", box));
    add(0, 2, "Channels:", Value(ChannelsText(summary_.Channels), "Channels", box));
    add(1, 0, "Bits per sample:", Value(QString::number(summary_.BitsPerSample), "Bits", box));
    add(1, 1, summary_.Chunked ? "Chunks:" : "Blocks:",
        Value(locale.toString(static_cast<qulonglong>(summary_.Units)), "Units", box));
    add(1, 2, "Size:",
        Value(QString("%1 bytes packed, %2 bytes of samples")
                  .arg(locale.toString(static_cast<qulonglong>(summary_.CodedBytes)),
                       locale.toString(static_cast<qulonglong>(summary_.DecodedBytes))),
              "Size", box));
    grid->setColumnStretch(5, 1);
    return box;
}

QWidget* SoundContentsWindow::BuildPlayer()
{
    auto* box = new QWidget(this);
    auto* rows = new QVBoxLayout(box);
    rows->setContentsMargins(0, 0, 0, 0);

    auto* seekRow = new QHBoxLayout;
    seekBar_ = new QSlider(Qt::Horizontal, box);
    seekBar_->setObjectName("SeekBar");
    // A style of the application's kind, owned by the bar (the bar holds it weakly).
    auto* jumpStyle = new ClickToJumpStyle(QApplication::style()->name());
    jumpStyle->setParent(seekBar_);
    seekBar_->setStyle(jumpStyle);
    seekBar_->setRange(0, static_cast<int>(std::min<qint64>(lengthMs_, INT_MAX)));
    seekBar_->setSingleStep(100);
    seekBar_->setPageStep(5000);
    time_ = new QLabel(box);
    time_->setObjectName("Time");
    // As wide as its widest text, so that the bar keeps its length while the time runs.
    const QString widest = TimeText(lengthMs_) + " / " + TimeText(lengthMs_);
    time_->setMinimumWidth(time_->fontMetrics().horizontalAdvance(widest) + time_->fontMetrics().averageCharWidth());
    seekRow->addWidget(seekBar_, 1);
    seekRow->addWidget(time_);
    rows->addLayout(seekRow);
    // Dragging shows where it would play from; letting go goes there.
    connect(seekBar_, &QSlider::valueChanged, this, [this](int value) {
        if (seekBar_->isSliderDown())
            time_->setText(TimeText(value) + " / " + TimeText(lengthMs_));
        else
            SeekTo(value);
    });
    connect(seekBar_, &QSlider::sliderReleased, this, [this] { SeekTo(seekBar_->value()); });

    auto* buttons = new QHBoxLayout;
    const auto button = [&](const QString& text, QStyle::StandardPixmap icon, const char* name) {
        auto* created = new QPushButton(style()->standardIcon(icon), text, box);
        created->setObjectName(name);
        buttons->addWidget(created);
        return created;
    };
    play_ = button("Play", QStyle::SP_MediaPlay, "Play");
    pause_ = button("Pause", QStyle::SP_MediaPause, "Pause");
    stop_ = button("Stop", QStyle::SP_MediaStop, "Stop");
    buttons->addStretch(1);
    extract_ = button("Extract...", QStyle::SP_DialogSaveButton, "Extract");
    extract_->setToolTip("Extract the sound as a .wav file into a folder of your choice");
    rows->addLayout(buttons);

    connect(play_, &QPushButton::clicked, this, [this] { player_->Play(); });
    connect(pause_, &QPushButton::clicked, this, [this] { player_->Pause(); });
    connect(stop_, &QPushButton::clicked, this, [this] { player_->Stop(); });
    connect(extract_, &QPushButton::clicked, this, &SoundContentsWindow::Extract);
    return box;
}

void SoundContentsWindow::OnDecodingProgress(int percent)
{
    waveform_->SetPeaks(decoding_->PeaksSoFar());
    SetStatus(QString("Decoding the sound... %1%").arg(percent));
}

void SoundContentsWindow::OnDecoded()
{
    player_ = std::make_unique<SoundPlayer>(decoding_->TakeStream());
    waveform_->SetPeaks(decoding_->TakePeaks());
    if (!waveform_->Peaks() || waveform_->Peaks()->Columns == 0)
        waveform_->SetMessage("No waveform: the sound holds no samples of 8 or 16 bits.");
    lengthMs_ = player_->LengthMs();
    seekBar_->setRange(0, static_cast<int>(std::min<qint64>(lengthMs_, INT_MAX)));
    connect(player_.get(), &SoundPlayer::StateChanged, this, &SoundContentsWindow::ShowState);
    connect(player_.get(), &SoundPlayer::Failed, this, &SoundContentsWindow::ShowState);
    ShowState();
}

void SoundContentsWindow::OnDecodingFailed(const QString& message)
{
    waveform_->SetPeaks(nullptr);
    waveform_->SetMessage("The sound could not be decoded:\n" + message);
    SetStatus(message);
    ShowState();
}

void SoundContentsWindow::ShowState()
{
    const bool playable = player_ && player_->Obstacle().isEmpty();
    const SoundPlayer::State state = player_ ? player_->CurrentState() : SoundPlayer::State::Stopped;
    play_->setEnabled(playable && state != SoundPlayer::State::Playing);
    pause_->setEnabled(playable && state == SoundPlayer::State::Playing);
    stop_->setEnabled(playable && (state != SoundPlayer::State::Stopped || player_->PositionMs() > 0));
    seekBar_->setEnabled(playable);
    if (state == SoundPlayer::State::Playing)
        positionTimer_.start();
    else
        positionTimer_.stop();
    if (player_) {
        if (!playable)
            SetStatus(player_->Obstacle());
        else if (state == SoundPlayer::State::Playing)
            SetStatus("Playing on " + player_->OutputName() + ".");
        else if (state == SoundPlayer::State::Paused)
            SetStatus("Paused.");
        else
            SetStatus("Ready to play on " + player_->OutputName() + ".");
    }
    ShowPosition();
}

void SoundContentsWindow::ShowPosition()
{
    const qint64 position = player_ ? player_->PositionMs() : 0;
    if (!seekBar_->isSliderDown()) {
        const QSignalBlocker quiet(seekBar_);
        seekBar_->setValue(static_cast<int>(std::min<qint64>(position, INT_MAX)));
        time_->setText(TimeText(position) + " / " + TimeText(lengthMs_));
    }
    waveform_->SetPosition(lengthMs_ > 0 ? static_cast<double>(position) / static_cast<double>(lengthMs_) : 0.0);
}

void SoundContentsWindow::SeekTo(qint64 ms)
{
    if (!player_ || !player_->Obstacle().isEmpty())
        return;
    player_->Seek(ms);
    ShowState();
}

void SoundContentsWindow::Extract()
{
    if (extraction_->Start(format_, path_))
        extract_->setEnabled(false);
}

void SoundContentsWindow::SetStatus(const QString& text) { status_->setText(text); }

} // namespace packsmith::qt
