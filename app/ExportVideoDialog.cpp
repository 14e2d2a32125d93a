#include "app/ExportVideoDialog.h"

#include "platform/video/VideoEncoder.h"
#include "record/Recording.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QRadioButton>
#include <array>

namespace {

struct NamedSize {
    const char* name;
    QSize size;
};
constexpr std::array<NamedSize, 4> kSizes{{
    {"720p (1280 × 720)", {1280, 720}},
    {"1080p (1920 × 1080)", {1920, 1080}},
    {"1440p (2560 × 1440)", {2560, 1440}},
    {"4K (3840 × 2160)", {3840, 2160}},
}};
constexpr int kDefaultSize = 1;
constexpr std::array<int, 3> kFrameRates{24, 30, 60};
constexpr int kDefaultFrameRate = 1;
constexpr double kDefaultSeconds = 20.0;

} // namespace

ExportVideoDialog::ExportVideoDialog(QWidget* parent, std::optional<double> loopSeconds)
    : RecordingDialog(parent, QStringLiteral("Export Flight Video"), QStandardPaths::MoviesLocation,
                      QStringLiteral("mp4"), QStringLiteral("MP4 video, H.264 (*.mp4);;WebM video, VP9 (*.webm)"))
    , mLoopSeconds(loopSeconds)
    , mSizes(new QComboBox)
    , mFps(new QComboBox)
    , mWholeLoop(new QRadioButton)
    , mSeconds(new QDoubleSpinBox)
{
    for (const NamedSize& size : kSizes)
        mSizes->addItem(QString::fromUtf8(size.name));
    mSizes->addItem(QStringLiteral("Other size"));
    form()->addRow(QStringLiteral("Size:"), mSizes);
    addSizeRow(QString(), kSizes[kDefaultSize].size);
    connect(mSizes, &QComboBox::currentIndexChanged, this, &ExportVideoDialog::sizeChosen);
    mSizes->setCurrentIndex(kDefaultSize);
    sizeChosen(kDefaultSize);

    for (const int fps : kFrameRates)
        mFps->addItem(QStringLiteral("%1 frames a second").arg(fps), fps);
    mFps->setCurrentIndex(kDefaultFrameRate);
    form()->addRow(QStringLiteral("Frame rate:"), mFps);

    mWholeLoop->setText(loopSeconds ? QStringLiteral("One loop of the flight (%1)").arg(Recording::clockText(*loopSeconds))
                                    : QStringLiteral("One loop of the flight (it stands still now)"));
    mWholeLoop->setEnabled(loopSeconds.has_value());
    mWholeLoop->setChecked(loopSeconds.has_value());
    auto* someSeconds = new QRadioButton(QStringLiteral("For"));
    someSeconds->setChecked(!loopSeconds);
    mSeconds->setRange(0.1, Recording::kLongestSeconds);
    mSeconds->setDecimals(1);
    mSeconds->setValue(kDefaultSeconds);
    mSeconds->setSuffix(QStringLiteral(" seconds"));
    connect(someSeconds, &QRadioButton::toggled, mSeconds, &QWidget::setEnabled);
    mSeconds->setEnabled(someSeconds->isChecked());
    auto* secondsRow = new QHBoxLayout;
    secondsRow->addWidget(someSeconds);
    secondsRow->addWidget(mSeconds);
    secondsRow->addStretch();
    form()->addRow(QStringLiteral("Length:"), mWholeLoop);
    form()->addRow(QString(), secondsRow);
    addButtons(QStringLiteral("Export"));
}

int ExportVideoDialog::fps() const
{
    return mFps->currentData().toInt();
}

double ExportVideoDialog::seconds() const
{
    return mWholeLoop->isChecked() && mLoopSeconds ? *mLoopSeconds : mSeconds->value();
}

void ExportVideoDialog::sizeChosen(int index)
{
    const bool named = index < int(kSizes.size());
    if (named)
        setSize(kSizes[std::size_t(index)].size);
    setSizeEditable(!named);
}

QString ExportVideoDialog::problem() const
{
    for (const QString& wrong : {VideoEncoder::unsupportedFormat(path()), Recording::secondsProblem(seconds()),
                                 Recording::folderProblem(path())}) {
        if (!wrong.isEmpty())
            return wrong;
    }
    return {};
}
