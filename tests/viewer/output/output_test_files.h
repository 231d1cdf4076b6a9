#pragma once
// Helpers of the output tests for the files the commands write: a scratch
// folder, a file's bytes, a lower file-size limit (a full disk), the message
// of a refused command, and AVI files read back with ffprobe and ffmpeg, as
// a player would.

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace orv::test {

// A new empty folder under the system's temporary folder, its name starting
// with `prefix`; an empty path when it cannot be made. The caller removes it.
inline std::filesystem::path make_scratch_dir(const std::string& prefix) {
    std::string tmpl = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!mkdtemp(tmpl.data())) return {};
    return tmpl;
}

inline std::string file_bytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// what() of the `Error` that `f` throws; a note when it throws none.
template <class Error> std::string message_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

// Lowers this process's file-size limit for its lifetime; writes past it
// fail with EFBIG (SIGXFSZ is ignored meanwhile), like a disk that is full.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim = old_;
        lim.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, old_handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit old_{};
    void (*old_handler_)(int) = nullptr;
};

// ---- AVI files read back ----

inline bool have_ffprobe() {
    return std::system("ffprobe -version >/dev/null 2>&1") == 0;
}

// Standard output of a shell command.
inline std::string run(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[65536];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    pclose(p);
    return out;
}

inline std::string quoted(const std::filesystem::path& p) {
    return "'" + p.string() + "'";
}

// ffprobe's view of the file's (first) video stream, as key -> value.
inline std::map<std::string, std::string> probe(const std::filesystem::path& file) {
    std::map<std::string, std::string> fields;
    std::istringstream lines(run(
        "ffprobe -v error -count_frames -select_streams v:0 -show_streams -of default=noprint_wrappers=1 " +
        quoted(file)));
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return fields;
}

using Frame = std::vector<std::uint8_t>; // 24-bit RGB, top row first

// Every frame of the file decoded to width x height.
inline std::vector<Frame> decode(const std::filesystem::path& file, int width, int height) {
    const std::string raw = run("ffmpeg -v error -i " + quoted(file) + " -f rawvideo -pix_fmt rgb24 -");
    const std::size_t size = static_cast<std::size_t>(width) * height * 3;
    std::vector<Frame> frames;
    for (std::size_t at = 0; at + size <= raw.size(); at += size)
        frames.emplace_back(raw.begin() + static_cast<std::ptrdiff_t>(at),
                            raw.begin() + static_cast<std::ptrdiff_t>(at + size));
    return frames;
}

} // namespace orv::test
