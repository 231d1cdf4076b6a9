#include "viewer/output/output_file.h"

#include "viewer/model/name_text.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <system_error>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

namespace {

[[noreturn]] void throw_write_error(const std::string& path, const std::string& what) {
    throw OutputError("Cannot write file '" + escape_control_bytes(path) + "': " + what);
}

std::string reason(int err) {
    return std::system_category().message(err);
}

// What a target that is not a regular file is, for the message.
std::string not_regular_reason(mode_t mode) {
    if (S_ISDIR(mode)) return reason(EISDIR);
    const char* kind = S_ISFIFO(mode)                   ? "a FIFO"
                       : S_ISSOCK(mode)                 ? "a socket"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                                                        : "not a plain file";
    return std::string("it is ") + kind + ", not a regular file";
}

struct Target {
    std::string path; // the file replaced: the one given, or the file a link to it names
    int mode = -1;    // permission bits of an existing file, -1 for none
    uid_t uid = 0;
    gid_t gid = 0;
};

// The checks described in the header; throws for a target that may not be
// replaced.
Target check_target(const std::string& path) {
    Target t;
    t.path = path;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        struct stat link {};
        if (err == ENOENT && ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
            throw_write_error(path, "it is a symbolic link to a file that does not exist");
        // No file: a new one is made.
        if (err == ENOENT) return t;
        throw_write_error(path, reason(err));
    }
    if (!S_ISREG(st.st_mode)) throw_write_error(path, not_regular_reason(st.st_mode));
    // A file without any write permission bit is read-only for everyone,
    // the superuser included (who could otherwise open it for writing).
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) throw_write_error(path, reason(EACCES));
    // Opened for writing without truncating it: the system's own verdict on
    // this process's right to change the file, which is left as it is.
    // Non-blocking, so that a FIFO put there meanwhile cannot hold us.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) throw_write_error(path, reason(errno));
    struct stat opened {};
    const bool regular = ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode);
    ::close(fd);
    if (!regular) throw_write_error(path, not_regular_reason(opened.st_mode));
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        // Replace the file the link names, so that the link stays a link.
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            t.path = real;
            std::free(real);
        }
    }
    t.mode = static_cast<int>(st.st_mode & 07777);
    t.uid = st.st_uid;
    t.gid = st.st_gid;
    return t;
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// A short hidden name in `folder`, however long the target's name is.
std::string hidden_name(const std::string& folder) {
    static std::atomic<unsigned> serial{0};
    return folder + "/.orvanel-" + std::to_string(::getpid()) + "-" + std::to_string(serial++) + ".tmp";
}

// Unnamed files are linked through /proc; without it they could never be
// given a name, so none is made.
bool can_link_unnamed() {
    return ::access("/proc/self/fd", X_OK) == 0;
}

void sync_folder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    // Best effort: the rename is done; this only hastens it to the disk.
    [[maybe_unused]] const int rc = ::fsync(fd);
    ::close(fd);
}

} // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
    if (path_.empty()) throw_write_error(path_, reason(ENOENT));
    const Target t = check_target(path_);
    target_ = t.path;
    folder_ = folder_of(target_);

    if (can_link_unnamed()) {
        // 0666 with O_CREAT: the process's umask gives the file the usual permissions.
        fd_ = ::open(folder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            unnamed_ = true;
        } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            throw_write_error(path_, reason(errno));
        }
    }
    for (int attempt = 0; fd_ < 0; ++attempt) {
        temp_name_ = hidden_name(folder_);
        fd_ = ::open(temp_name_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ < 0 && (errno != EEXIST || attempt >= 100)) {
            const int err = errno;
            temp_name_.clear();
            throw_write_error(path_, reason(err));
        }
    }
    if (t.mode >= 0) {
        // The owner first: changing it may clear set-id bits that the mode then restores.
        struct stat own {};
        if (::fstat(fd_, &own) == 0 && (own.st_uid != t.uid || own.st_gid != t.gid)) {
            [[maybe_unused]] const int rc = ::fchown(fd_, t.uid, t.gid); // only where allowed
        }
        if (::fchmod(fd_, static_cast<mode_t>(t.mode)) != 0) fail("cannot set its permissions", errno);
    }
}

OutputFile::~OutputFile() {
    discard();
}

void OutputFile::discard() noexcept {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    if (!temp_name_.empty()) ::unlink(temp_name_.c_str());
    temp_name_.clear();
}

void OutputFile::fail(const std::string& what, int err) {
    discard();
    throw_write_error(path_, what.empty() ? reason(err) : what + ": " + reason(err));
}

void OutputFile::write(std::string_view bytes) {
    if (fd_ < 0) throw_write_error(path_, "the file is already closed");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("", errno);
        }
        if (n == 0) fail("", EIO);
        done += static_cast<std::size_t>(n);
    }
}

void OutputFile::name_it() {
    const std::string proc = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0;; ++attempt) {
        temp_name_ = hidden_name(folder_);
        if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, temp_name_.c_str(), AT_SYMLINK_FOLLOW) == 0) return;
        const int err = errno;
        temp_name_.clear();
        if (err != EEXIST || attempt >= 100) fail("cannot give the new file a name", err);
    }
}

void OutputFile::put_in_place() {
    // On the disk before it takes the target's name, so that a crash cannot
    // leave an empty or partial file under that name.
    if (::fsync(fd_) != 0) fail("", errno);
    if (unnamed_) name_it();
    if (::rename(temp_name_.c_str(), target_.c_str()) != 0) fail("", errno);
    temp_name_.clear();
    sync_folder(folder_);
}

void OutputFile::publish() {
    if (fd_ < 0) throw_write_error(path_, "the file is already closed");
    if (published_) return;
    put_in_place();
    published_ = true;
}

void OutputFile::commit() {
    if (fd_ < 0) throw_write_error(path_, "the file is already closed");
    if (published_) {
        const bool synced = ::fsync(fd_) == 0;
        const int err = errno;
        const int fd = std::exchange(fd_, -1);
        if (!synced) {
            ::close(fd);
            throw_write_error(path_, reason(err));
        }
        if (::close(fd) != 0) throw_write_error(path_, reason(errno));
        return;
    }
    put_in_place();
    // Closed once in place: the data is on the disk already, and a failing
    // close must not take back a file that is whole.
    ::close(std::exchange(fd_, -1));
}

void OutputFile::commit_together(std::initializer_list<OutputFile*> files) {
    // The old contents of each existing target stay reachable under a hidden
    // name (a second link to the same file) until every file is in place.
    struct Step {
        OutputFile* file;
        std::string backup; // empty: no old file (or none that could be kept)
        bool done = false;
    };
    std::vector<Step> steps;
    for (OutputFile* f : files) {
        Step s{f, {}, false};
        struct stat st {};
        if (::stat(f->target_.c_str(), &st) == 0) {
            for (int attempt = 0; attempt < 100; ++attempt) {
                std::string name = hidden_name(f->folder_);
                if (::link(f->target_.c_str(), name.c_str()) == 0) {
                    s.backup = std::move(name);
                    break;
                }
                if (errno != EEXIST) break;
            }
        }
        steps.push_back(std::move(s));
    }
    try {
        for (Step& s : steps) {
            s.file->commit();
            s.done = true;
        }
    } catch (...) {
        for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
            if (it->done) {
                if (!it->backup.empty())
                    ::rename(it->backup.c_str(), it->file->target_.c_str());
                else
                    ::unlink(it->file->target_.c_str());
            } else if (!it->backup.empty()) {
                ::unlink(it->backup.c_str());
            }
            it->file->discard();
        }
        throw;
    }
    for (const Step& s : steps)
        if (!s.backup.empty()) ::unlink(s.backup.c_str());
}

void write_file_atomically(const std::string& path, std::string_view bytes) {
    OutputFile file(path);
    file.write(bytes);
    file.commit();
}

void check_replaceable(const std::string& path) {
    if (path.empty()) throw_write_error(path, reason(ENOENT));
    check_target(path);
}

} // namespace orv
