#include "tests/support/XServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <csignal>
#include <stdexcept>
#include <sys/prctl.h>

namespace {

// Xvfb needs a fraction of a second, Xorg about one, more on a loaded
// machine.
constexpr int kStartMilliseconds = 30000;
constexpr int kStopMilliseconds = 5000;
const QString kDebianXorg = QStringLiteral("/usr/lib/xorg/Xorg");

// The server itself rather than Debian's Xorg wrapper, which admits only
// users logged in on a console.
QString xorgProgram()
{
    return QFileInfo(kDebianXorg).isExecutable() ? kDebianXorg : QStandardPaths::findExecutable(QStringLiteral("Xorg"));
}

// The line after "Fatal server error" says what went wrong.
QString fatalError(const QByteArray& output)
{
    const QList<QByteArray> lines = output.split('\n');
    for (qsizetype line = 0; line + 1 < lines.size(); ++line) {
        if (lines[line].contains("Fatal server error"))
            return QString::fromLocal8Bit(lines[line + 1]).remove(QStringLiteral("(EE)")).trimmed();
    }
    return QString::fromLocal8Bit(output).trimmed();
}

} // namespace

std::optional<QString> XServer::unavailable(Kind kind)
{
    if (kind == Kind::Xvfb) {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            return QStringLiteral("no Xvfb installed (Debian: xvfb)");
        return std::nullopt;
    }
    const QString xorg = xorgProgram();
    if (xorg.isEmpty())
        return QStringLiteral("no Xorg installed (Debian: xserver-xorg-video-dummy)");
    // Elsewhere than Debian the drivers lie where that system puts them.
    if (xorg == kDebianXorg && !QFile::exists(QStringLiteral("/usr/lib/xorg/modules/drivers/dummy_drv.so")))
        return QStringLiteral("no dummy video driver installed (Debian: xserver-xorg-video-dummy)");
    return std::nullopt;
}

// Xorg shares the active virtual terminal instead of taking one over, so a
// desktop running on the same machine is left alone, and reads no
// configuration of the system; xorg-dummy.conf takes no input device.
XServer::XServer(Kind kind, const QStringList& arguments)
{
    if (const std::optional<QString> reason = unavailable(kind))
        throw std::runtime_error(reason->toStdString());
    if (!mFolder.isValid())
        throw std::runtime_error("no temporary folder for the X server");
    const QString program = kind == Kind::Xvfb ? QStringLiteral("Xvfb") : xorgProgram();
    QStringList all{QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"),
                    QStringLiteral("-nolisten"), QStringLiteral("tcp")};
    if (kind == Kind::XorgDummy) {
        const QString snippets = mFolder.filePath(QStringLiteral("xorg.conf.d"));
        QDir().mkpath(snippets);
        all << QStringLiteral("-config") << QStringLiteral(FERLOW_XORG_DUMMY_CONF) << QStringLiteral("-configdir")
            << snippets << QStringLiteral("-logfile") << mFolder.filePath(QStringLiteral("xorg.log"))
            << QStringLiteral("-sharevts") << QStringLiteral("-novtswitch");
    }
    // To a file: nobody reads a pipe while the server runs, and a full one
    // would stop it.
    const QString output = mFolder.filePath(QStringLiteral("server.out"));
    mProcess.setStandardErrorFile(output);
    mProcess.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    mProcess.start(program, all + arguments);

    const QString name = QFileInfo(program).fileName();
    const auto fail = [&](const QString& why) {
        throw std::runtime_error((name + QLatin1Char(' ') + why).toStdString());
    };
    if (!mProcess.waitForStarted(kStartMilliseconds))
        fail(QStringLiteral("did not start: ") + mProcess.errorString());
    while (!mProcess.canReadLine()) {
        if (mProcess.waitForReadyRead(kStartMilliseconds))
            continue;
        if (mProcess.state() == QProcess::Running)
            fail(QStringLiteral("did not accept connections within %1 s").arg(kStartMilliseconds / 1000));
        mProcess.waitForFinished();
        QFile said(output);
        said.open(QIODevice::ReadOnly);
        fail(QStringLiteral("failed: ") + fatalError(said.readAll()));
    }
    mName = QStringLiteral(":") + QString::fromLatin1(mProcess.readLine()).trimmed();
}

XServer::~XServer()
{
    mProcess.terminate();
    if (!mProcess.waitForFinished(kStopMilliseconds))
        mProcess.kill();
    mProcess.waitForFinished();
}
