#pragma once
// The one way every output file (pictures, videos, history lists, charts,
// converted models) reaches the disk: the bytes go to a new file in the
// target's folder, which replaces the target only once it is complete.
//
// - The new file is unnamed where the system allows it (O_TMPFILE), so that
//   even a killed process leaves nothing behind; elsewhere it gets a short
//   hidden name created exclusively (never a file someone else made).
// - commit() flushes it to the disk (fsync), gives it a name and renames it
//   over the target in one step. Until then the target is untouched; a
//   failure at any step, or destruction without commit(), removes the new
//   file and leaves the target as it was.
// - An existing target keeps its permission bits (and, where the process may
//   set them, its owner and group).
// - A target is refused before anything is made when it exists and is not a
//   regular file (a device, a FIFO, a socket, a directory; a symbolic link is
//   judged by what it points to, and a link to a regular file is followed so
//   that the file it names is replaced and the link stays), or when it is
//   read-only (no write permission bit at all, even for the superuser, or one
//   this process may not open for writing). The target is never opened, so
//   nothing named like an output can make the program wait.
//
// - A symbolic link that points nowhere is refused too: writing through it
//   would create a file wherever the link leads, replacing it would lose it.
//
// Errors are OutputError "Cannot write file '<path>': <what failed>", with
// the system's reason, e.g. "Permission denied", "No space left on device",
// "Is a directory" or "it is a FIFO, not a regular file". The path's control
// bytes are shown as \xHH (escape_control_bytes, model/name_text.h), so that a message cannot drive
// a terminal or break its line.

#include "viewer/output/output_error.h"

#include <initializer_list>
#include <string>
#include <string_view>

namespace orv {

class OutputFile {
  public:
    // Checks `path` and creates the new file. Throws OutputError.
    explicit OutputFile(std::string path);
    ~OutputFile(); // not committed: the new file goes
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // The target as given.
    const std::string& path() const { return path_; }
    // The new file, open for reading and writing, at offset 0 when made;
    // -1 once committed or discarded. Callers may write it any way they
    // like (pwrite, ftruncate, ...) but never close it.
    int fd() const { return fd_; }

    // Appends all of `bytes` at the file offset (EINTR retried). Throws
    // OutputError; the target is untouched.
    void write(std::string_view bytes);

    // Puts the new file in place of the target, as described above. Throws
    // OutputError, the new file removed and the target as it was.
    void commit();

    // Puts the file in place now, as commit() does, and keeps it open: the
    // file under the target's name then grows as it is written (a recording
    // that is seen while it goes on). commit() later only flushes and closes
    // it, and discard() closes it without taking it back. Throws as commit().
    void publish();

    // Several files that belong together (a list and its chart): all of them
    // are committed, or, when one fails, those already put in place get their
    // old contents back (as far as the system allows: a target that had none
    // is removed again) and the error is thrown.
    static void commit_together(std::initializer_list<OutputFile*> files);

    // Removes the new file; the target stays as it was. Does nothing once
    // committed; only closes a published file.
    void discard() noexcept;

  private:
    [[noreturn]] void fail(const std::string& what, int err);
    // Gives the unnamed file a hidden name beside the target; the name is
    // then in temp_name_.
    void name_it();
    // fsync, a name, the rename over the target. Throws, the new file removed.
    void put_in_place();

    std::string path_;   // as given, for messages
    std::string target_; // what is replaced: path_, or the file a link names
    std::string folder_;
    int fd_ = -1;
    bool unnamed_ = false;
    std::string temp_name_; // hidden name, once it has one
    bool published_ = false;
};

// The whole of `bytes` as the file at `path`, through an OutputFile.
void write_file_atomically(const std::string& path, std::string_view bytes);

// The checks OutputFile makes on its target, alone: throws its OutputError
// when `path` may not be replaced (for a caller that wants to refuse before
// a long computation, or before asking whether to overwrite).
void check_replaceable(const std::string& path);

} // namespace orv
