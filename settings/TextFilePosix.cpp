// Text files on POSIX systems.
#include "TextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

namespace vq5 {
namespace {

// The process's file mode creation mask, read without changing it (umask() would, for a
// moment, for every thread).
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
    return 022;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t off = 0;
    while (off < text.size()) {
        const ssize_t n = ::write(fd, text.data() + off, text.size() - off);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        off += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

ReadFileResult ReadTextFile(const std::string& path, std::string& text, std::string& error,
                            std::size_t maxBytes) {
    // O_NONBLOCK: opening a FIFO without a writer, or a serial line, must not wait.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        error = "cannot read " + path + ": " + std::strerror(e);
        return e == ENOENT ? ReadFileResult::Missing : ReadFileResult::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = "cannot read " + path + ": not a regular file";
        return ReadFileResult::Failed;
    }
    if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
        ::close(fd);
        error = "cannot read " + path + ": larger than " + SizeText(maxBytes);
        return ReadFileResult::Failed;
    }
    std::string got;
    std::vector<char> buf(16384);
    for (;;) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            ::close(fd);
            return ReadFileResult::Failed;
        }
        if (n == 0)
            break;
        got.append(buf.data(), static_cast<std::size_t>(n));
        if (got.size() > maxBytes) { // grew while being read
            ::close(fd);
            error = "cannot read " + path + ": larger than " + SizeText(maxBytes);
            return ReadFileResult::Failed;
        }
    }
    ::close(fd);
    text = std::move(got);
    return ReadFileResult::Read;
}

bool SaveTextFile(const std::string& path, const std::string& text, std::string& error) {
    mode_t mode = 0666 & ~CurrentUmask();
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            error = "cannot write " + path + ": not a regular file";
            return false;
        }
        mode = st.st_mode & 07777;
    }
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = dir + "." + base + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        error = "cannot write a temporary file beside " + path + ": " + std::strerror(errno);
        return false;
    }
    auto fail = [&](const std::string& what) {
        error = what + ": " + std::strerror(errno);
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    };
    if (::fchmod(fd, mode) != 0)
        return fail("cannot set the mode of " + temp);
    if (!WriteAll(fd, text))
        return fail("cannot write " + temp);
    if (::fsync(fd) != 0)
        return fail("cannot write " + temp);
    if (::close(fd) != 0) {
        error = "cannot write " + temp + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        error = "cannot rename " + temp + " to " + path + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const int dirFd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

} // namespace vq5
