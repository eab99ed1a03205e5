// Small text files the command line and the simulator read and write (configurations,
// device states): read only from regular files of a sane size, opened without waiting, and
// saved so that a failed or interrupted save never leaves half a file or touches anything
// but the file itself.
#pragma once

#include <cstddef>
#include <string>

namespace vq5 {

inline constexpr std::size_t kMaxTextFile = 1u << 20; // 1 MB

enum class ReadFileResult { Read, Missing, Failed };

// Reads the whole file. Refuses (Failed, with a one-line `error` naming the file) what is
// not a regular file (a folder, a FIFO, a device: it is never waited on) and files over
// `maxBytes`. Missing when the file does not exist.
ReadFileResult ReadTextFile(const std::string& path, std::string& text, std::string& error,
                            std::size_t maxBytes = kMaxTextFile);

// Writes `text` to a new temporary file of its own in the same folder (created exclusively,
// so a link planted there is never followed), gives it the mode of the file it replaces (a
// new file gets 0666 less the umask), flushes it to the disk and renames it over `path`.
// An existing `path` that is not a regular file is refused. False with `error` on failure;
// the temporary file is then removed and `path` is as it was.
bool SaveTextFile(const std::string& path, const std::string& text, std::string& error);

// A size for a message: "1 MB", "4 kB" or "100 bytes".
std::string SizeText(std::size_t bytes);

} // namespace vq5
