#include "platform/toolkit/WindowSystem.h"

#include <cstdlib>
#include <cstring>
#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

namespace {

constexpr std::string_view kX11 = "xcb";
constexpr std::string_view kWayland = "wayland"; // and wayland-egl, wayland-generic
constexpr const char* kDefaultWaylandDisplay = "wayland-0";

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string quoted(const std::string& text)
{
    return '"' + text + '"';
}

std::vector<std::string> split(const std::string& list, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = list.find(separator, start)) != std::string::npos; start = end + 1)
        parts.push_back(list.substr(start, end - start));
    parts.push_back(list.substr(start));
    return parts;
}

std::string platformList(int argc, char** argv)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return argv[i + 1];
    }
    if (const std::string chosen = environment("QT_QPA_PLATFORM"); !chosen.empty())
        return chosen;
    const bool waylandSession = !environment("WAYLAND_DISPLAY").empty() || environment("XDG_SESSION_TYPE") == "wayland";
    return waylandSession ? std::string(kWayland) + ';' + std::string(kX11) : std::string(kX11);
}

std::optional<std::string> unreachableX11()
{
    const std::string name = environment("DISPLAY");
    if (name.empty())
        return "DISPLAY is not set";
    char* host = nullptr;
    int display = 0;
    int screen = 0;
    const bool parsed = xcb_parse_display(name.c_str(), &host, &display, &screen) != 0;
    std::free(host);
    if (!parsed)
        return "DISPLAY " + quoted(name) + " is not an X display name";
    xcb_connection_t* connection = xcb_connect(name.c_str(), nullptr);
    const int error = xcb_connection_has_error(connection);
    xcb_disconnect(connection);
    if (error == 0)
        return std::nullopt;
    if (error == XCB_CONN_CLOSED_INVALID_SCREEN)
        return "the X server at DISPLAY " + quoted(name) + " has no screen " + std::to_string(screen);
    return "no X server accepts connections at DISPLAY " + quoted(name);
}

std::optional<std::string> unreachableWayland()
{
    // A socket handed down by the compositor cannot be tried without taking it.
    if (!environment("WAYLAND_SOCKET").empty())
        return std::nullopt;
    std::string name = environment("WAYLAND_DISPLAY");
    if (name.empty())
        name = kDefaultWaylandDisplay;
    if (name.front() != '/') {
        const std::string runtime = environment("XDG_RUNTIME_DIR");
        if (runtime.empty())
            return "XDG_RUNTIME_DIR is not set, so there is no Wayland display " + quoted(name);
        name = runtime + '/' + name;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.size() >= sizeof address.sun_path)
        return "the Wayland display " + quoted(name) + " is a path too long for a socket";
    std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected = fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        close(fd);
    if (connected)
        return std::nullopt;
    return "no Wayland compositor listens at " + quoted(name);
}

} // namespace

std::optional<std::string> unreachableWindowSystem(int argc, char** argv)
{
    std::string reasons;
    for (const std::string& entry : split(platformList(argc, argv), ';')) {
        const std::string platform = entry.substr(0, entry.find(':')); // after ':' come its arguments
        if (platform.empty())
            continue;
        std::optional<std::string> reason;
        if (platform == kX11)
            reason = unreachableX11();
        else if (platform.rfind(kWayland, 0) == 0)
            reason = unreachableWayland();
        if (!reason)
            return std::nullopt;
        reasons += (reasons.empty() ? "" : "; ") + *reason;
    }
    return reasons.empty() ? std::nullopt : std::optional(reasons);
}
