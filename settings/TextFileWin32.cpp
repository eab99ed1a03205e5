// Text files on Windows.
#include "TextFile.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>

namespace vq5 {
namespace {

// The system's text for an error code, without its closing line break.
std::string SystemText(DWORD code) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string out = n && text ? std::string(text, n) : "error " + std::to_string(code);
    if (text)
        LocalFree(text);
    while (!out.empty() &&
           (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    return out;
}

} // namespace

ReadFileResult ReadTextFile(const std::string& path, std::string& text, std::string& error,
                            std::size_t maxBytes) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD e = GetLastError();
        error = "cannot read " + path + ": " + SystemText(e);
        return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? ReadFileResult::Missing
                                                                      : ReadFileResult::Failed;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        error = "cannot read " + path + ": not a regular file";
        return ReadFileResult::Failed;
    }
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = "cannot read " + path + ": " + SystemText(GetLastError());
        return ReadFileResult::Failed;
    }
    // A device (COM1, NUL, CON) or a pipe is no file to read a configuration from.
    LARGE_INTEGER size{};
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileSizeEx(h, &size)) {
        CloseHandle(h);
        error = "cannot read " + path + ": not a regular file";
        return ReadFileResult::Failed;
    }
    if (static_cast<unsigned long long>(size.QuadPart) > maxBytes) {
        CloseHandle(h);
        error = "cannot read " + path + ": larger than " + SizeText(maxBytes);
        return ReadFileResult::Failed;
    }
    std::string got;
    char buf[16384];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(h, buf, sizeof buf, &n, nullptr)) {
            error = "cannot read " + path + ": " + SystemText(GetLastError());
            CloseHandle(h);
            return ReadFileResult::Failed;
        }
        if (n == 0)
            break;
        got.append(buf, n);
        if (got.size() > maxBytes) { // grew while being read
            CloseHandle(h);
            error = "cannot read " + path + ": larger than " + SizeText(maxBytes);
            return ReadFileResult::Failed;
        }
    }
    CloseHandle(h);
    text = std::move(got);
    return ReadFileResult::Read;
}

bool SaveTextFile(const std::string& path, const std::string& text, std::string& error) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = "cannot write " + path + ": not a regular file";
        return false;
    }
    const std::size_t slash = path.find_last_of("/\\");
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    // A name of its own, created only if nothing (no file, no link) stands there yet.
    static std::atomic<unsigned> counter{0};
    std::string temp;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
        temp = dir + "." + base + "." + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(counter.fetch_add(1) + 1);
        h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (h == INVALID_HANDLE_VALUE) {
        error = "cannot write a temporary file beside " + path + ": " + SystemText(GetLastError());
        return false;
    }
    auto fail = [&](const std::string& what) {
        error = what + ": " + SystemText(GetLastError());
        CloseHandle(h);
        DeleteFileA(temp.c_str());
        return false;
    };
    std::size_t off = 0;
    while (off < text.size()) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - off, 1u << 20));
        if (!WriteFile(h, text.data() + off, chunk, &n, nullptr) || n == 0)
            return fail("cannot write " + temp);
        off += n;
    }
    if (!FlushFileBuffers(h))
        return fail("cannot write " + temp);
    CloseHandle(h);
    if (!MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = "cannot rename " + temp + " to " + path + ": " + SystemText(GetLastError());
        DeleteFileA(temp.c_str());
        return false;
    }
    return true;
}

} // namespace vq5
