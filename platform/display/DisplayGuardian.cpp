#include "platform/display/DisplayGuardian.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace {

using namespace DisplayGuardianProtocol;
using Clock = std::chrono::steady_clock;

// Long enough for a loaded machine or a sanitizer build to start a small
// program; a guardian that takes longer is taken for one that failed.
constexpr std::chrono::milliseconds kReadyTimeout{10000};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : mFd(fd)
    {
    }
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return mFd; }
    int release() { return std::exchange(mFd, -1); }
    void reset()
    {
        if (mFd >= 0)
            close(release());
    }

private:
    int mFd;
};

// The guardian's standard input is its end of the link; its output goes
// nowhere, since a test harness or a pipe reading Ferlow's output would
// otherwise wait for the guardian too.
std::optional<pid_t> spawnGuardian(const std::string& path, const std::string& displayName, int link)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, link, STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::string program = path;
    std::string argument = displayName;
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = 0;
    const int error = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? std::optional(pid) : std::nullopt;
}

// The spawned process forks the guardian and exits at once.
void reap(pid_t pid)
{
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

bool awaitReady(int link)
{
    const std::string expected = std::string(kReady) + '\n';
    const auto deadline = Clock::now() + kReadyTimeout;
    std::string answer;
    while (answer.size() < expected.size()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd readable{link, POLLIN, 0};
        const int ready = poll(&readable, 1, static_cast<int>(std::max<decltype(left.count())>(left.count(), 0)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        char buffer[16];
        const ssize_t count = read(link, buffer, std::min(sizeof buffer, expected.size() - answer.size()));
        if (count <= 0)
            return false;
        answer.append(buffer, static_cast<std::size_t>(count));
    }
    return answer == expected;
}

} // namespace

std::unique_ptr<DisplayGuardian> DisplayGuardian::start(const std::string& displayName)
{
    int link[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, link) != 0)
        return nullptr;
    FileDescriptor ours(link[0]);
    FileDescriptor theirs(link[1]);
    const auto pid = spawnGuardian(executablePath(), displayName, theirs.get());
    // Only the guardian may hold its end, or its end of file would never come.
    theirs.reset();
    if (!pid)
        return nullptr;
    reap(*pid);
    if (!awaitReady(ours.get()))
        return nullptr;
    return std::unique_ptr<DisplayGuardian>(new DisplayGuardian(ours.release()));
}

DisplayGuardian::DisplayGuardian(int link)
    : mLink(link)
{
}

DisplayGuardian::~DisplayGuardian()
{
    close(mLink);
}

bool DisplayGuardian::save(const Layout& layout)
{
    return send(layout);
}

bool DisplayGuardian::modeSet(RROutput output, RRMode mode)
{
    return send(ModeSet{output, mode});
}

void DisplayGuardian::release()
{
    send(Release{});
}

bool DisplayGuardian::send(const Message& message)
{
    const std::string line = encode(message);
    std::size_t sent = 0;
    while (sent < line.size()) {
        // MSG_NOSIGNAL: a guardian that died must not take Ferlow with it
        // through SIGPIPE.
        const ssize_t count = ::send(mLink, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        sent += static_cast<std::size_t>(count);
    }
    return true;
}

std::string DisplayGuardian::executablePath()
{
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const auto beside = self.parent_path() / FERLOW_DISPLAY_GUARDIAN_NAME;
        if (access(beside.c_str(), X_OK) == 0)
            return beside;
    }
    return FERLOW_DISPLAY_GUARDIAN_BUILD_PATH;
}
