#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

// An X server of the caller's own, stopped with the object, also when the
// caller dies: Xvfb, or Xorg with the dummy video driver (xorg-dummy.conf),
// whose monitors switch modes. It takes the first free display number, so
// that servers started side by side never meet; it accepts local
// connections only, and never resets when its last client leaves: a server
// that resets refuses the clients that connect meanwhile.
class XServer {
public:
    enum class Kind { Xvfb, XorgDummy };

    // Starts the server with these arguments besides, and returns once it
    // accepts connections; throws std::runtime_error saying why it did not.
    explicit XServer(Kind kind, const QStringList& arguments = {});
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // Why a server of that kind cannot be had on this machine, where it is
    // not installed; nothing where it is.
    static std::optional<QString> unavailable(Kind kind);
    // As DISPLAY names it.
    QString name() const { return mName; }

private:
    QTemporaryDir mFolder;
    QProcess mProcess;
    QString mName;
};
