#include "tests/e2e/FerlowRun.h"

#include "tests/e2e/Desktop.h"
#include "tests/support/ResidentMemory.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>

namespace {

// A software renderer draws the first frame of a loaded machine slowly.
constexpr int kLaunchMilliseconds = 60000;
// Longer than a frame takes on a machine whose cores are all busy (a
// software renderer then takes up to a second): a picture unchanged for
// this long is not just between two frames.
constexpr int kSettleMilliseconds = 2000;
// A window shows once this many pixels of the background are covered.
constexpr int kSmallestWindow = 200 * 200;
// Toolbar items are about this far from the toolbar's ends, and the toolbar
// ends about this far above the view.
constexpr int kToolbarItemInset = 24;
constexpr int kToolbarAboveView = 24;

QRect differingPixels(const QImage& a, const QImage& b, QRect region)
{
    QRect changed;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        const auto* rowA = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* rowB = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = region.left(); x <= region.right(); ++x) {
            if (rowA[x] != rowB[x])
                changed |= QRect(x, y, 1, 1);
        }
    }
    return changed;
}

bool sameBackground(const QImage& a, const QImage& b)
{
    for (int y = 0; y < a.height(); ++y) {
        const auto* rowA = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* rowB = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if ((rowA[x] == Desktop::kBackground) != (rowB[x] == Desktop::kBackground))
                return false;
        }
    }
    return true;
}

// The toolbar and the menu bar are light and grey; the sky and the terrain
// are neither.
bool chromeColoured(QRgb pixel)
{
    const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
    return std::max({r, g, b}) - std::min({r, g, b}) < 12 && r > 180;
}

} // namespace

FerlowRun::FerlowRun(Desktop& desktop, const QMap<QString, QString>& stored, const QString& program,
                     const QStringList& arguments)
    : FerlowRun(
          desktop,
          [&](const QString& path) {
              QSettings settings(path, QSettings::IniFormat);
              for (auto it = stored.cbegin(); it != stored.cend(); ++it)
                  settings.setValue(it.key(), it.value());
          },
          QProcessEnvironment(), program, arguments)
{
}

FerlowRun::FerlowRun(Desktop& desktop, const std::function<void(const QString& settingsPath)>& prepare,
                     const QProcessEnvironment& extra, const QString& program, const QStringList& arguments)
    : mDesktop(desktop)
{
    QDir().mkpath(mConfigHome.filePath(QStringLiteral("ferlow")));
    prepare(settingsPath());
    QProcessEnvironment environment = desktop.clientEnvironment(mConfigHome.path());
    environment.insert(extra);
    mProcess.setProcessEnvironment(environment);
    mProcess.setProcessChannelMode(QProcess::MergedChannels);
    mProcess.start(program, arguments);
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString FerlowRun::settingsPath() const
{
    return mConfigHome.filePath(QStringLiteral("ferlow/ferlow.conf"));
}

FerlowRun::~FerlowRun()
{
    if (mProcess.state() != QProcess::NotRunning) {
        mProcess.kill();
        mProcess.waitForFinished();
    }
}

QString FerlowRun::log()
{
    mLog += mProcess.readAll();
    return QString::fromLocal8Bit(mLog);
}

// The view is where the picture keeps changing while the camera flies, in
// a window that stays where it is meanwhile (a compositor may place it
// anew once it has its decorations); the sky at the view's top may stand
// still, so its top edge is where the toolbar's grey begins above it.
void FerlowRun::waitUntilShown()
{
    const QRect screen(QPoint(0, 0), mDesktop.screenSize());
    ASSERT_TRUE(mProcess.waitForStarted(kLaunchMilliseconds)) << mProcess.errorString().toStdString();
    QImage before;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            before = mDesktop.capture();
            return Screen::backgroundPixels(before) < screen.width() * screen.height() - kSmallestWindow;
        },
        kLaunchMilliseconds))
        << "no window appeared\n" << log().toStdString() << Screen::keep(before);
}

void FerlowRun::waitUntilFlying()
{
    const QRect screen(QPoint(0, 0), mDesktop.screenSize());
    waitUntilShown();
    if (testing::Test::HasFatalFailure())
        return;
    QRect moving;
    QImage latest;
    const bool measured = QTest::qWaitFor(
        [&] {
            const QImage first = mDesktop.capture();
            const QImage second = nextPicture(first);
            latest = nextPicture(second);
            moving = differingPixels(first, second, screen) | differingPixels(second, latest, screen);
            return !moving.isEmpty() && sameBackground(first, latest);
        },
        kLaunchMilliseconds);
    ASSERT_TRUE(measured) << "the window shows no flight\n" << log().toStdString() << Screen::keep(latest);
    // Up from the middle of the moving part: what else moved meanwhile (the
    // title bar drawn active) lies above the toolbar.
    int top = moving.center().y();
    while (top > 0 && !chromeColoured(latest.pixel(moving.center().x(), top - 1)))
        --top;
    mView = QRect(QPoint(moving.left(), top), moving.bottomRight());
    ASSERT_GT(mView.width(), 200);
    ASSERT_GT(mView.height(), 200);
}

QImage FerlowRun::nextPicture(const QImage& current) const
{
    QImage next = current;
    return QTest::qWaitFor([&] { return (next = mDesktop.capture()) != current; }, kConditionMilliseconds) ? next
                                                                                                            : current;
}

QPoint FerlowRun::firstToolbarItem() const
{
    return {mView.left() + kToolbarItemInset, mView.top() - kToolbarAboveView};
}

QPoint FerlowRun::toolbarSpace() const
{
    return {mView.right() - kToolbarItemInset, mView.top() - kToolbarAboveView};
}

std::optional<float> FerlowRun::setting(const QString& key) const
{
    const QSettings settings(settingsPath(), QSettings::IniFormat);
    bool ok = false;
    const float value = settings.value(key).toString().toFloat(&ok);
    return ok ? std::optional<float>(value) : std::nullopt;
}

bool FerlowRun::settingBecomes(const QString& key, float value, int milliseconds) const
{
    return QTest::qWaitFor([&] { return setting(key) == value; }, milliseconds);
}

void FerlowRun::signal(int number)
{
    ::kill(static_cast<pid_t>(mProcess.processId()), number);
}

double FerlowRun::residentMegabytes() const
{
    return ::residentMegabytes(pid_t(mProcess.processId()));
}

bool FerlowRun::exitsWithin(int milliseconds)
{
    return mProcess.waitForFinished(milliseconds) && mProcess.exitStatus() == QProcess::NormalExit;
}

namespace Screen {

bool changesFrom(const Desktop& desktop, const QImage& before, QRect region, int milliseconds)
{
    return QTest::qWaitFor([&] { return !differingPixels(before, desktop.capture(), region).isEmpty(); },
                           milliseconds);
}

QImage settled(const Desktop& desktop)
{
    QImage still = desktop.capture();
    QElapsedTimer unchanged;
    unchanged.start();
    const bool settles = QTest::qWaitFor(
        [&] {
            QImage latest = desktop.capture();
            if (latest != still) {
                still = std::move(latest);
                unchanged.restart();
            }
            return unchanged.elapsed() >= kSettleMilliseconds;
        },
        FerlowRun::kConditionMilliseconds);
    EXPECT_TRUE(settles) << "the screen never stood still";
    return still;
}

double share(const QImage& image, QRect region, const std::function<bool(QRgb)>& counts)
{
    int counted = 0;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x <= region.right(); ++x)
            counted += counts(image.pixel(x, y));
    }
    return double(counted) / double(region.width() * region.height());
}

double blackShare(const QImage& image, QRect region)
{
    return share(image, region, [](QRgb pixel) { return (pixel & 0xffffffu) == 0; });
}

bool sameViewAndDesktop(const QImage& a, const QImage& b, QRect view)
{
    for (int y = 0; y < a.height(); ++y) {
        const auto* rowA = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* rowB = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const bool counts = rowA[x] == Desktop::kBackground || view.contains(x, y);
            if (counts && rowA[x] != rowB[x])
                return false;
        }
    }
    return true;
}

std::string keep(const QImage& image, const char* suffix)
{
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    QString name = test ? QString::fromLatin1(test->test_suite_name()) + QLatin1Char('.') + QString::fromLatin1(test->name())
                        : QStringLiteral("screen");
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    const QString path = QDir::current().absoluteFilePath(name + QString::fromLatin1(suffix) + QStringLiteral(".png"));
    return image.save(path) ? "\nthe screen: " + path.toStdString() + "\n" : std::string("\n");
}

int backgroundPixels(const QImage& image, QRect region)
{
    int count = 0;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = region.left(); x <= region.right(); ++x)
            count += row[x] == Desktop::kBackground;
    }
    return count;
}

} // namespace Screen
