// AVI recording over FFmpeg: libavformat's AVI muxer, libavcodec's msvideo1
// encoder (15-bit RGB555 frames, the codec's own colour depth) and libswscale
// for the 32-bit picture -> RGB555 conversion.
//
// A frame that cannot be written leaves the file as it was. The muxer writes
// through our own output (a file descriptor under an AVIO context), and each
// frame first goes to the file by our own hand, before the muxer hears of it:
// 1. the file is grown (fallocate) to hold the frame and everything closing
//    the file will add, so that a full disk is found here and a file that
//    is recording can always be finished;
// 2. the frame's chunk is written where the muxer will put it, past the
//    file's logical end, where a failed write leaves nothing that counts;
// 3. only then is the packet handed to the muxer, whose writes of those very
//    bytes are recognised and skipped.
// A failure in 1 or 2 gives "Add Frame Error" with the muxer untouched: the
// frame counter is not advanced and the next frame is written as if the
// failed one had never been asked for. The reserve past the logical end is
// cut off when the file is finished.

#include "viewer/output/avi_recorder.h"

#include "viewer/model/name_text.h"
#include "viewer/output/output_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

namespace fs = std::filesystem;

namespace {

// FFmpeg reports recoverable oddities (unaligned rows, muxer notes) as
// warnings on stderr; the recorder reports its own failures, so only FFmpeg's
// errors are let through.
void quiet_ffmpeg_once() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_ERROR); });
}

// Frame sizes are kept at multiples of 8; a value that rounds to nothing is
// ignored like a non-positive one.
bool round_frame_size(int value, int& out) {
    const int rounded = value - value % 8;
    if (value <= 0 || rounded <= 0) return false;
    out = rounded;
    return true;
}

std::uint32_t read_u32(const std::vector<char>& d, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(d[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d[at + 3])) << 24;
}

bool is_fourcc(const std::vector<char>& d, std::size_t at, const char* code) {
    return at + 4 <= d.size() && std::memcmp(d.data() + at, code, 4) == 0;
}

// Offsets of the suggested-buffer-size fields of the main header (avih) and
// of the video stream header (strh) in the header list at the start of an
// AVI file; nothing for a file whose headers are not where they belong.
std::vector<std::size_t> suggested_buffer_fields(const std::vector<char>& d) {
    std::vector<std::size_t> fields;
    if (!is_fourcc(d, 0, "RIFF") || !is_fourcc(d, 8, "AVI ") || !is_fourcc(d, 12, "LIST") ||
        !is_fourcc(d, 20, "hdrl"))
        return fields;
    const std::size_t hdrl_end = std::min<std::size_t>(d.size(), 20 + std::size_t{read_u32(d, 16)});
    // Chunks: four-character code, 32-bit size, data padded to an even length.
    const auto walk = [&](std::size_t from, std::size_t to, auto&& visit) {
        for (std::size_t at = from; at + 8 <= to;) {
            const std::size_t size = read_u32(d, at + 4);
            if (size > to - at - 8) break;
            visit(at, size);
            at += 8 + size + (size & 1);
        }
    };
    walk(24, hdrl_end, [&](std::size_t at, std::size_t size) {
        if (is_fourcc(d, at, "avih") && size >= 32) fields.push_back(at + 8 + 28);
        if (!is_fourcc(d, at, "LIST") || size < 4 || !is_fourcc(d, at + 8, "strl")) return;
        walk(at + 12, at + 8 + size, [&](std::size_t s_at, std::size_t s_size) {
            if (is_fourcc(d, s_at, "strh") && s_size >= 40 && is_fourcc(d, s_at + 8, "vids"))
                fields.push_back(s_at + 8 + 36);
        });
    });
    return fields;
}

bool write_all_at(int fd, const std::uint8_t* bytes, std::size_t size, std::int64_t at);

// The muxer sizes the suggested read buffer by the largest compressed chunk
// (the stream) or a fixed megabyte (the file); a reader is told instead the
// size of one uncompressed 24-bit frame, which holds any frame of the file.
// Only a hint for readers: a file whose headers cannot be rewritten stays as
// the muxer finished it.
void set_suggested_buffer_size(int fd, std::uint32_t bytes) {
    std::vector<char> head(64 * 1024);
    ssize_t n = -1;
    do {
        n = ::pread(fd, head.data(), head.size(), 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return;
    head.resize(static_cast<std::size_t>(n));
    const std::uint8_t le[4] = {
        static_cast<std::uint8_t>(bytes & 0xFF), static_cast<std::uint8_t>(bytes >> 8 & 0xFF),
        static_cast<std::uint8_t>(bytes >> 16 & 0xFF), static_cast<std::uint8_t>(bytes >> 24 & 0xFF)};
    for (const std::size_t at : suggested_buffer_fields(head))
        [[maybe_unused]] const bool written = write_all_at(fd, le, 4, static_cast<std::int64_t>(at));
}

#if LIBAVFORMAT_VERSION_MAJOR >= 61
using AvioBytes = const std::uint8_t*;
#else
using AvioBytes = std::uint8_t*;
#endif

// Writes all of `size` bytes at `at`. False with errno set on failure.
bool write_all_at(int fd, const std::uint8_t* bytes, std::size_t size, std::int64_t at) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, bytes, size, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
        at += n;
    }
    return true;
}

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// Bytes that finishing a file of `frames` frames may add past its logical
// end: the legacy index (16 bytes a frame), the OpenDML standard indexes
// (8 bytes a frame) and the headers of further RIFF lists, with room to spare.
std::int64_t closing_reserve(std::int64_t frames) {
    return 4096 + 32 * frames;
}

// The file under the muxer: a descriptor written with pwrite at a position
// of our own, so that the logical end (the muxer's furthest byte), the size
// the file is grown to and a frame written ahead of the muxer are ours to
// know. See the comment at the top.
struct AviSink {
    int fd = -1;
    std::int64_t pos = 0;      // where the muxer writes next
    std::int64_t end = 0;      // logical end: the furthest byte the muxer wrote
    std::int64_t reserved = 0; // size of the file on disk, end <= reserved mostly
    std::int64_t staged_at = -1;
    std::vector<std::uint8_t> staged; // chunk already on disk at staged_at

    static int write(void* opaque, AvioBytes buf, int size) {
        auto& s = *static_cast<AviSink*>(opaque);
        const auto n = static_cast<std::size_t>(size);
        const bool ahead = s.staged_at >= 0 && s.pos >= s.staged_at &&
                           s.pos + size <= s.staged_at + static_cast<std::int64_t>(s.staged.size()) &&
                           std::memcmp(s.staged.data() + (s.pos - s.staged_at), buf, n) == 0;
        if (!ahead && !write_all_at(s.fd, buf, n, s.pos)) return AVERROR(errno);
        s.pos += size;
        s.end = std::max(s.end, s.pos);
        s.reserved = std::max(s.reserved, s.end);
        return size;
    }

    static std::int64_t seek(void* opaque, std::int64_t offset, int whence) {
        auto& s = *static_cast<AviSink*>(opaque);
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return s.end;
        case SEEK_SET:
            break;
        case SEEK_CUR:
            offset += s.pos;
            break;
        case SEEK_END:
            offset += s.end;
            break;
        default:
            return AVERROR(EINVAL);
        }
        if (offset < 0) return AVERROR(EINVAL);
        s.pos = offset;
        return offset;
    }

    // Grows the file to at least `size` bytes on disk. False when there is
    // no room (full disk, quota, file-size limit); the file is then cut back
    // to what it was. A file system that cannot set room aside at all is let
    // be: the frames are still written ahead, only closing is not assured.
    bool reserve(std::int64_t size) {
        if (size <= reserved) return true;
        const int rc =
            ::posix_fallocate(fd, static_cast<off_t>(reserved), static_cast<off_t>(size - reserved));
        if (rc == 0) {
            reserved = size;
            return true;
        }
        // A failed allocation may have grown the file part of the way.
        [[maybe_unused]] const int cut = ::ftruncate(fd, static_cast<off_t>(reserved));
        return rc != ENOSPC && rc != EFBIG && rc != EDQUOT;
    }

    // Writes `chunk` at `at` ahead of the muxer (which must then write the
    // same bytes there). False when it could not be written; the file's
    // logical contents are unchanged either way.
    bool stage(std::vector<std::uint8_t> chunk, std::int64_t at) {
        staged_at = -1;
        if (!write_all_at(fd, chunk.data(), chunk.size(), at)) return false;
        staged = std::move(chunk);
        staged_at = at;
        return true;
    }
    void unstage() {
        staged_at = -1;
        staged.clear();
    }
};

// `error`: the writer's own message when it was the one that failed.
std::string cannot_finish_message(const std::string& path, const std::string& error) {
    std::string message = "Cannot finish AVI file " + path + ". Disk full or file in use?";
    if (!error.empty()) message += "\n" + error;
    return message;
}

} // namespace

struct AviRecorder::Impl {
    int width = 320;
    int height = 200;
    std::uint8_t fps = 25;
    std::string filename;
    bool named_while_recording = true;
    std::int64_t frames = 0;

    // The open file; `format` is non-null exactly while recording. The file
    // is new and takes the place of `open_path` only when it is finished.
    std::string open_path;
    std::unique_ptr<OutputFile> out;
    AviSink sink;
    AVFormatContext* format = nullptr;
    AVStream* stream = nullptr; // owned by format
    AVCodecContext* codec = nullptr;
    AVFrame* frame = nullptr; // RGB555 frame of the file's size, reused
    AVPacket* packet = nullptr;
    SwsContext* sws = nullptr;
    std::vector<std::uint8_t> padded; // picture padded to the frame size when smaller

    bool recording() const { return format != nullptr; }

    // Frees everything of the open file; a file not committed by then goes.
    void release() {
        if (format) {
            if (format->pb) {
                av_freep(&format->pb->buffer);
                avio_context_free(&format->pb);
            }
            avformat_free_context(format);
            format = nullptr;
        }
        out.reset();
        sink = AviSink{};
        stream = nullptr;
        avcodec_free_context(&codec);
        av_frame_free(&frame);
        av_packet_free(&packet);
        sws_freeContext(sws);
        sws = nullptr;
        padded.clear();
        padded.shrink_to_fit();
    }

    // Releases a half-created file (which goes) and throws.
    [[noreturn]] void abandon_create(const std::string& message) {
        release();
        open_path.clear();
        throw AviError(message);
    }

    // The muxer's output over the open file. False on failure.
    bool open_output(AVFormatContext* fmt) {
        constexpr int kBufferSize = 64 * 1024;
        auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
        if (!buffer) return false;
        fmt->pb = avio_alloc_context(buffer, kBufferSize, 1, &sink, nullptr, &AviSink::write, &AviSink::seek);
        if (!fmt->pb) {
            av_free(buffer);
            return false;
        }
        return true;
    }

    // Hands one encoded packet to the muxer after its chunk is safely on
    // disk (see the top of this file). Returns 0, or -1 when the frame could
    // not be written and nothing changed, or -2 when the muxer failed and the
    // open file cannot take more frames.
    int write_packet_safely() {
        AVIOContext* pb = format->pb;
        avio_flush(pb);
        if (pb->error < 0) return -2;
        const auto size = static_cast<std::uint32_t>(packet->size);
        std::vector<std::uint8_t> chunk;
        chunk.reserve(8 + size + 1);
        // The muxer's chunk of a video packet of stream 0: "00dc", size, data, pad to even.
        for (const char c : {'0', '0', 'd', 'c'})
            chunk.push_back(static_cast<std::uint8_t>(c));
        put_u32(chunk, size);
        chunk.insert(chunk.end(), packet->data, packet->data + size);
        if (size & 1) chunk.push_back(0);

        const std::int64_t at = sink.pos;
        const std::int64_t needed =
            at + static_cast<std::int64_t>(chunk.size()) + closing_reserve(frames + 1);
        if (!sink.reserve(needed) || !sink.stage(std::move(chunk), at)) return -1;
        const int rc = av_write_frame(format, packet);
        avio_flush(pb);
        sink.unstage();
        return rc < 0 || pb->error < 0 ? -2 : 0;
    }

    // Hands every packet the encoder has ready to the muxer, as above.
    int write_pending_packets() {
        for (;;) {
            const int rc = avcodec_receive_packet(codec, packet);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return 0;
            if (rc < 0) return -1;
            packet->stream_index = stream->index;
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            const int wrc = write_packet_safely();
            av_packet_unref(packet);
            if (wrc < 0) return wrc;
        }
    }

    // Writes the trailer, cuts off the unused reserve, puts the file in
    // place of any older one and lets go of everything. False when the file
    // could not be finished (it is then removed, and an older file of its
    // name stays); `error` then says why when the writer knows.
    bool finish(std::string& error) {
        // One 24-bit frame, rows padded to 4 bytes (the width is a multiple of 8, so they need none).
        const auto frame_bytes = static_cast<std::uint32_t>(std::int64_t{codec->width} * codec->height * 3);
        // msvideo1 holds no frames back; draining is still the encoder protocol.
        bool ok = avcodec_send_frame(codec, nullptr) >= 0 && write_pending_packets() == 0;
        ok = av_write_trailer(format) >= 0 && ok;
        avio_flush(format->pb);
        ok = format->pb->error >= 0 && ok;
        ok = ::ftruncate(sink.fd, static_cast<off_t>(sink.end)) == 0 && ok;
        if (ok) {
            set_suggested_buffer_size(sink.fd, frame_bytes);
            try {
                out->commit();
            } catch (const OutputError& e) {
                error = e.what();
                ok = false;
            }
        }
        release();
        return ok;
    }
};

AviRecorder::AviRecorder() : impl_(std::make_unique<Impl>()) {
    quiet_ffmpeg_once();
}

AviRecorder::~AviRecorder() {
    try {
        close();
    } catch (...) {
        // Nothing to report to at destruction; close() has released everything.
    }
}

int AviRecorder::width() const {
    return impl_->width;
}
int AviRecorder::height() const {
    return impl_->height;
}

void AviRecorder::set_width(int value) {
    if (!impl_->recording()) round_frame_size(value, impl_->width);
}

void AviRecorder::set_height(int value) {
    if (!impl_->recording()) round_frame_size(value, impl_->height);
}

int AviRecorder::fps() const {
    return impl_->fps;
}
void AviRecorder::set_fps(int value) {
    impl_->fps = static_cast<std::uint8_t>(value);
}

const std::string& AviRecorder::filename() const {
    return impl_->filename;
}
void AviRecorder::set_filename(std::string name) {
    impl_->filename = std::move(name);
}

bool AviRecorder::named_while_recording() const {
    return impl_->named_while_recording;
}
void AviRecorder::set_named_while_recording(bool named) {
    impl_->named_while_recording = named;
}

bool AviRecorder::is_recording() const {
    return impl_->recording();
}
std::int64_t AviRecorder::frame_count() const {
    return impl_->frames;
}

void AviRecorder::create(const ConfirmOverwrite& confirm) {
    Impl& m = *impl_;
    if (m.recording()) close();
    if (m.fps == 0) throw AviError(kAviZeroFps);

    const std::string path = m.filename;
    const auto cannot_create = [](const OutputError& e) {
        return AviError(std::string(kAviCannotCreateFile) + "\n" + e.what());
    };
    // A failure of the container itself (a full disk while the headers are
    // written) names the file as a refused target does.
    const std::string cannot_create_file =
        std::string(kAviCannotCreateFile) + "\nFile: '" + escape_control_bytes(path) + "'";
    std::error_code ec;
    const fs::file_status existing = fs::symlink_status(path, ec);
    if (!ec && fs::exists(existing)) {
        // Something that may not be replaced (a FIFO, a device, a read-only
        // file) is refused before the question.
        try {
            check_replaceable(path);
        } catch (const OutputError& e) {
            throw cannot_create(e);
        }
        if (!confirm || !confirm("Overwrite file " + path + "?")) throw AviError(kAviNotCreated);
        // The old file is replaced only when the new one is finished.
    }

    m.open_path = path;
    // A new file beside the target, written through our own output: a name
    // such as "a:b.avi" or "http:x.avi" is a file name, never a protocol.
    try {
        m.out = std::make_unique<OutputFile>(path);
    } catch (const OutputError& e) {
        m.open_path.clear();
        throw cannot_create(e);
    }
    m.sink.fd = m.out->fd();
    AVFormatContext* format = nullptr;
    if (avformat_alloc_output_context2(&format, nullptr, "avi", nullptr) < 0 || !format)
        m.abandon_create(cannot_create_file);
    m.format = format;
    if (!m.open_output(format)) m.abandon_create(cannot_create_file);

    m.stream = avformat_new_stream(format, nullptr);
    if (!m.stream) m.abandon_create(kAviCannotCreateStream);

    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_MSVIDEO1);
    if (!encoder) m.abandon_create(std::string(kAviCannotCompress) + kAviNoCompressor);
    m.codec = avcodec_alloc_context3(encoder);
    if (!m.codec) m.abandon_create(kAviCannotCompress);
    m.codec->width = m.width;
    m.codec->height = m.height;
    m.codec->pix_fmt = AV_PIX_FMT_RGB555;
    m.codec->time_base = AVRational{1, m.fps};
    m.codec->framerate = AVRational{m.fps, 1};
    // The encoder makes a key frame whenever its count of frames since the
    // last key frame reaches keyint_min; 0 makes every frame a key frame.
    m.codec->keyint_min = 0;
    m.codec->gop_size = 1;
    if (avcodec_open2(m.codec, encoder, nullptr) < 0) m.abandon_create(kAviCannotCompress);

    m.frame = av_frame_alloc();
    m.packet = av_packet_alloc();
    if (!m.frame || !m.packet) m.abandon_create(kAviCannotCompress);
    m.frame->format = AV_PIX_FMT_RGB555;
    m.frame->width = m.width;
    m.frame->height = m.height;
    if (av_frame_get_buffer(m.frame, 0) < 0) m.abandon_create(kAviCannotCompress);

    if (avcodec_parameters_from_context(m.stream->codecpar, m.codec) < 0)
        m.abandon_create(kAviSetFormatError);
    m.stream->codecpar->codec_tag = MKTAG('M', 'S', 'V', 'C');
    m.stream->time_base = m.codec->time_base;
    m.stream->avg_frame_rate = m.codec->framerate;
    m.stream->r_frame_rate = m.codec->framerate;

    const int rc = avformat_write_header(format, nullptr);
    avio_flush(format->pb);
    // The room to finish a file without frames, so that it can always be finished.
    if (format->pb->error < 0 || !m.sink.reserve(m.sink.end + closing_reserve(0)))
        m.abandon_create(cannot_create_file);
    if (rc < 0) m.abandon_create(kAviSetFormatError);
    if (m.named_while_recording) {
        try {
            m.out->publish();
        } catch (const OutputError& e) {
            m.abandon_create(cannot_create(e).what());
        }
    }
    m.frames = 0;
}

void AviRecorder::add_frame(const FramePicture& picture) {
    Impl& m = *impl_;
    if (!m.recording()) throw AviError(kAviNotCreated);

    const std::ptrdiff_t row_bytes = static_cast<std::ptrdiff_t>(picture.width) * 4;
    const std::ptrdiff_t stride = picture.stride == 0 ? row_bytes : picture.stride;
    if (!picture.data || picture.width <= 0 || picture.height <= 0 || stride < row_bytes || stride > INT_MAX)
        throw AviError(kAviAddFrameError);

    // First byte of the picture's top row and the step to the row below it.
    const std::uint8_t* top = picture.bottom_up ? picture.data + (picture.height - 1) * stride : picture.data;
    const std::ptrdiff_t down = picture.bottom_up ? -stride : stride;

    const int fw = m.codec->width;
    const int fh = m.codec->height;
    const std::uint8_t* src = top;
    std::ptrdiff_t src_step = down;
    if (picture.width < fw || picture.height < fh) {
        m.padded.assign(static_cast<std::size_t>(fw) * fh * 4, 0);
        const int cw = std::min(fw, picture.width);
        const int ch = std::min(fh, picture.height);
        for (int y = 0; y < ch; ++y)
            std::memcpy(m.padded.data() + static_cast<std::size_t>(y) * fw * 4, top + y * down,
                        static_cast<std::size_t>(cw) * 4);
        src = m.padded.data();
        src_step = static_cast<std::ptrdiff_t>(fw) * 4;
    }

    // The "0" formats: the fourth byte is padding, so alpha never blends in.
    const AVPixelFormat src_format = picture.layout == PixelLayout::Rgba ? AV_PIX_FMT_RGB0 : AV_PIX_FMT_BGR0;
    m.sws = sws_getCachedContext(m.sws, fw, fh, src_format, fw, fh, AV_PIX_FMT_RGB555, SWS_POINT, nullptr,
                                 nullptr, nullptr);
    if (!m.sws || av_frame_make_writable(m.frame) < 0) throw AviError(kAviAddFrameError);
    const std::uint8_t* const planes[4] = {src, nullptr, nullptr, nullptr};
    const int strides[4] = {static_cast<int>(src_step), 0, 0, 0};
    if (sws_scale(m.sws, planes, strides, 0, fh, m.frame->data, m.frame->linesize) != fh)
        throw AviError(kAviAddFrameError);

    m.frame->pts = m.frames;
    if (avcodec_send_frame(m.codec, m.frame) < 0) throw AviError(kAviAddFrameError);
    const int rc = m.write_pending_packets();
    if (rc == -1) throw AviError(kAviAddFrameError);
    if (rc < 0) {
        // The muxer itself failed, after the frame was on disk: it cannot take
        // more frames, so the file is finished with what the muxer holds (the
        // error cleared, the reserve for the closing bytes is there).
        m.format->pb->error = 0;
        std::string error;
        const bool finished = m.finish(error);
        const std::string path = std::exchange(m.open_path, {});
        if (!finished)
            throw AviError(kAviAddFrameError + std::string("\n") + cannot_finish_message(path, error));
        throw AviError(kAviAddFrameError + std::string("\n") + kAviFinishedEarly + path + ".");
    }
    ++m.frames;
}

void AviRecorder::close() {
    Impl& m = *impl_;
    if (!m.recording()) return;
    std::string error;
    const bool ok = m.finish(error);
    const std::string path = std::exchange(m.open_path, {});
    if (!ok) throw AviError(cannot_finish_message(path, error));
}

void AviRecorder::discard() noexcept {
    Impl& m = *impl_;
    if (!m.recording()) return;
    if (m.named_while_recording) {
        std::string error;
        m.finish(error);
    }
    m.release();
    m.open_path.clear();
}

} // namespace orv
