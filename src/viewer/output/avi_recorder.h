#pragma once
// AVI recorder of a viewer window: frames of the model view are appended to
// an AVI file (one video stream, Microsoft Video 1, four-character code MSVC,
// every frame a key frame).
//
// Errors are exceptions of type AviError whose what() is the message shown to
// the user; every operation leaves the recorder in the state its comment
// gives. FFmpeg does the encoding and muxing; none of its types appear here.

#include "viewer/output/output_error.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace orv {

class AviError : public OutputError {
  public:
    using OutputError::OutputError;
};

// Messages of the recorder, as the user reads them.
inline constexpr const char* kAviNotCreated = "Cannot add frame to AVI. AVI file not created.";
inline constexpr const char* kAviCannotCreateFile = "Cannot create AVI file. Disk full or file in use?";
inline constexpr const char* kAviCannotCreateStream = "Cannot create AVI stream.";
// Codec failures: this text alone, or followed by kAviNoCompressor when the
// encoder is missing. The trailing space belongs to the message.
inline constexpr const char* kAviCannotCompress = "Cannot make compressed stream. ";
inline constexpr const char* kAviNoCompressor = "No such compressor found";
inline constexpr const char* kAviSetFormatError = "AVIStreamSetFormat Error";
inline constexpr const char* kAviAddFrameError = "Add Frame Error";
// Second line after kAviAddFrameError when the file had to be finished
// early; the file name and a full stop follow.
inline constexpr const char* kAviFinishedEarly =
    "The recording could not go on and was finished with the frames written so far; the next frame "
    "starts a new file. File: ";
inline constexpr const char* kAviZeroFps =
    "Cannot create AVI file. Frames per second must be from 1 to 255 (the value is kept in 8 bits, "
    "so 0 and multiples of 256 are not valid).";

// Byte order of one pixel of a picture handed to add_frame. Alpha is ignored.
// Rgba is what glReadPixels(GL_RGBA, GL_UNSIGNED_BYTE) gives; Bgra is the byte
// order of a QImage in Format_RGB32 / Format_ARGB32 on a little-endian machine.
enum class PixelLayout { Rgba, Bgra };

// A picture in memory, 4 bytes per pixel, 8 bits per channel. Not owned.
struct FramePicture {
    const std::uint8_t* data = nullptr; // first byte of the first row in memory
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0; // bytes from one row to the next in memory; 0 = width * 4
    PixelLayout layout = PixelLayout::Rgba;
    // false: rows are stored top row first (QImage). true: bottom row first,
    // the order glReadPixels returns, so no flip is needed by the caller.
    bool bottom_up = false;
};

// Asked by create() when the file already exists. It gets the question
// "Overwrite file <name>?" and returns true when the user answers Yes.
using ConfirmOverwrite = std::function<bool(const std::string& question)>;

class AviRecorder {
  public:
    // Microsoft Video 1 quality requested on the 0..10000 scale. FFmpeg's
    // msvideo1 encoder has no quality control (its block-error threshold is
    // fixed); with every frame a key frame it codes each 4x4 block as the
    // best of one colour, two colours or two colours per 2x2 quarter, which
    // is the high-quality end of that codec. The value is kept for reference.
    static constexpr int kQuality = 7500;

    AviRecorder();
    ~AviRecorder(); // an open file is finished (trailer written) and stays playable
    AviRecorder(const AviRecorder&) = delete;
    AviRecorder& operator=(const AviRecorder&) = delete;

    // Frame size in pixels, initially 320 x 200. A new value is rounded down
    // to a multiple of 8; it is ignored while a file is open, and ignored when
    // the rounded value is not positive (a value below 8 would give an empty
    // frame that the codec refuses).
    int width() const;
    int height() const;
    void set_width(int value);
    void set_height(int value);

    // Frames per second, initially 25, kept in 8 bits: 300 gives 44, -1 gives
    // 255. May be set at any time; it takes effect when a file is created.
    int fps() const;
    void set_fps(int value);

    // Name of the file create() makes (a path; no folder = working directory).
    const std::string& filename() const;
    void set_filename(std::string name);

    // Where the file is while it is recorded: under its name from create()
    // on (true, initially: the viewer's recordings, which grow under the
    // user's eyes; the older file of the name is replaced once the new one
    // has its headers), or unnamed until close() puts it in place (false:
    // a batch video, of which a run that fails, is stopped or killed leaves
    // nothing). Takes effect when a file is created.
    bool named_while_recording() const;
    void set_named_while_recording(bool named);

    bool is_recording() const;
    // Frames written to the open file (or to the last one closed).
    std::int64_t frame_count() const;

    // Creates the file with the current size and frames per second, which
    // then hold for the whole file, and starts recording at frame 0.
    // - A file that is open is first finished, as close() does (a failure to
    //   finish it is thrown and no new file is made).
    // - fps() == 0: throws kAviZeroFps; nothing is touched.
    // - Something exists at the name that may not be replaced (a directory,
    //   a FIFO, a device, a socket, a read-only file): throws
    //   kAviCannotCreateFile, a line break and the reason, without asking.
    // - The file exists: `confirm` is asked "Overwrite file <name>?". No (or
    //   no callback): throws kAviNotCreated, the old file is left as it was.
    //   Yes: the old file stays until the new one replaces it (see
    //   named_while_recording), keeping its permissions.
    // - The frames go to a new file of the same folder (OutputFile). It cannot
    //   be made or put in place: kAviCannotCreateFile, a line break and the
    //   writer's message.
    // - Any later failure throws the message of its step (kAviCannotCreateFile,
    //   kAviCannotCreateStream, kAviCannotCompress[+kAviNoCompressor],
    //   kAviSetFormatError), releases everything and removes the unfinished file.
    // After a throw the recorder is not recording. Nothing here can block on
    // what carries the name: the target itself is never opened.
    void create(const ConfirmOverwrite& confirm);

    // Appends `picture` as one key frame: the frame is cut from its top-left
    // corner at the frame size; where the picture is smaller than the frame
    // (the view shrank while recording) the frame is black.
    // - Not recording: throws kAviNotCreated, nothing changes.
    // - Empty or malformed picture, or an encoder/write failure (a full disk,
    //   a file-size limit, an I/O error): throws kAviAddFrameError; still
    //   recording, the frame counter is not advanced, and the file holds
    //   nothing of the failed frame. Once the cause is gone the next frame is
    //   written as usual.
    // - A failure of the muxer after the frame was written (it cannot go on):
    //   the file is finished with the frames it holds and kept, the recorder
    //   is not recording, and AviError is thrown: kAviAddFrameError, a line
    //   break, then kAviFinishedEarly + the file name + "."; or, if even
    //   finishing failed, the close() message after the line break.
    // The file stays finishable at every point: the room that close() needs
    // is set aside on disk as frames are added.
    void add_frame(const FramePicture& picture);

    // Finishes the file (index and headers written, the suggested read buffer
    // of the file and of its stream the size of one uncompressed 24-bit frame),
    // flushes it to the disk and puts it in place under its name; the recorder
    // is then not recording. Does nothing when not recording. If the file
    // cannot be finished, everything is still released (the unfinished file
    // removed, an older file of the name kept) and AviError
    // "Cannot finish AVI file <name>. Disk full or file in use?" is thrown,
    // followed by a line with the writer's message when the writer failed.
    void close();

    // Ends the recording without keeping it: everything is released, the
    // unfinished file goes and an older file of the name stays as it was.
    // A file named while recording is already in place: it is finished as
    // close() does (a failure to finish it is not reported). Does nothing
    // when not recording.
    void discard() noexcept;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace orv
