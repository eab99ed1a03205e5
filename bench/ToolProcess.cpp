#include "ToolProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace vq5::bench {

std::string MakeTempDir(const std::string& prefix) {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back(0);
    if (!mkdtemp(buf.data()))
        return {};
    return buf.data();
}

void RemoveTree(const std::string& dir) {
    if (dir.empty())
        return;
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

bool WriteToolSettings(const std::string& configHome, const std::string& tool, const std::string& port,
                       std::string& error) {
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::path(configHome) / "Lumark Electronics";
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        error = "cannot make " + dir.string() + ": " + ec.message();
        return false;
    }
    std::ofstream out(dir / (tool + ".conf"));
    out << "[VLPIO]\nComPort=" << port << "\n";
    out.close();
    if (!out) {
        error = "cannot write the settings of " + tool;
        return false;
    }
    return true;
}

CToolProcess::~CToolProcess() {
    if (m_Pid > 0 && Running()) {
        ::kill(m_Pid, SIGKILL);
        Wait(5000);
    }
}

bool CToolProcess::Start(const std::string& path, const std::vector<std::string>& env,
                         const std::string& outputPath, std::string& error) {
    return Start(path, {}, env, outputPath, error);
}

bool CToolProcess::Start(const std::string& path, const std::vector<std::string>& args,
                         const std::vector<std::string>& env, const std::string& outputPath,
                         std::string& error) {
    std::vector<std::string> vars;
    auto nameOf = [](const std::string& v) { return v.substr(0, v.find('=')); };
    bool platformGiven = false;
    for (const std::string& v : env)
        platformGiven = platformGiven || nameOf(v) == "QT_QPA_PLATFORM";
    for (char** e = environ; e && *e; ++e) {
        const std::string v = *e;
        bool replaced = nameOf(v) == "QT_QPA_PLATFORM";
        for (const std::string& w : env)
            replaced = replaced || nameOf(w) == nameOf(v);
        if (!replaced)
            vars.push_back(v);
    }
    for (const std::string& v : env)
        vars.push_back(v);
    if (!platformGiven)
        vars.push_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> envp;
    for (std::string& v : vars)
        envp.push_back(v.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string out = outputPath.empty() ? "/dev/null" : outputPath;
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<std::string> words{path};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        error = "cannot start " + path + ": " + std::strerror(rc);
        return false;
    }
    m_Pid = pid;
    return true;
}

bool CToolProcess::Running() {
    if (m_Pid <= 0)
        return false;
    int status = 0;
    pid_t r = ::waitpid(m_Pid, &status, WNOHANG);
    if (r == m_Pid) {
        m_Pid = -1;
        return false;
    }
    return r == 0;
}

bool CToolProcess::Wait(int ms, int* status) {
    if (m_Pid <= 0)
        return true;
    for (int waited = 0;; waited += 5) {
        int st = 0;
        pid_t r = ::waitpid(m_Pid, &st, WNOHANG);
        if (r == m_Pid || (r < 0 && errno == ECHILD)) {
            if (status)
                *status = st;
            m_Pid = -1;
            return true;
        }
        if (waited >= ms)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool CToolProcess::Terminate(int waitMs) {
    if (m_Pid <= 0)
        return true;
    ::kill(m_Pid, SIGTERM);
    if (Wait(waitMs))
        return true;
    ::kill(m_Pid, SIGKILL);
    Wait(5000);
    return false;
}

} // namespace vq5::bench
