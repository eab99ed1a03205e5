#include "Process.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vq5::test {

CChild::CChild(const std::string& path, const std::vector<std::string>& args) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return;
    if (pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, err[1], 2);
    std::vector<std::string> all = {path};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&m_Pid, path.c_str(), &fa, nullptr, argv.data(), environ) != 0)
        m_Pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    ::close(out[1]);
    ::close(err[1]);
    m_Out = out[0];
    m_Err = err[0];
}

CChild::~CChild() {
    if (m_Pid > 0 && m_Status < 0) {
        ::kill(m_Pid, SIGKILL);
        ::waitpid(m_Pid, nullptr, 0);
    }
    if (m_Out >= 0)
        ::close(m_Out);
    if (m_Err >= 0)
        ::close(m_Err);
}

void CChild::Signal(int sig) {
    if (m_Pid > 0 && m_Status < 0)
        ::kill(m_Pid, sig);
}

bool CChild::Pump(int ms) {
    pollfd p[2] = {{m_Out, POLLIN, 0}, {m_Err, POLLIN, 0}};
    if (m_Out < 0 && m_Err < 0)
        return false;
    if (::poll(p, 2, ms) <= 0)
        return true;
    char buf[4096];
    for (int i = 0; i < 2; ++i) {
        int& fd = i == 0 ? m_Out : m_Err;
        if (fd < 0 || !(p[i].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            (i == 0 ? m_Stdout : m_Stderr).append(buf, static_cast<std::size_t>(n));
        } else {
            ::close(fd);
            fd = -1;
        }
    }
    return m_Out >= 0 || m_Err >= 0;
}

bool CChild::ReadUntil(const std::function<bool(const std::string&)>& done,
                       std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!done(m_Stdout)) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        if (!Pump(20))
            return done(m_Stdout);
    }
    return true;
}

int CChild::Wait(std::chrono::milliseconds timeout) {
    if (m_Pid <= 0)
        return -1;
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (m_Status < 0) {
        int st = 0;
        if (::waitpid(m_Pid, &st, WNOHANG) == m_Pid) {
            m_Status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            break;
        }
        if (std::chrono::steady_clock::now() >= until)
            return -1;
        if (!Pump(20))
            ::poll(nullptr, 0, 5); // both pipes ended: the exit is near
    }
    // What is still in the pipes; a grandchild holding them open ends the wait at the deadline.
    while (std::chrono::steady_clock::now() < until && Pump(20)) {
    }
    return m_Status;
}

bool HasOpen(pid_t pid, const std::string& path) {
    std::error_code ec;
    const std::filesystem::path wanted = std::filesystem::canonical(path, ec);
    if (ec)
        return false;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        std::error_code linkError;
        if (std::filesystem::read_symlink(fd.path(), linkError) == wanted)
            return true;
    }
    return false;
}

RunResult RunProgram(const std::string& path, const std::vector<std::string>& args,
                     std::chrono::milliseconds limit, std::chrono::milliseconds terminateAfter) {
    RunResult r;
    const auto start = std::chrono::steady_clock::now();
    CChild child(path, args);
    if (!child.Started()) {
        ADD_FAILURE() << "cannot start " << path;
        return r;
    }
    auto left = limit;
    if (terminateAfter.count() > 0 && terminateAfter < limit) {
        if (child.Wait(terminateAfter) < 0)
            child.Signal(SIGTERM);
        left = limit - terminateAfter;
    }
    r.exitCode = child.Wait(left);
    if (r.exitCode < 0) {
        ADD_FAILURE() << path << " did not end in time";
        child.Signal(SIGKILL);
        r.exitCode = child.Wait(std::chrono::seconds(10));
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.out = child.Out();
    r.err = child.Err();
    return r;
}

} // namespace vq5::test
