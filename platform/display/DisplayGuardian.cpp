#include "platform/display/DisplayGuardian.h"

#include "platform/system/OrderlyExit.h"
#include "platform/system/SystemLog.h"

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

// The longest the waits block at a stretch before they look for a request to
// quit again.
constexpr int kPollMilliseconds = 10;
constexpr std::string_view kKeepsItsMode = "; the display keeps its mode";

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

// The process posix_spawn started, which forks the guardian and exits at
// once. It is reaped without blocking while it may still be running; one
// still there when this goes is no guardian and is ended first.
class SpawnedProcess {
public:
    explicit SpawnedProcess(pid_t pid)
        : mPid(pid)
    {
    }
    ~SpawnedProcess()
    {
        if (hasExited())
            return;
        kill(mPid, SIGKILL);
        while (waitpid(mPid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    SpawnedProcess(const SpawnedProcess&) = delete;
    SpawnedProcess& operator=(const SpawnedProcess&) = delete;

    bool hasExited()
    {
        if (!mReaped) {
            const pid_t reaped = waitpid(mPid, nullptr, WNOHANG);
            mReaped = reaped == mPid || (reaped < 0 && errno == ECHILD);
        }
        return mReaped;
    }

private:
    pid_t mPid;
    bool mReaped = false;
};

enum class Answer { Ready, Failed, Late, Quit };

// Until the spawned process has exited and the guardian has said it is
// ready, the deadline has passed or a signal asks the program to quit.
Answer awaitGuardian(SpawnedProcess& spawned, int link)
{
    const std::string expected = std::string(kReady) + '\n';
    const auto deadline = Clock::now() + DisplayGuardian::kAnswerTimeout;
    std::string answer;
    for (;;) {
        const bool answered = answer.size() == expected.size();
        if (spawned.hasExited() && answered)
            return Answer::Ready;
        if (orderlyExitRequested())
            return Answer::Quit;
        if (Clock::now() >= deadline)
            return Answer::Late;
        pollfd readable{link, static_cast<short>(answered ? 0 : POLLIN), 0};
        const int ready = poll(&readable, 1, kPollMilliseconds);
        if (ready < 0 && errno != EINTR)
            return Answer::Failed;
        if (ready <= 0)
            continue;
        // The guardian closed its end without a word, or said something else.
        char buffer[16];
        const ssize_t count = read(link, buffer, std::min(sizeof buffer, expected.size() - answer.size()));
        if (count <= 0)
            return Answer::Failed;
        answer.append(buffer, static_cast<std::size_t>(count));
        if (!expected.starts_with(answer))
            return Answer::Failed;
    }
}

std::filesystem::path runningExecutable()
{
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error);
}

} // namespace

std::unique_ptr<DisplayGuardian> DisplayGuardian::start(const std::string& displayName)
{
    const auto program = programFor(runningExecutable());
    if (!program) {
        systemLog(std::string("Ferlow: no display guardian beside the program nor in ") + FERLOW_DISPLAY_GUARDIAN_DIR
                  + " from it" + std::string(kKeepsItsMode));
        return nullptr;
    }
    int link[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, link) != 0)
        return nullptr;
    FileDescriptor ours(link[0]);
    FileDescriptor theirs(link[1]);
    const auto pid = spawnGuardian(*program, displayName, theirs.get());
    // Only the guardian may hold its end, or its end of file would never come.
    theirs.reset();
    if (!pid) {
        systemLog("Ferlow: the display guardian " + program->string() + " could not be started"
                  + std::string(kKeepsItsMode));
        return nullptr;
    }
    SpawnedProcess spawned(*pid);
    switch (awaitGuardian(spawned, ours.get())) {
    case Answer::Ready:
        return std::unique_ptr<DisplayGuardian>(new DisplayGuardian(ours.release()));
    case Answer::Failed:
        systemLog("Ferlow: the display guardian " + program->string() + " failed to start"
                  + std::string(kKeepsItsMode));
        return nullptr;
    case Answer::Late:
        systemLog("Ferlow: the display guardian " + program->string() + " did not answer within "
                  + std::to_string(kAnswerTimeout.count()) + " s" + std::string(kKeepsItsMode));
        return nullptr;
    case Answer::Quit:
        break;
    }
    return nullptr;
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

std::optional<std::filesystem::path> DisplayGuardian::programFor(const std::filesystem::path& executable)
{
    const std::filesystem::path folder = executable.parent_path();
    for (const std::filesystem::path& candidate :
         {folder / FERLOW_DISPLAY_GUARDIAN_NAME, folder / FERLOW_DISPLAY_GUARDIAN_DIR / FERLOW_DISPLAY_GUARDIAN_NAME}) {
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error) && access(candidate.c_str(), X_OK) == 0)
            return candidate.lexically_normal();
    }
    return std::nullopt;
}
