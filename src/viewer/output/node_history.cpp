#include "viewer/output/node_history.h"

#include "viewer/model/number_text.h"
#include "viewer/output/list_sequence.h"
#include "viewer/output/output_error.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

namespace {

void pad_left(std::string& out, std::string_view field, std::size_t width) {
    if (field.size() < width) out.append(width - field.size(), ' ');
    out += field;
}

[[noreturn]] void throw_write_error(const std::string& path, int err) {
    throw OutputError("Cannot write file '" + path + "': " + std::system_category().message(err));
}

} // namespace

std::string utf8_to_latin1(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        int extra = 0;
        char32_t cp = 0;
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else { // stray continuation byte or invalid lead byte
            out += '?';
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        for (; j < utf8.size() && j <= i + extra; ++j) {
            const auto cc = static_cast<unsigned char>(utf8[j]);
            if ((cc & 0xC0) != 0x80) break;
            cp = (cp << 6) | (cc & 0x3F);
        }
        const bool complete = j == i + 1 + extra;
        // Overlong two-byte forms of ASCII (C0, C1 leads) are malformed too.
        out += complete && cp >= 0x80 && cp <= 0xFF ? static_cast<char>(cp) : '?';
        i = j;
    }
    return out;
}

std::string format_history_line(int list, double value) {
    std::string line;
    char buf[400]; // the widest double in fixed notation with 10 decimals has 321 characters
    auto r = std::to_chars(buf, buf + sizeof buf, list);
    pad_left(line, std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)), 10);
    line += "  ";
    // + 0.0 turns -0.0 into 0.0, so an exact zero never prints as "-0.0000000000".
    r = std::to_chars(buf, buf + sizeof buf, value + 0.0, std::chars_format::fixed, 10);
    pad_left(line, std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)), 20);
    line += "\r\n";
    return line;
}

std::string format_node_history(std::string_view node_text, const NodeHistory& history) {
    std::string out = "N\xF3: ";
    out += utf8_to_latin1(node_text);
    out += "\r\n\r\nLista      Valor\r\n";
    for (std::size_t i = 0; i < history.lists.size() && i < history.values.size(); ++i)
        out += format_history_line(history.lists[i], history.values[i]);
    return out;
}

NodeHistory read_node_history(const ResultModel& model, std::string_view node_text,
                              const std::vector<int>& lists) {
    NodeHistory h;
    int label = 0;
    try {
        label = parse_integer_text(node_text);
    } catch (const InvalidInteger& e) {
        throw OutputError(e.what());
    }
    // The text is the node's number as the user sees it, its label; 0 is row
    // 0 unless a node carries that number.
    h.node = model.node_with_label(label);
    if (h.node == 0 && label != 0) {
        if (model.node_labels.empty())
            throw OutputError("Node " + std::to_string(label) +
                              " does not exist: the node number must be from 0 to " +
                              std::to_string(model.nnode) + ".");
        throw OutputError("Node " + std::to_string(label) +
                          " does not exist: no node of the model has that number.");
    }
    check_lists(lists, model.nlista);
    h.lists = lists;
    h.values.reserve(lists.size());
    for (const int k : lists)
        h.values.push_back(model.listas(static_cast<std::size_t>(h.node), static_cast<std::size_t>(k)));
    return h;
}

namespace {

// An existing regular file at `path` that may be replaced: 0 and its
// permission bits in `mode`, or the errno that refuses it. No file (or not a
// regular one, whose rename fails on its own terms): 0 and mode -1.
int check_replaceable(const std::string& path, int& mode) {
    mode = -1;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    // A file without any write permission bit is read-only for everyone,
    // the superuser included (who could otherwise open it for writing).
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return EACCES;
    // Opened for writing without truncating it: the system's own verdict
    // on this process's right to change the file, which is left as it is.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno;
    ::close(fd);
    mode = static_cast<int>(st.st_mode & 07777);
    return 0;
}

} // namespace

void check_replaceable(const std::string& path) {
    int mode = -1;
    if (const int err = check_replaceable(path, mode); err != 0) throw_write_error(path, err);
}

void write_file_atomically(const std::string& path, std::string_view bytes) {
    int mode = -1;
    if (const int err = check_replaceable(path, mode); err != 0) throw_write_error(path, err);

    static std::atomic<unsigned> serial{0};
    const std::filesystem::path target(path);
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    const std::string base = target.filename().string();

    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = (folder / ("." + base + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(serial++)))
                   .string();
        // 0666 with O_CREAT: the process's umask gives the file the usual permissions.
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt >= 100)) throw_write_error(path, errno);
    }

    const auto abandon = [&](int err) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw_write_error(path, err);
    };
    // The replacement keeps the permission bits of the file it replaces.
    if (mode >= 0 && ::fchmod(fd, static_cast<mode_t>(mode)) != 0) abandon(errno);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            abandon(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    // Synced before the rename, so a crash cannot leave an empty file under the final name.
    if (::fsync(fd) != 0) abandon(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        throw_write_error(path, err);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        throw_write_error(path, err);
    }
}

NodeHistory write_node_history(const std::string& path, const ResultModel& model, std::string_view node_text,
                               const std::vector<int>& lists) {
    NodeHistory h = read_node_history(model, node_text, lists);
    write_file_atomically(path, format_node_history(node_text, h));
    return h;
}

} // namespace orv
