#pragma once

#include <QImage>
#include <QMap>
#include <QProcess>
#include <csignal>
#include <sys/types.h>
#include <QRect>
#include <QTemporaryDir>
#include <functional>
#include <optional>

class Desktop;

// The ferlow program started on a desktop, with a settings folder of its
// own; everything it does is seen where a user sees it: on the screen and
// in its settings file.
class FerlowRun {
public:
    // Starts ferlow (or the program at `program`, a copy of it) with these
    // settings already stored (key, value as the file holds it) and these
    // command-line arguments.
    FerlowRun(Desktop& desktop, const QMap<QString, QString>& stored,
              const QString& program = QStringLiteral(FERLOW_PROGRAM), const QStringList& arguments = {});
    // The same, once `prepare` has laid out its settings path, which it may make anything
    // (a file of any bytes, a FIFO, a directory), with these variables added
    // to its environment.
    FerlowRun(Desktop& desktop, const std::function<void(const QString& settingsPath)>& prepare,
              const QProcessEnvironment& extra = {}, const QString& program = QStringLiteral(FERLOW_PROGRAM),
              const QStringList& arguments = {});
    ~FerlowRun();

    QString settingsPath() const;

    // Waits until a window of the program shows. Fails the test when none
    // comes.
    void waitUntilShown();
    // Waits until the window shows the flight, and finds the view in it.
    // Fails the test when it does not come.
    void waitUntilFlying();
    QRect view() const { return mView; }
    QPoint viewCentre() const { return mView.center(); }
    // A point of the window above the view: the toolbar's left end (its
    // first item) or its empty right end.
    QPoint firstToolbarItem() const;
    QPoint toolbarSpace() const;

    // The stored value, read afresh from the settings file.
    std::optional<float> setting(const QString& key) const;
    // Waits for the stored value to become exactly this one.
    bool settingBecomes(const QString& key, float value, int milliseconds = kConditionMilliseconds) const;
    static constexpr int kConditionMilliseconds = 15000;

    bool exitsWithin(int milliseconds);
    // Sends SIGTERM, as a session ending does.
    void terminate() { mProcess.terminate(); }
    // Stops the program and lets it go on, as a machine too busy to run it
    // would: what the window system sends meanwhile arrives in one batch.
    void pause() { ::kill(pid_t(mProcess.processId()), SIGSTOP); }
    void resume() { ::kill(pid_t(mProcess.processId()), SIGCONT); }
    // Sends this signal.
    void signal(int number);
    // What the program has resident, in MB, as the kernel counts it.
    double residentMegabytes() const;
    int exitCode() const { return mProcess.exitCode(); }
    // All it has written so far, standard output and error.
    QString log();

private:
    QImage nextPicture(const QImage& current) const;

    Desktop& mDesktop;
    QTemporaryDir mConfigHome;
    QProcess mProcess;
    QByteArray mLog;
    QRect mView;
};

// A file's bytes, as the program finds them or leaves them.
void writeBytes(const QString& path, const QByteArray& bytes);
// Empty when the file cannot be read.
QByteArray readBytes(const QString& path);

// What the screen shows, as the tests judge it.
namespace Screen {
// Waits until the region shows something other than this picture.
bool changesFrom(const Desktop& desktop, const QImage& before, QRect region, int milliseconds);
// Waits until the screen has stood still for a while, and returns it.
QImage settled(const Desktop& desktop);
// The share of the region's pixels that are black, or that count.
double blackShare(const QImage& image, QRect region);
double share(const QImage& image, QRect region, const std::function<bool(QRgb)>& counts);
// Saves the picture beside the test for a look after a failure, and says
// where.
std::string keep(const QImage& image, const char* suffix = "");
// Whether the view and the desktop around the windows show the same in
// both pictures; window decorations, drawn active or not, do not count.
bool sameViewAndDesktop(const QImage& a, const QImage& b, QRect view);
// How many pixels of the region, or of the whole picture, show the
// desktop's background.
int backgroundPixels(const QImage& image, QRect region);
inline int backgroundPixels(const QImage& image)
{
    return backgroundPixels(image, image.rect());
}
} // namespace Screen
