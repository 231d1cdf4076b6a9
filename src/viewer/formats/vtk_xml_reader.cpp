// VTK XML readers.
//
// A file is read in two parts. Its XML head (the whole file, or everything up
// to the start tag of AppendedData) goes through the XML parser, which only
// notes where each element's content lies. Each DataArray is then decoded
// from that content (ascii numbers, base64) or from the appended section,
// which is read from the file by offset in blocks and never copied whole.
//
// A binary block is a header of UInt32 or UInt64 words and the data. An
// uncompressed header holds the data's byte count; a compressed one holds
// the block count, the block size, the size of a partial last block (0: full)
// and each block's compressed size. Every size is checked against what the
// array must hold and what the file can supply before anything is allocated.

#include "viewer/formats/vtk_xml_reader.h"

#include "viewer/formats/import_cursor.h"
#include "viewer/formats/xml_tree.h"

#include <libdeflate.h>
#include <lz4.h>
#include <lzma.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace orv {
namespace {

// Largest ratio of data to compressed bytes trusted from a header (deflate
// cannot do better than about 1032:1; LZ4 and LZMA are held to the same).
constexpr std::uint64_t kMaxRatio = 1100;
constexpr std::size_t kBlock = 1u << 20;
constexpr std::uint64_t kMaxCount = std::uint64_t(1) << 40;

using input::base_name; // the one helper of every reader

std::string folder_of(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string quoted(const std::string& s) {
    return "\"" + s + "\"";
}

// The 1-based line of `pos` in `text`, bytes of `file`; the lines counted
// are work of the read.
long line_of(const input::Input& file, std::string_view text, std::size_t pos) {
    file.scanned(pos);
    return line_at(text, pos);
}

// The XML head of a file and where its appended data begins.
struct Head {
    std::string text;
    bool appended = false;
    std::uint64_t appended_begin = 0; // first byte after the '_' marker
};

Head load_head(const input::Input& file) {
    static constexpr std::string_view kTag = "<AppendedData";
    Head h;
    std::uint64_t at = 0;
    std::size_t tag = std::string::npos;
    while (at < file.size()) {
        const std::size_t old = h.text.size();
        // A head past a few MiB holds its data inline and is most of the
        // file: room for the rest at once, instead of growing by doubling,
        // each time copying and faulting in everything read so far.
        if (old == 4 * kBlock && tag == std::string::npos && file.size() < h.text.max_size() - kBlock)
            h.text.reserve(static_cast<std::size_t>(file.size()) + kBlock);
        h.text.resize(old + kBlock);
        const std::size_t got = file.read(at, kBlock, h.text.data() + old);
        h.text.resize(old + got);
        at += got;
        if (got == 0) break;
        if (tag == std::string::npos) tag = h.text.find(kTag, old >= kTag.size() ? old - kTag.size() : 0);
        if (tag != std::string::npos && h.text.find('>', tag) != std::string::npos) break;
    }
    if (tag == std::string::npos) return h;
    const std::size_t close = h.text.find('>', tag);
    if (close == std::string::npos) return h; // the parser reports the cut tag
    std::size_t p = close + 1;
    while (p < h.text.size() && std::strchr(" \t\r\n", h.text[p]) && h.text[p] != '\0')
        ++p;
    if (p >= h.text.size() || h.text[p] != '_')
        throw ReadError("Expected '_' before the appended data at line " +
                        std::to_string(line_of(file, h.text, p)) + " of " + file.name());
    h.appended = true;
    h.appended_begin = p + 1;
    h.text.resize(close + 1);
    return h;
}

// ---- numeric types --------------------------------------------------------

enum class Kind { int_signed, int_unsigned, real };

struct Scalar {
    Kind kind = Kind::real;
    int size = 0; // 0: not a numeric type
};

Scalar scalar_of(const std::string& t) {
    static const std::map<std::string, Scalar, std::less<>> types = {
        {"Int8", {Kind::int_signed, 1}},  {"UInt8", {Kind::int_unsigned, 1}},
        {"Int16", {Kind::int_signed, 2}}, {"UInt16", {Kind::int_unsigned, 2}},
        {"Int32", {Kind::int_signed, 4}}, {"UInt32", {Kind::int_unsigned, 4}},
        {"Int64", {Kind::int_signed, 8}}, {"UInt64", {Kind::int_unsigned, 8}},
        {"Float32", {Kind::real, 4}},     {"Float64", {Kind::real, 8}},
        {"Char", {Kind::int_signed, 1}},  {"UChar", {Kind::int_unsigned, 1}},
        {"Short", {Kind::int_signed, 2}}, {"UShort", {Kind::int_unsigned, 2}},
        {"Int", {Kind::int_signed, 4}},   {"UInt", {Kind::int_unsigned, 4}},
        {"Long", {Kind::int_signed, 8}},  {"ULong", {Kind::int_unsigned, 8}},
        {"Float", {Kind::real, 4}},       {"Double", {Kind::real, 8}},
    };
    const auto it = types.find(t);
    return it == types.end() ? Scalar{} : it->second;
}

template <class T> T to_target(double v) {
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(v);
    } else {
        // Indices and types: anything not a representable integer becomes -1,
        // which every index check refuses.
        if (!(v >= -9.2e18 && v <= 9.2e18) || v != std::floor(v)) return -1;
        return static_cast<T>(v);
    }
}

template <class T> T to_target_u(std::uint64_t v) {
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(v);
    } else {
        return v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) ? -1
                                                                                        : static_cast<T>(v);
    }
}

// One element of `s` in file byte order at `p`.
template <class T> T element(const unsigned char* p, Scalar s, bool swap) {
    unsigned char b[8];
    if (swap) {
        for (int i = 0; i < s.size; ++i)
            b[i] = p[s.size - 1 - i];
    } else {
        std::memcpy(b, p, static_cast<std::size_t>(s.size));
    }
    switch (s.kind) {
    case Kind::real:
        if (s.size == 4) {
            float f;
            std::memcpy(&f, b, 4);
            return to_target<T>(f);
        } else {
            double d;
            std::memcpy(&d, b, 8);
            return to_target<T>(d);
        }
    case Kind::int_signed: {
        std::int64_t v = 0;
        switch (s.size) {
        case 1:
            v = static_cast<std::int8_t>(b[0]);
            break;
        case 2: {
            std::int16_t x;
            std::memcpy(&x, b, 2);
            v = x;
            break;
        }
        case 4: {
            std::int32_t x;
            std::memcpy(&x, b, 4);
            v = x;
            break;
        }
        default:
            std::memcpy(&v, b, 8);
            break;
        }
        return static_cast<T>(v);
    }
    case Kind::int_unsigned: {
        std::uint64_t v = 0;
        switch (s.size) {
        case 1:
            v = b[0];
            break;
        case 2: {
            std::uint16_t x;
            std::memcpy(&x, b, 2);
            v = x;
            break;
        }
        case 4: {
            std::uint32_t x;
            std::memcpy(&x, b, 4);
            v = x;
            break;
        }
        default:
            std::memcpy(&v, b, 8);
            break;
        }
        return to_target_u<T>(v);
    }
    }
    return T{};
}

// Turns a stream of file bytes, in pieces of any size, into values.
template <class T> class Converter {
  public:
    Converter(T* dst, std::size_t count, Scalar s, bool swap)
        : dst_(dst), count_(count), s_(s), swap_(swap) {}

    void push(const char* p, std::size_t n) {
        const auto* u = reinterpret_cast<const unsigned char*>(p);
        const auto size = static_cast<std::size_t>(s_.size);
        while (n > 0 && carried_ > 0) {
            carry_[carried_++] = *u++;
            --n;
            if (carried_ == size) {
                put(element<T>(carry_, s_, swap_));
                carried_ = 0;
            }
        }
        while (n >= size && done_ < count_) {
            put(element<T>(u, s_, swap_));
            u += size;
            n -= size;
        }
        while (n > 0 && done_ < count_) {
            carry_[carried_++] = *u++;
            --n;
        }
    }

  private:
    void put(T v) {
        if (done_ < count_) dst_[done_++] = v;
    }
    T* dst_;
    std::size_t count_;
    std::size_t done_ = 0;
    Scalar s_;
    bool swap_;
    unsigned char carry_[8] = {};
    std::size_t carried_ = 0;
};

// ---- byte streams of a binary block ----------------------------------------

class Stream {
  public:
    virtual ~Stream() = default;
    // Reads up to n bytes; fewer only where the data ends.
    virtual std::size_t read(char* dst, std::size_t n) = 0;
    // Where the next byte comes from: mark() is cheap, and only a message
    // turns it into words (a line number costs a pass from the start, which
    // done for every block made reading inline data quadratic).
    virtual std::uint64_t mark() const = 0;
    virtual std::string where_at(std::uint64_t mark) const = 0;
    std::string where() const { return where_at(mark()); }
};

class FileStream final : public Stream {
  public:
    FileStream(const input::Input& file, std::uint64_t pos) : file_(file), pos_(pos) {}
    std::size_t read(char* dst, std::size_t n) override {
        const std::size_t got = file_.read(pos_, n, dst);
        pos_ += got;
        return got;
    }
    std::uint64_t mark() const override { return pos_; }
    std::string where_at(std::uint64_t mark) const override {
        return "at byte offset " + std::to_string(mark) + " of " + file_.name();
    }
    std::uint64_t left() const { return file_.size() > pos_ ? file_.size() - pos_ : 0; }

  private:
    const input::Input& file_;
    std::uint64_t pos_;
};

// Base64 text, whitespace skipped; '=' ends a group, and a new encoding may
// follow it (VTK encodes a compressed block's header apart from its data).
class Base64Stream final : public Stream {
  public:
    Base64Stream(std::string_view text, std::size_t begin, std::size_t end, std::uint64_t base,
                 const input::Input& file, bool lines)
        : text_(text), p_(begin), end_(end), base_(base), file_(file), lines_(lines) {}

    std::size_t read(char* dst, std::size_t n) override {
        std::size_t done = 0;
        while (done < n) {
            if (have_ == used_) {
                // Whole groups of four plain characters straight into dst;
                // anything else (blanks, '=', the end) through group().
                while (n - done >= 3 && end_ - p_ >= 4) {
                    const auto* q = reinterpret_cast<const unsigned char*>(text_.data() + p_);
                    const int a = kValue[q[0]], b = kValue[q[1]], c = kValue[q[2]], d = kValue[q[3]];
                    if ((a | b | c | d) < 0) break;
                    const auto w = static_cast<std::uint32_t>((a << 18) | (b << 12) | (c << 6) | d);
                    dst[done] = static_cast<char>(w >> 16);
                    dst[done + 1] = static_cast<char>(w >> 8);
                    dst[done + 2] = static_cast<char>(w);
                    done += 3;
                    p_ += 4;
                }
                if (done == n || !group()) break;
            }
            while (done < n && used_ < have_)
                dst[done++] = static_cast<char>(bytes_[used_++]);
        }
        return done;
    }
    std::uint64_t mark() const override { return p_; }
    std::string where_at(std::uint64_t mark) const override {
        const auto p = static_cast<std::size_t>(mark);
        if (lines_) return "at line " + std::to_string(line_of(file_, text_, p)) + " of " + file_.name();
        return "at byte offset " + std::to_string(base_ + p) + " of " + file_.name();
    }

  private:
    // The 64 characters' values; -1 for every other byte, '=' included.
    static constexpr std::array<std::int8_t, 256> kValue = [] {
        std::array<std::int8_t, 256> t{};
        t.fill(-1);
        for (int k = 0; k < 26; ++k) {
            t[static_cast<std::size_t>('A' + k)] = static_cast<std::int8_t>(k);
            t[static_cast<std::size_t>('a' + k)] = static_cast<std::int8_t>(26 + k);
        }
        for (int k = 0; k < 10; ++k)
            t[static_cast<std::size_t>('0' + k)] = static_cast<std::int8_t>(52 + k);
        t['+'] = 62;
        t['/'] = 63;
        return t;
    }();

    static int value(unsigned char c) {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        if (c == '=') return 64;
        return -1;
    }
    bool group() {
        int v[4];
        int k = 0;
        while (k < 4) {
            while (p_ < end_ && std::strchr(" \t\r\n", text_[p_]) && text_[p_] != '\0')
                ++p_;
            if (p_ >= end_) break;
            const int x = value(static_cast<unsigned char>(text_[p_]));
            if (x < 0) {
                if (k == 0) {
                    end_ = p_; // the base64 text ends here (end of the appended section)
                    return false;
                }
                throw ReadError("Invalid base64 data " + where());
            }
            ++p_;
            v[k++] = x;
        }
        if (k == 0) return false;
        if (k < 4 || v[0] == 64 || v[1] == 64 || (v[2] == 64 && v[3] != 64))
            throw ReadError("Invalid base64 data " + where());
        const std::uint32_t w = (std::uint32_t(v[0]) << 18) | (std::uint32_t(v[1]) << 12) |
                                (std::uint32_t(v[2] & 63) << 6) | std::uint32_t(v[3] & 63);
        bytes_[0] = static_cast<unsigned char>(w >> 16);
        bytes_[1] = static_cast<unsigned char>(w >> 8);
        bytes_[2] = static_cast<unsigned char>(w);
        have_ = v[2] == 64 ? 1 : v[3] == 64 ? 2 : 3;
        used_ = 0;
        return true;
    }

    std::string_view text_;
    std::size_t p_, end_;
    std::uint64_t base_;
    const input::Input& file_;
    bool lines_;
    unsigned char bytes_[3] = {};
    std::size_t have_ = 0, used_ = 0;
};

// ---- the arrays of one file --------------------------------------------------

enum class Compressor { none, zlib, lz4, lzma };

class ArrayReader {
  public:
    ArrayReader(const input::Input& file, const Head& head, const XmlTree& tree,
                std::vector<std::string>& warnings, const ReaderOptions& options)
        : file_(file), head_(head), tree_(tree), warnings_(warnings), progress_(options.progress),
          threads_(options.threads > 0 ? options.threads : default_reader_threads()) {
        const XmlElement& root = tree.root();
        const std::string* header = root.attribute("header_type");
        if (!header || *header == "UInt32") {
            header_bytes_ = 4;
        } else if (*header == "UInt64") {
            header_bytes_ = 8;
        } else {
            fail(root, "header_type " + quoted(*header) + " (expected UInt32 or UInt64)");
        }
        if (const std::string* order = root.attribute("byte_order")) {
            if (*order != "LittleEndian" && *order != "BigEndian")
                fail(root, "byte_order " + quoted(*order) + " (expected LittleEndian or BigEndian)");
            const bool big_host = std::endian::native == std::endian::big;
            swap_ = (*order == "BigEndian") != big_host;
        }
        if (const std::string* c = root.attribute("compressor")) {
            if (*c == "vtkZLibDataCompressor") {
                compressor_ = Compressor::zlib;
            } else if (*c == "vtkLZ4DataCompressor") {
                compressor_ = Compressor::lz4;
            } else if (*c == "vtkLZMADataCompressor") {
                compressor_ = Compressor::lzma;
            } else if (!c->empty()) {
                fail(root,
                     "compressor " + quoted(*c) +
                         " (expected vtkZLibDataCompressor, vtkLZ4DataCompressor or vtkLZMADataCompressor)");
            }
        }
        if (head.appended) {
            const XmlElement* app = tree.child(root, "AppendedData");
            const std::string* enc = app ? app->attribute("encoding") : nullptr;
            if (!enc || *enc == "raw") {
                appended_base64_ = false;
            } else if (*enc == "base64") {
                appended_base64_ = true;
            } else {
                fail(*app, "encoding " + quoted(*enc) + " (expected raw or base64)");
            }
        }
        // The most any array may hold: what the file can justify, and memory.
        limit_ = options.memory_limit ? options.memory_limit : input::machine_memory();
        budget_ = std::min(limit_, std::max<std::uint64_t>(file.size(), 64) * kMaxRatio);
    }

    [[noreturn]] void fail(const XmlElement& e, const std::string& what) const {
        throw ReadError("Unexpected " + what + " at line " + std::to_string(e.line) + " of " + file_.name());
    }
    [[noreturn]] void fail_at(const std::string& what, const std::string& where) const {
        throw ReadError(what + " " + where);
    }

    const std::string& name() const { return file_.name(); }
    std::uint64_t budget() const { return budget_; }

    // `count` values of the DataArray `e`, converted to T, in the
    // hand-over's own zeroed arrays.
    template <class T> using Values = ZeroedVector<T>;

    template <class T> Values<T> read(const XmlElement& e, std::uint64_t count) {
        const std::string label = array_label(e);
        const Scalar s = scalar_of(attr_or(e, "type", ""));
        if (s.size == 0)
            fail(e, "type " + quoted(attr_or(e, "type", "")) + " of " + label + " (expected a numeric type)");
        if (count > kMaxCount || count * sizeof(T) > budget_ || count * std::uint64_t(s.size) > budget_)
            fail(e,
                 std::to_string(count) + " values in " + label + ", more than " + file_.name() + " can hold");
        // The arrays of the whole read together, against the one budget.
        needed_ += count * sizeof(T);
        if (needed_ > limit_)
            throw ReadError("Not enough memory to read " + file_.name() + ": " + label + " at line " +
                            std::to_string(e.line) + " brings the arrays read to " + input::mib(needed_) +
                            "; only " + input::mib(limit_) + " are available");
        Values<T> out(static_cast<std::size_t>(count));
        const std::string format = attr_or(e, "format", "ascii");
        if (format == "ascii") {
            read_ascii(e, label, s, out);
            advance(e.content_end - e.content_begin);
        } else if (format == "binary") {
            Base64Stream in(head_.text, e.content_begin, e.content_end, 0, file_, true);
            read_block(in, label, s, out);
        } else if (format == "appended") {
            if (!head_.appended)
                fail(e, "format=\"appended\" of " + label + " (the file has no AppendedData)");
            const std::uint64_t offset = parse_count(e, "offset");
            if (appended_base64_) {
                load_appended_text();
                if (offset > appended_text_.size())
                    fail(e, "offset " + std::to_string(offset) + " of " + label + ", past the appended data");
                Base64Stream in(appended_text_, static_cast<std::size_t>(offset), appended_text_.size(),
                                head_.appended_begin, file_, false);
                read_block(in, label, s, out);
            } else {
                if (offset > file_.size() - std::min(file_.size(), head_.appended_begin))
                    fail(e,
                         "offset " + std::to_string(offset) + " of " + label + ", past the end of the file");
                FileStream in(file_, head_.appended_begin + offset);
                read_block(in, label, s, out);
            }
        } else {
            fail(e, "format " + quoted(format) + " of " + label + " (expected ascii, binary or appended)");
        }
        return out;
    }

    // True when `count` values of `e` are raw appended bytes, uncompressed,
    // whose block header gives their size and which the file holds whole:
    // then reading them can meet no fault, and a first pass may leave them
    // in the file without reading them.
    bool raw_and_whole(const XmlElement& e, std::uint64_t count) const {
        const Scalar s = scalar_of(attr_or(e, "type", ""));
        if (s.size == 0 || attr_or(e, "format", "") != "appended" || !head_.appended || appended_base64_ ||
            compressor_ != Compressor::none || count > kMaxCount)
            return false;
        const std::string* v = e.attribute("offset");
        std::uint64_t offset = 0;
        if (!v || std::from_chars(v->data(), v->data() + v->size(), offset).ptr != v->data() + v->size())
            return false;
        const std::uint64_t at = head_.appended_begin + offset, bytes = count * std::uint64_t(s.size);
        unsigned char b[8] = {};
        if (at >= file_.size() ||
            file_.read(at, static_cast<std::size_t>(header_bytes_), reinterpret_cast<char*>(b)) !=
                static_cast<std::size_t>(header_bytes_))
            return false;
        return element<std::uint64_t>(b, Scalar{Kind::int_unsigned, header_bytes_}, swap_) == bytes &&
               bytes <= file_.size() - at - static_cast<std::uint64_t>(header_bytes_);
    }

    std::uint64_t parse_count(const XmlElement& e, const char* key,
                              std::optional<std::uint64_t> def = {}) const {
        const std::string* v = e.attribute(key);
        if (!v) {
            if (def) return *def;
            fail(e, e.name + " without " + key);
        }
        std::uint64_t n = 0;
        const auto [p, ec] = std::from_chars(v->data(), v->data() + v->size(), n);
        if (ec != std::errc() || p != v->data() + v->size() || n > kMaxCount)
            fail(e, std::string(key) + "=" + quoted(*v) + " (expected a count)");
        return n;
    }

    static std::string attr_or(const XmlElement& e, const char* key, const char* def) {
        const std::string* v = e.attribute(key);
        return v ? *v : std::string(def);
    }

    static std::string array_label(const XmlElement& e) {
        const std::string* n = e.attribute("Name");
        return n ? "DataArray " + quoted(*n) : std::string("DataArray");
    }

  private:
    // Reports the bytes of array data read so far; a callback that answers
    // false stops the read.
    void advance(std::uint64_t n) {
        read_bytes_ += n;
        if (progress_ && !progress_(std::min(read_bytes_, file_.size()), file_.size()))
            throw ReadCancelled("Reading " + file_.name() + " was cancelled");
    }

    void load_appended_text() {
        if (appended_loaded_) return;
        appended_loaded_ = true;
        const std::uint64_t n = file_.size() - std::min(file_.size(), head_.appended_begin);
        appended_text_.resize(static_cast<std::size_t>(n));
        appended_text_.resize(file_.read(head_.appended_begin, appended_text_.size(), appended_text_.data()));
    }

    template <class V> void read_ascii(const XmlElement& e, const std::string& label, Scalar s, V& out) {
        using T = typename V::value_type;
        const std::string_view text = head_.text;
        std::size_t p = e.content_begin;
        const std::size_t end = e.content_end;
        auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
        std::size_t k = 0;
        for (;; ++k) {
            while (p < end && space(text[p]))
                ++p;
            if (p >= end) break;
            std::size_t q = p;
            while (q < end && !space(text[q]))
                ++q;
            if (k >= out.size())
                fail_at("More values than expected in " + label + " (" + std::to_string(out.size()) + ")",
                        "at line " + std::to_string(line_of(file_, text, p)) + " of " + file_.name());
            const char* a = text.data() + p;
            const char* b = text.data() + q;
            bool ok = false;
            if (s.kind == Kind::real) {
                double v = 0; // the imported formats' one parser and rule for "nan", "inf"
                ok = import::parse_real(std::string_view(a, static_cast<std::size_t>(b - a)), v);
                out[k] = to_target<T>(v);
            } else if (s.kind == Kind::int_signed) {
                std::int64_t v = 0;
                if (*a == '+') ++a;
                const auto r = std::from_chars(a, b, v);
                ok = r.ec == std::errc() && r.ptr == b;
                out[k] = static_cast<T>(v);
            } else {
                std::uint64_t v = 0;
                if (*a == '+') ++a;
                const auto r = std::from_chars(a, b, v);
                ok = r.ec == std::errc() && r.ptr == b;
                out[k] = to_target_u<T>(v);
            }
            if (!ok)
                fail_at("Invalid number \"" + std::string(text.substr(p, std::min<std::size_t>(q - p, 40))) +
                            "\" in " + label,
                        "at line " + std::to_string(line_of(file_, text, p)) + " of " + file_.name());
            p = q;
        }
        if (k < out.size())
            fail_at(label + " holds " + std::to_string(k) + " values where " + std::to_string(out.size()) +
                        " were expected",
                    "at line " + std::to_string(line_of(file_, text, e.content_end)) + " of " + file_.name());
    }

    std::uint64_t header_word(Stream& in, const std::string& label) {
        const std::uint64_t where = in.mark();
        unsigned char b[8] = {};
        if (in.read(reinterpret_cast<char*>(b), static_cast<std::size_t>(header_bytes_)) !=
            static_cast<std::size_t>(header_bytes_))
            fail_at("The block header of " + label + " is cut short", in.where_at(where));
        return element<std::uint64_t>(b, Scalar{Kind::int_unsigned, header_bytes_}, swap_);
    }

    template <class V> void read_block(Stream& in, const std::string& label, Scalar s, V& out) {
        using T = typename V::value_type;
        const std::uint64_t bytes = out.size() * std::uint64_t(s.size);
        Converter<T> sink(out.data(), out.size(), s, swap_);
        std::vector<char> scratch;
        // The file's bytes are the array's own: read (or inflated) in place.
        const bool direct =
            s.size == int(sizeof(T)) && !swap_ &&
            ((s.kind == Kind::real) == std::is_floating_point_v<T>)&&s.kind != Kind::int_unsigned;
        if (compressor_ == Compressor::none) {
            const std::uint64_t where = in.mark();
            const std::uint64_t n = header_word(in, label);
            if (n != bytes)
                fail_at(label + " holds " + std::to_string(n) + " bytes where " + std::to_string(bytes) +
                            " were expected",
                        in.where_at(where));
            std::uint64_t done = 0;
            if (!direct) scratch.resize(static_cast<std::size_t>(std::min<std::uint64_t>(bytes, kBlock)));
            while (done < bytes) {
                const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(bytes - done, kBlock));
                std::size_t got;
                if (direct) {
                    got = in.read(reinterpret_cast<char*>(out.data()) + done, want);
                } else {
                    got = in.read(scratch.data(), want);
                    sink.push(scratch.data(), got);
                }
                done += got;
                advance(got);
                if (got < want) {
                    warnings_.push_back(file_.name() + " ends early: " + label + " has " +
                                        std::to_string(done) + " of its " + std::to_string(bytes) +
                                        " bytes; the rest read as 0.");
                    if (direct) std::memset(reinterpret_cast<char*>(out.data()) + done, 0, bytes - done);
                    break;
                }
            }
            return;
        }
        const std::uint64_t where = in.mark();
        const std::uint64_t blocks = header_word(in, label);
        const std::uint64_t block_size = header_word(in, label);
        const std::uint64_t last = header_word(in, label);
        // A full block may be larger than the whole array (VTK's 32 KiB blocks
        // hold small arrays in one partial block).
        const bool fits = blocks <= bytes + 1 && last <= block_size && (blocks <= 1 || block_size <= bytes);
        const std::uint64_t total =
            !fits || blocks == 0 ? 0 : (blocks - 1) * block_size + (last ? last : block_size);
        if (!fits || total != bytes)
            fail_at("Compressed " + label + ": its header (" + std::to_string(blocks) + " blocks of " +
                        std::to_string(block_size) + " bytes, last " + std::to_string(last) +
                        ") does not give the " + std::to_string(bytes) + " bytes expected",
                    in.where_at(where));
        std::vector<std::uint64_t> sizes(static_cast<std::size_t>(blocks));
        for (auto& c : sizes) {
            c = header_word(in, label);
            if (c > file_.size())
                fail_at("Compressed " + label + ": a block of " + std::to_string(c) +
                            " bytes, more than the file holds",
                        in.where_at(where));
        }
        // Blocks are independent: a wave of them is read in file order, then
        // decompressed on the reading threads, then handed on in order, so
        // that the first fault in file order is the one reported. Arrays
        // read in place are inflated straight into their place, so waves
        // only hold the packed bytes and may be larger.
        struct Block {
            std::vector<char> packed, plain;
            char* dest = nullptr; // in place: where the block's bytes go
            std::uint64_t want = 0;
            std::uint64_t at = 0; // the stream's mark() of the block
            std::string fault;    // found while the wave was read: reported in its turn
            bool inflated = false;
            std::exception_ptr failure; // of the decompressing thread (no memory), rethrown in its turn
        };
        const std::size_t kWaveBytes = (direct ? std::size_t{64} : std::size_t{8}) << 20;
        const std::size_t wave_blocks = threads_ > 1 ? (direct ? 1024 : 64) : 1;
        std::vector<Block> wave;
        for (std::size_t first = 0; first < sizes.size(); first += wave.size()) {
            wave.clear();
            std::uint64_t wave_bytes = 0;
            while (first + wave.size() < sizes.size() && wave.size() < wave_blocks &&
                   (wave.empty() || wave_bytes < kWaveBytes)) {
                const std::size_t i = first + wave.size();
                Block& b = wave.emplace_back();
                b.want = i + 1 == sizes.size() && last ? last : block_size;
                if (b.want > sizes[i] * kMaxRatio + 64) {
                    b.fault = "Compressed " + label + ": block " + std::to_string(i + 1) +
                              " claims a ratio beyond any compressor";
                    b.at = where;
                    break;
                }
                b.at = in.mark();
                if (direct) b.dest = reinterpret_cast<char*>(out.data()) + i * block_size;
                b.packed.resize(static_cast<std::size_t>(sizes[i]));
                if (in.read(b.packed.data(), b.packed.size()) != b.packed.size()) {
                    b.fault = file_.name() + " ends inside compressed block " + std::to_string(i + 1) +
                              " of " + label;
                    break;
                }
                wave_bytes += b.want;
            }
            const auto decompress = [&](Block& b) {
                if (!b.fault.empty()) return;
                try {
                    if (!b.dest) b.plain.resize(static_cast<std::size_t>(b.want));
                    b.inflated =
                        inflate(b.packed, b.dest ? b.dest : b.plain.data(), static_cast<std::size_t>(b.want));
                } catch (...) {
                    b.failure = std::current_exception();
                }
            };
            input::run_items(threads_, wave.size(), [&](std::size_t j) { decompress(wave[j]); });
            for (std::size_t j = 0; j < wave.size(); ++j) {
                Block& b = wave[j];
                if (!b.fault.empty()) fail_at(b.fault, in.where_at(b.at));
                if (b.failure) std::rethrow_exception(b.failure);
                if (!b.inflated)
                    fail_at("Compressed block " + std::to_string(first + j + 1) + " of " + label +
                                " does not decompress to " + std::to_string(b.want) + " bytes",
                            in.where_at(b.at));
                if (!b.dest) sink.push(b.plain.data(), b.plain.size());
                advance(b.packed.size());
            }
        }
    }

    bool inflate(const std::vector<char>& in, char* out, std::size_t want) const {
        switch (compressor_) {
        case Compressor::zlib: {
            // libdeflate: a whole block at once, about twice as fast as
            // zlib's stream; one decompressor per reading thread.
            struct Free {
                void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
            };
            thread_local std::unique_ptr<libdeflate_decompressor, Free> d(libdeflate_alloc_decompressor());
            if (!d) throw std::bad_alloc();
            std::size_t n = 0;
            return libdeflate_zlib_decompress(d.get(), in.data(), in.size(), out, want, &n) ==
                       LIBDEFLATE_SUCCESS &&
                   n == want;
        }
        case Compressor::lz4: {
            if (in.size() > std::size_t(std::numeric_limits<int>::max()) ||
                want > std::size_t(std::numeric_limits<int>::max()))
                return false;
            return LZ4_decompress_safe(in.data(), out, static_cast<int>(in.size()), static_cast<int>(want)) ==
                   static_cast<int>(want);
        }
        case Compressor::lzma: {
            std::uint64_t memlimit = std::uint64_t(1) << 28;
            std::size_t in_pos = 0, out_pos = 0;
            const lzma_ret r = lzma_stream_buffer_decode(
                &memlimit, 0, nullptr, reinterpret_cast<const std::uint8_t*>(in.data()), &in_pos, in.size(),
                reinterpret_cast<std::uint8_t*>(out), &out_pos, want);
            return r == LZMA_OK && out_pos == want;
        }
        case Compressor::none:
            break;
        }
        return false;
    }

    const input::Input& file_;
    const Head& head_;
    const XmlTree& tree_;
    std::vector<std::string>& warnings_;
    int header_bytes_ = 4;
    bool swap_ = false;
    Compressor compressor_ = Compressor::none;
    bool appended_base64_ = false;
    bool appended_loaded_ = false;
    std::string appended_text_;
    std::uint64_t budget_ = 0;
    std::uint64_t limit_ = 0;  // the memory budget
    std::uint64_t needed_ = 0; // bytes of the arrays read so far
    std::function<bool(std::uint64_t, std::uint64_t)> progress_;
    int threads_ = 1;
    std::uint64_t read_bytes_ = 0; // of array data, against the file's size
};

// ---- pieces -----------------------------------------------------------------

// One mesh with the fields of one step.
struct Piece {
    ImportMesh mesh;
    std::vector<ImportField> fields;
    std::optional<double> time;
};

constexpr int kMaxComponents = 9;

// Arrays that the reader itself needs the values of (ghost flags, labels),
// never left in the file.
bool needed_at_open(const std::string& name) {
    return name == "vtkGhostType" || name == "GlobalNodeId" || name == "GlobalElementId";
}

ZeroedVector<double> reread_array(const import::Reopen& from, bool on_cells, std::size_t ordinal,
                                  std::uint64_t count);

// With `later`, each array is left in the file: raw appended arrays that
// the file holds whole are not read at all, others are read (so that their
// errors and warnings come now) and dropped; the field reads its array
// again from that file when needed.
void read_fields(ArrayReader& r, const XmlTree& tree, const XmlElement* data, bool on_cells,
                 std::uint64_t rows, Piece& piece, std::vector<std::string>& skipped,
                 const std::shared_ptr<const import::Reopen>& later) {
    if (!data) return;
    std::size_t ordinal = 0;
    for (const XmlElement* e : tree.children(*data, "DataArray")) {
        const std::size_t at = ordinal++;
        ImportField f;
        f.name = ArrayReader::attr_or(*e, "Name", "");
        if (f.name.empty()) f.name = on_cells ? "cell array" : "point array";
        const std::uint64_t comps = r.parse_count(*e, "NumberOfComponents", 1);
        const Scalar s = scalar_of(ArrayReader::attr_or(*e, "type", ""));
        if (comps == 0 || comps > kMaxComponents || s.size == 0) {
            skipped.push_back(f.name);
            continue;
        }
        if (const std::string* tuples = e->attribute("NumberOfTuples")) {
            if (r.parse_count(*e, "NumberOfTuples") != rows)
                r.fail(*e, "NumberOfTuples=" + quoted(*tuples) + " of " + ArrayReader::array_label(*e) +
                               " (expected " + std::to_string(rows) + ")");
        }
        f.components = static_cast<int>(comps);
        f.on_cells = on_cells;
        std::vector<std::string> names;
        for (std::uint64_t c = 0; c < comps; ++c)
            if (const std::string* n = e->attribute("ComponentName" + std::to_string(c))) names.push_back(*n);
        if (names.size() == comps) f.component_names = std::move(names);
        const bool defer = later && !needed_at_open(f.name);
        if (!defer || !r.raw_and_whole(*e, rows * comps)) f.values = r.read<double>(*e, rows * comps);
        if (defer) {
            f.values = ZeroedVector<double>();
            f.load = [later, on_cells, at, count = rows * comps](ZeroedVector<double>& values) {
                values = reread_array(*later, on_cells, at, count);
            };
        }
        piece.fields.push_back(std::move(f));
    }
}

const XmlElement& named_array(const ArrayReader& r, const XmlTree& tree, const XmlElement& parent,
                              const char* name) {
    for (const XmlElement* e : tree.children(parent, "DataArray")) {
        const std::string* n = e->attribute("Name");
        if (n && *n == name) return *e;
    }
    r.fail(parent, parent.name + " without its DataArray " + quoted(name));
}

// Connectivity and end offsets of `cells` cells into `mesh`, as `type_of` says.
template <class TypeOf>
void read_cell_lists(ArrayReader& r, const XmlTree& tree, const XmlElement& parent, std::uint64_t cells,
                     std::uint64_t points, ImportMesh& mesh, TypeOf type_of) {
    const auto offsets = r.read<std::int64_t>(named_array(r, tree, parent, "offsets"), cells);
    std::int64_t prev = 0;
    for (std::size_t c = 0; c < offsets.size(); ++c) {
        if (offsets[c] < prev)
            r.fail(parent, "offsets in " + parent.name + ": cell " + std::to_string(c + 1) + " ends at " +
                               std::to_string(offsets[c]) + ", before " + std::to_string(prev));
        prev = offsets[c];
    }
    auto conn =
        r.read<std::int64_t>(named_array(r, tree, parent, "connectivity"), static_cast<std::uint64_t>(prev));
    const std::int64_t base =
        static_cast<std::int64_t>(mesh.point_count()) - static_cast<std::int64_t>(points);
    const std::int64_t shift = static_cast<std::int64_t>(mesh.cell_nodes.size());
    for (const std::int64_t v : conn)
        if (v < 0 || static_cast<std::uint64_t>(v) >= points)
            r.fail(parent, "point " + std::to_string(v) + " in the connectivity of " + parent.name +
                               " (the points are numbered 0 to " + std::to_string(std::int64_t(points) - 1) +
                               ")");
    if (mesh.cell_nodes.empty() && base == 0) {
        mesh.cell_nodes = std::move(conn); // the first list as it stands: no second copy
    } else {
        mesh.cell_nodes.reserve(mesh.cell_nodes.size() + conn.size());
        for (const std::int64_t v : conn)
            mesh.cell_nodes.push_back(v + base);
    }
    mesh.cell_types.reserve(mesh.cell_types.size() + offsets.size());
    mesh.cell_offsets.reserve(mesh.cell_offsets.size() + offsets.size());
    std::int64_t begin = 0;
    for (std::size_t c = 0; c < offsets.size(); ++c) {
        mesh.cell_types.push_back(type_of(c, offsets[c] - begin));
        mesh.cell_offsets.push_back(shift + offsets[c]);
        begin = offsets[c];
    }
}

// Drops the duplicate cells another piece owns (VTK's ghost flag 1) and the
// ghost arrays themselves.
void drop_ghosts(Piece& p) {
    std::vector<bool> keep;
    for (auto it = p.fields.begin(); it != p.fields.end();) {
        if (it->name != "vtkGhostType") {
            ++it;
            continue;
        }
        if (it->on_cells && it->components == 1) {
            keep.resize(it->values.size());
            for (std::size_t c = 0; c < keep.size(); ++c)
                keep[c] = (static_cast<std::int64_t>(it->values[c]) & 1) == 0;
        }
        it = p.fields.erase(it);
    }
    if (keep.empty() || std::all_of(keep.begin(), keep.end(), [](bool k) { return k; })) return;
    ImportMesh& m = p.mesh;
    ZeroedVector<std::uint8_t> types;
    ZeroedVector<std::int64_t> offsets{0}, nodes;
    for (std::size_t c = 0; c < m.cell_count(); ++c) {
        if (!keep[c]) continue;
        types.push_back(m.cell_types[c]);
        nodes.insert(nodes.end(), m.cell_nodes.begin() + m.cell_offsets[c],
                     m.cell_nodes.begin() + m.cell_offsets[c + 1]);
        offsets.push_back(static_cast<std::int64_t>(nodes.size()));
    }
    m.cell_types = std::move(types);
    m.cell_offsets = std::move(offsets);
    m.cell_nodes = std::move(nodes);
    for (ImportField& f : p.fields) {
        if (!f.on_cells) continue;
        ZeroedVector<double> v;
        for (std::size_t c = 0; c < keep.size(); ++c)
            if (keep[c])
                v.insert(v.end(), f.values.begin() + c * f.components,
                         f.values.begin() + (c + 1) * f.components);
        f.values = std::move(v);
    }
}

std::uint8_t poly_type(std::size_t n, std::uint8_t one, std::uint8_t two, std::uint8_t many) {
    return n == 1 ? one : n == 2 ? two : many;
}

Piece read_piece(ArrayReader& r, const XmlTree& tree, const XmlElement& e, bool poly,
                 std::vector<std::string>& skipped, const std::shared_ptr<const import::Reopen>& later) {
    Piece p;
    const std::uint64_t points = r.parse_count(e, "NumberOfPoints");
    if (points * 24 > r.budget())
        r.fail(e, "NumberOfPoints=" + std::to_string(points) + ", more than the file can hold");
    if (points > 0) {
        const XmlElement* pts = tree.child(e, "Points");
        const XmlElement* arr = pts ? tree.child(*pts, "DataArray") : nullptr;
        if (!arr) r.fail(e, "Piece without Points");
        if (r.parse_count(*arr, "NumberOfComponents", 1) != 3)
            r.fail(*arr, "NumberOfComponents of the points (expected 3)");
        p.mesh.points = r.read<double>(*arr, points * 3);
        for (std::size_t k = 0; k < p.mesh.points.size(); ++k)
            if (!std::isfinite(p.mesh.points[k]))
                r.fail(*arr, "point " + std::to_string(k / 3) +
                                 " of the Points: a coordinate that is not a finite number");
    }
    p.mesh.cell_offsets.push_back(0);
    std::uint64_t cells = 0;
    if (!poly) {
        cells = r.parse_count(e, "NumberOfCells");
        if (cells > 0) {
            const XmlElement* c = tree.child(e, "Cells");
            if (!c) r.fail(e, "Piece without Cells");
            const auto types = r.read<std::int64_t>(named_array(r, tree, *c, "types"), cells);
            read_cell_lists(r, tree, *c, cells, points, p.mesh, [&](std::size_t k, std::int64_t) {
                return static_cast<std::uint8_t>(types[k] >= 0 && types[k] < 256 ? types[k] : 0);
            });
        }
    } else {
        // VTK numbers the cells of a PolyData verts first, then lines, polys, strips.
        struct Section {
            const char* tag;
            const char* count;
            std::uint8_t one, two, many;
        };
        static constexpr Section sections[] = {
            {"Verts", "NumberOfVerts", vtk_vertex, vtk_poly_vertex, vtk_poly_vertex},
            {"Lines", "NumberOfLines", vtk_line, vtk_line, vtk_poly_line},
            {"Polys", "NumberOfPolys", vtk_polygon, vtk_polygon, vtk_polygon},
            {"Strips", "NumberOfStrips", vtk_triangle_strip, vtk_triangle_strip, vtk_triangle_strip}};
        for (const Section& s : sections) {
            const std::uint64_t n = r.parse_count(e, s.count, 0);
            if (n == 0) continue;
            const XmlElement* c = tree.child(e, s.tag);
            if (!c) r.fail(e, std::string("Piece without ") + s.tag);
            const bool polys = std::string_view(s.tag) == "Polys";
            read_cell_lists(r, tree, *c, n, points, p.mesh, [&](std::size_t, std::int64_t size) {
                if (polys)
                    return size == 3   ? std::uint8_t(vtk_triangle)
                           : size == 4 ? std::uint8_t(vtk_quad)
                                       : s.many;
                return s.one == s.two ? (size == 2 ? s.two : s.many)
                                      : poly_type(static_cast<std::size_t>(size), s.one, s.two, s.many);
            });
            cells += n;
        }
    }
    read_fields(r, tree, tree.child(e, "PointData"), false, points, p, skipped, later);
    read_fields(r, tree, tree.child(e, "CellData"), true, cells, p, skipped, later);
    drop_ghosts(p);
    return p;
}

// Bits of a coordinate triple, -0 read as 0 so that equal values meet.
struct PointKey {
    std::uint64_t x, y, z;
    bool operator==(const PointKey&) const = default;
};
struct PointKeyHash {
    std::size_t operator()(const PointKey& k) const {
        return static_cast<std::size_t>(k.x * 0x9E3779B97F4A7C15ull ^
                                        (k.y + 0x632BE59BD9B4E019ull) * 0xC2B2AE3D27D4EB4Full ^
                                        k.z * 0x165667B19E3779F9ull);
    }
};
PointKey key_of(const double* p) {
    PointKey k;
    const double x = p[0] == 0 ? 0.0 : p[0], y = p[1] == 0 ? 0.0 : p[1], z = p[2] == 0 ? 0.0 : p[2];
    std::memcpy(&k.x, &x, 8);
    std::memcpy(&k.y, &y, 8);
    std::memcpy(&k.z, &z, 8);
    return k;
}

// Appends `p` to `into`. With `merge`, a point of `p` at the coordinates of a
// point of an earlier piece becomes that point (its values are the earlier
// piece's). Fields missing from a piece are dropped with a warning.
class PieceJoiner {
  public:
    PieceJoiner(bool merge, std::string name, std::vector<std::string>& warnings)
        : merge_(merge), name_(std::move(name)), warnings_(warnings) {}

    void add(Piece&& p, const std::string& piece_name) {
        if (first_) {
            first_ = false;
            out_ = std::move(p);
            if (merge_)
                for (std::size_t i = 0; i < out_.mesh.point_count(); ++i)
                    seen_.emplace(key_of(&out_.mesh.points[3 * i]), static_cast<std::int64_t>(i));
            return;
        }
        const std::size_t np = p.mesh.point_count();
        std::vector<std::int64_t> map(np);
        std::vector<std::size_t> fresh; // indices into p of points kept
        for (std::size_t i = 0; i < np; ++i) {
            const std::int64_t next = static_cast<std::int64_t>(out_.mesh.point_count() + fresh.size());
            if (merge_) {
                const auto [it, added] = seen_.emplace(key_of(&p.mesh.points[3 * i]), next);
                map[i] = it->second;
                if (!added) continue;
            } else {
                map[i] = next;
            }
            fresh.push_back(i);
        }
        // Fields: keep those both sides have, in the first piece's order.
        std::vector<ImportField> kept;
        for (ImportField& f : out_.fields) {
            auto it = std::find_if(p.fields.begin(), p.fields.end(), [&](const ImportField& g) {
                return g.name == f.name && g.on_cells == f.on_cells && g.components == f.components;
            });
            if (it == p.fields.end()) {
                warnings_.push_back(name_ + ": " + piece_name + " has no array " + quoted(f.name) +
                                    "; it was left out.");
                continue;
            }
            const auto c = static_cast<std::size_t>(f.components);
            if (f.on_cells) {
                f.values.insert(f.values.end(), it->values.begin(), it->values.end());
            } else {
                for (const std::size_t i : fresh)
                    f.values.insert(f.values.end(), it->values.begin() + i * c,
                                    it->values.begin() + (i + 1) * c);
            }
            kept.push_back(std::move(f));
        }
        out_.fields = std::move(kept);
        for (const std::size_t i : fresh)
            out_.mesh.points.insert(out_.mesh.points.end(), p.mesh.points.begin() + 3 * i,
                                    p.mesh.points.begin() + 3 * i + 3);
        const std::int64_t shift = static_cast<std::int64_t>(out_.mesh.cell_nodes.size());
        for (const std::int64_t v : p.mesh.cell_nodes)
            out_.mesh.cell_nodes.push_back(map[static_cast<std::size_t>(v)]);
        for (std::size_t c = 1; c < p.mesh.cell_offsets.size(); ++c)
            out_.mesh.cell_offsets.push_back(shift + p.mesh.cell_offsets[c]);
        out_.mesh.cell_types.insert(out_.mesh.cell_types.end(), p.mesh.cell_types.begin(),
                                    p.mesh.cell_types.end());
        if (!out_.time) out_.time = p.time;
    }

    Piece take() {
        if (first_) out_.mesh.cell_offsets = {0};
        return std::move(out_);
    }

  private:
    bool merge_;
    std::string name_;
    std::vector<std::string>& warnings_;
    bool first_ = true;
    Piece out_;
    std::unordered_map<PointKey, std::int64_t, PointKeyHash> seen_;
};

std::optional<double> time_value(ArrayReader& r, const XmlTree& tree, const XmlElement& dataset) {
    const XmlElement* fd = tree.child(dataset, "FieldData");
    if (!fd) return std::nullopt;
    for (const XmlElement* e : tree.children(*fd, "DataArray")) {
        const std::string* n = e->attribute("Name");
        if (!n || *n != "TimeValue" || r.parse_count(*e, "NumberOfTuples", 1) != 1) continue;
        return r.read<double>(*e, 1).front();
    }
    return std::nullopt;
}

struct Result {
    Piece piece;
    std::vector<std::string> warnings;
    std::vector<std::string> skipped;
    std::uint64_t looked_at = 0; // bytes read and scanned, of every file read
};

// With `later` (the file on disk), the arrays of a dataset of one piece
// without ghost cells are left in the file (see read_fields).
Result read_dataset(const input::Input& file, const ReaderOptions& options,
                    const std::string& expect_type = {},
                    std::shared_ptr<const import::Reopen> later = nullptr) {
    Result out;
    const Head head = load_head(file);
    const XmlTree tree = parse_xml(head.text, file.name(), head.appended);
    const XmlElement& root = tree.root();
    const std::string type = ArrayReader::attr_or(root, "type", "");
    if (root.name != "VTKFile")
        throw ReadError(file.name() + " is not a VTK XML file (its root element is " + root.name + ")");
    if (type != "UnstructuredGrid" && type != "PolyData")
        throw ReadError(file.name() + " holds a VTK " +
                        (type.empty() ? std::string("file of no type") : type) +
                        "; expected UnstructuredGrid or PolyData");
    if (!expect_type.empty() && type != expect_type)
        throw ReadError(file.name() + " holds a VTK " + type + "; expected " + expect_type);
    ArrayReader r(file, head, tree, out.warnings, options);
    const XmlElement* ds = tree.child(root, type);
    if (!ds) r.fail(root, "VTKFile without its " + type + " element");
    PieceJoiner join(false, file.name(), out.warnings);
    const auto pieces = tree.children(*ds, "Piece");
    if (pieces.size() != 1) later = nullptr;
    for (const char* data : {"PointData", "CellData"})
        if (later && !pieces.empty())
            if (const XmlElement* d = tree.child(*pieces[0], data))
                for (const XmlElement* e : tree.children(*d, "DataArray"))
                    if (ArrayReader::attr_or(*e, "Name", "") == "vtkGhostType") later = nullptr;
    for (std::size_t k = 0; k < pieces.size(); ++k)
        join.add(read_piece(r, tree, *pieces[k], type == "PolyData", out.skipped, later),
                 "piece " + std::to_string(k + 1));
    out.piece = join.take();
    out.piece.time = time_value(r, tree, *ds);
    out.looked_at = file.fetched();
    return out;
}

ZeroedVector<double> reread_array(const import::Reopen& from, bool on_cells, std::size_t ordinal,
                                  std::uint64_t count) {
    const input::Input file(from.path);
    input::check_unchanged(from.path, from.stamp, file.stamp());
    ZeroedVector<double> values;
    try {
        const Head head = load_head(file);
        const XmlTree tree = parse_xml(head.text, file.name(), head.appended);
        const XmlElement& root = tree.root();
        std::vector<std::string> warnings;
        ArrayReader r(file, head, tree, warnings, from.options);
        const XmlElement* ds = tree.child(root, ArrayReader::attr_or(root, "type", ""));
        const XmlElement* piece = ds ? tree.child(*ds, "Piece") : nullptr;
        const XmlElement* data = piece ? tree.child(*piece, on_cells ? "CellData" : "PointData") : nullptr;
        if (!data) r.fail(root, std::string("a Piece with its ") + (on_cells ? "CellData" : "PointData"));
        const auto arrays = tree.children(*data, "DataArray");
        if (ordinal >= arrays.size()) r.fail(*data, "DataArray " + std::to_string(ordinal + 1));
        values = r.read<double>(*arrays[ordinal], count);
    } catch (const ReadError&) {
        input::check_unchanged(from.path, from.stamp, file.stamp());
        throw;
    } catch (const std::bad_alloc&) {
        throw ReadError("Not enough memory to read " + file.name());
    }
    input::check_unchanged(from.path, from.stamp, file.stamp());
    return values;
}

ImportData to_import(Result&& r, std::vector<std::string> more_warnings = {}) {
    ImportData d;
    d.mesh = std::move(r.piece.mesh);
    ImportStep step;
    step.time = r.piece.time;
    step.fields = std::move(r.piece.fields);
    d.steps.push_back(std::move(step));
    d.warnings = std::move(r.warnings);
    d.warnings.insert(d.warnings.end(), more_warnings.begin(), more_warnings.end());
    d.skipped_fields = std::move(r.skipped);
    d.bytes_fetched = r.looked_at;
    return d;
}

// A small XML file that only names others (.pvd, .pvtu).
XmlTree read_index(const input::Input& file) {
    if (file.size() > (std::uint64_t(64) << 20))
        throw ReadError(file.name() + " is too large for a VTK index file");
    std::string text(static_cast<std::size_t>(file.size()), '\0');
    text.resize(file.read(0, text.size(), text.data()));
    return parse_xml(text, file.name());
}

std::string resolve(const std::string& index_path, const std::string& ref) {
    return !ref.empty() && ref.front() == '/' ? ref : folder_of(index_path) + ref;
}

// What names the file read by read_named: a piece of a partitioned file
// must be a plain dataset; a collection's entry may also be partitioned.
enum class Naming { piece, entry };

// Where the arrays of a dataset read from `file` can be read again later;
// null when they are to be kept.
std::shared_ptr<const import::Reopen> later_of(const input::Input& file, const ReaderOptions& options,
                                               bool defer) {
    return defer ? import::Reopen::of(file, options) : nullptr;
}

// `defer`: the arrays of a plain dataset may be left in its file.
Result read_named(const std::string& index_path, const std::string& ref, const XmlElement& e,
                  const input::Input& index, const ReaderOptions& options, Naming naming, bool defer = false);

Result read_partitioned(const std::string& path, const input::Input& file, const XmlTree& tree,
                        const ReaderOptions& options) {
    const XmlElement& root = tree.root();
    const XmlElement* grid = tree.child(root, "PUnstructuredGrid");
    if (!grid)
        throw ReadError("Expected a PUnstructuredGrid element at line " + std::to_string(root.line) + " of " +
                        file.name());
    Result out;
    PieceJoiner join(true, file.name(), out.warnings);
    for (const XmlElement* p : tree.children(*grid, "Piece")) {
        const std::string* src = p->attribute("Source");
        if (!src || src->empty())
            throw ReadError("Expected a Source attribute at line " + std::to_string(p->line) + " of " +
                            file.name());
        Result piece = read_named(path, *src, *p, file, options, Naming::piece);
        out.warnings.insert(out.warnings.end(), piece.warnings.begin(), piece.warnings.end());
        for (auto& s : piece.skipped)
            if (std::find(out.skipped.begin(), out.skipped.end(), s) == out.skipped.end())
                out.skipped.push_back(s);
        join.add(std::move(piece.piece), base_name(*src));
        out.looked_at += piece.looked_at;
    }
    out.piece = join.take();
    out.looked_at += file.fetched();
    return out;
}

Result read_named(const std::string& index_path, const std::string& ref, const XmlElement& e,
                  const input::Input& index, const ReaderOptions& options, Naming naming, bool defer) {
    const std::string path = resolve(index_path, ref);
    try {
        const input::Input file(path);
        // A collection may name partitioned files; nothing else nests, so
        // that a file naming itself (or two naming each other) cannot recurse.
        char head[512];
        const std::size_t n = file.read(0, sizeof head, head);
        const std::string type = vtk_xml_type(std::string_view(head, n));
        if (type == "Collection" || (type == "PUnstructuredGrid" && naming == Naming::piece))
            throw ReadError(
                file.name() + " is itself " + (type == "Collection" ? "a collection" : "a partitioned file") +
                "; " +
                (naming == Naming::piece ? "a piece of a partitioned file" : "an entry of a collection") +
                " must be a plain dataset" + (naming == Naming::entry ? " or a partitioned file" : ""));
        if (type == "PUnstructuredGrid") return read_partitioned(path, file, read_index(file), options);
        return read_dataset(file, options, {}, later_of(file, options, defer));
    } catch (const ReadCancelled&) {
        throw;
    } catch (const ReadError& err) {
        throw ReadError(std::string(err.what()) + " (named at line " + std::to_string(e.line) + " of " +
                        index.name() + ")");
    }
}

bool same_mesh(const ImportMesh& a, const ImportMesh& b) {
    return a.points == b.points && a.cell_types == b.cell_types && a.cell_offsets == b.cell_offsets &&
           a.cell_nodes == b.cell_nodes;
}

ImportData read_collection(const std::string& path, const input::Input& file, const XmlTree& tree,
                           const ReaderOptions& options) {
    const XmlElement& root = tree.root();
    const XmlElement* coll = tree.child(root, "Collection");
    if (!coll)
        throw ReadError("Expected a Collection element at line " + std::to_string(root.line) + " of " +
                        file.name());
    struct Entry {
        std::optional<double> time;
        const XmlElement* e;
    };
    std::vector<Entry> entries;
    for (const XmlElement* e : tree.children(*coll, "DataSet")) {
        Entry en{std::nullopt, e};
        if (const std::string* t = e->attribute("timestep")) {
            double v = 0;
            const char* b = t->data();
            if (!t->empty() && *b == '+') ++b;
            const auto r = std::from_chars(b, t->data() + t->size(), v);
            if (r.ec != std::errc() || r.ptr != t->data() + t->size() || !std::isfinite(v))
                throw ReadError("Expected a number in timestep=" + quoted(*t) + " at line " +
                                std::to_string(e->line) + " of " + file.name());
            en.time = v;
        }
        if (!e->attribute("file"))
            throw ReadError("Expected a file attribute at line " + std::to_string(e->line) + " of " +
                            file.name());
        entries.push_back(en);
    }
    if (entries.empty()) throw ReadError(file.name() + " names no DataSet");
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.time.value_or(0.0) < b.time.value_or(0.0);
    });

    ImportData out;
    std::vector<std::string> left_out;
    for (std::size_t k = 0; k < entries.size();) {
        // DataSets of one timestep with different parts are pieces of one mesh.
        std::size_t end = k + 1;
        while (end < entries.size() && entries[end].time == entries[k].time &&
               ArrayReader::attr_or(*entries[end].e, "part", "0") !=
                   ArrayReader::attr_or(*entries[k].e, "part", "0"))
            ++end;
        Result step;
        {
            PieceJoiner join(true, file.name(), step.warnings);
            for (std::size_t j = k; j < end; ++j) {
                const std::string& ref = *entries[j].e->attribute("file");
                Result r = read_named(path, ref, *entries[j].e, file, options, Naming::entry, end - k == 1);
                step.warnings.insert(step.warnings.end(), r.warnings.begin(), r.warnings.end());
                step.skipped.insert(step.skipped.end(), r.skipped.begin(), r.skipped.end());
                join.add(std::move(r.piece), base_name(ref));
            }
            step.piece = join.take();
        }
        const std::string ref = *entries[k].e->attribute("file");
        k = end;
        out.warnings.insert(out.warnings.end(), step.warnings.begin(), step.warnings.end());
        for (auto& s : step.skipped)
            if (std::find(out.skipped_fields.begin(), out.skipped_fields.end(), s) ==
                out.skipped_fields.end())
                out.skipped_fields.push_back(s);
        if (out.steps.empty()) {
            out.mesh = std::move(step.piece.mesh);
        } else if (!same_mesh(out.mesh, step.piece.mesh)) {
            left_out.push_back(base_name(ref));
            continue;
        }
        ImportStep s;
        s.time = entries[end - 1].time ? entries[end - 1].time : step.piece.time;
        s.fields = std::move(step.piece.fields);
        out.steps.push_back(std::move(s));
    }
    if (!left_out.empty()) {
        std::string text = file.name() +
                           ": the meshes of the collection differ; only the steps on the first mesh "
                           "were opened (left out:";
        for (const auto& n : left_out)
            text += " " + n;
        out.warnings.push_back(text + ").");
    }
    return out;
}

// VTK's arrays of global ids ("GlobalNodeId" on points, "GlobalElementId"
// on cells; what --convert writes for sparsely numbered files) give the
// labels of the points and cells and are not shown as results. An array
// holding anything but whole numbers stays a result.
void take_labels(ImportData& d, const std::string& file) {
    if (d.steps.empty()) return;
    const auto take = [&](const char* name, bool on_cells, ZeroedVector<std::int64_t>& labels) {
        const auto is_ids = [&](const ImportField& f) {
            return f.name == name && f.on_cells == on_cells && f.components == 1;
        };
        auto& first = d.steps[0].fields;
        const auto it = std::find_if(first.begin(), first.end(), is_ids);
        if (it == first.end()) return;
        for (const double v : it->values)
            if (!(v >= -9.0e18 && v <= 9.0e18) || v != std::trunc(v)) return;
        labels.assign(it->values.size(), 0);
        for (std::size_t k = 0; k < labels.size(); ++k)
            labels[k] = static_cast<std::int64_t>(it->values[k]);
        // A node label given twice is refused, as Gmsh and CalculiX files
        // are: a node's history must answer for one node. (Element labels
        // may repeat: the faces of one volume cell carry its number.)
        import::TagIndex index;
        if (!on_cells)
            if (const std::int64_t twice = index.build(labels); twice >= 0)
                throw ReadError(file + ": " + name + " gives point label " + std::to_string(twice) +
                                " to more than one point; labels must be unique");
        for (ImportStep& step : d.steps)
            std::erase_if(step.fields, is_ids);
    };
    take("GlobalNodeId", false, d.mesh.point_labels);
    take("GlobalElementId", true, d.mesh.cell_labels);
    // VTK's filters (and dolfinx) keep the ids of the data a grid was cut
    // from in "vtkOriginal..." arrays: bookkeeping, not results.
    for (ImportStep& step : d.steps)
        std::erase_if(step.fields, [](const ImportField& f) { return f.name.rfind("vtkOriginal", 0) == 0; });
}

// What --convert writes for a model of several steps (see model_writer.h):
// a point array of three components named "deslocamento", alone or with a
// step suffix, is a displacement and no result list; when every array of a
// single dataset ends with a step suffix (" - passo N", " (t = T)"), the
// arrays go back to their steps under their names without it, so that
// build_model() names the lists as before. Anything else stays as it is.
void take_steps(ImportData& d) {
    if (d.steps.size() != 1) return;
    const auto is_displacement = [](const ImportField& f, const std::string& base) {
        return base == kDisplacementArray && !f.on_cells && f.components == 3;
    };
    auto& fields = d.steps[0].fields;
    std::vector<std::optional<StepOfName>> of(fields.size());
    bool all = !fields.empty();
    for (std::size_t k = 0; k < fields.size(); ++k) {
        of[k] = step_of_name(fields[k].name);
        all = all && of[k].has_value();
    }
    if (!all) {
        for (ImportField& f : fields)
            if (is_displacement(f, f.name)) f.displacement_only = true;
        return;
    }
    std::map<std::size_t, ImportStep> steps;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        ImportStep& s = steps[of[k]->step];
        if (of[k]->time) s.time = of[k]->time;
        ImportField f = std::move(fields[k]);
        f.name = of[k]->base;
        f.displacement_only = is_displacement(f, f.name);
        s.fields.push_back(std::move(f));
    }
    d.steps.clear();
    for (auto& [n, s] : steps)
        d.steps.push_back(std::move(s));
}

ImportData with_labels(ImportData&& d, const std::string& file) {
    take_labels(d, file);
    take_steps(d);
    return std::move(d);
}

} // namespace

std::string vtk_xml_type(std::string_view head) {
    std::size_t p = 0;
    while (p < head.size() && std::strchr(" \t\r\n", head[p]) && head[p] != '\0')
        ++p;
    if (head.substr(p, 3) == "\xEF\xBB\xBF") p += 3;
    if (head.substr(p, 5) != "<?xml" && head.substr(p, 8) != "<VTKFile") return {};
    const std::size_t tag = head.find("<VTKFile");
    if (tag == std::string_view::npos) return {};
    const std::size_t close = head.find('>', tag);
    const std::string_view attrs =
        head.substr(tag, close == std::string_view::npos ? std::string_view::npos : close - tag);
    for (std::size_t t = attrs.find("type"); t != std::string_view::npos; t = attrs.find("type", t + 4)) {
        if (t == 0 || !std::strchr(" \t\r\n", attrs[t - 1])) continue;
        std::size_t q = t + 4;
        while (q < attrs.size() && (attrs[q] == ' ' || attrs[q] == '\t'))
            ++q;
        if (q >= attrs.size() || attrs[q] != '=') continue;
        ++q;
        while (q < attrs.size() && (attrs[q] == ' ' || attrs[q] == '\t'))
            ++q;
        if (q >= attrs.size() || (attrs[q] != '"' && attrs[q] != '\'')) continue;
        const std::size_t end = attrs.find(attrs[q], q + 1);
        if (end == std::string_view::npos) return {};
        return std::string(attrs.substr(q + 1, end - q - 1));
    }
    return {};
}

ImportData import_vtk_xml(input::Input& in, const ReaderOptions& options) {
    // Bytes in memory are one dataset: a collection or a partitioned file
    // names files beside it.
    if (in.in_memory()) return with_labels(to_import(read_dataset(in, options)), in.name());
    char head[512];
    const std::size_t n = in.read(0, sizeof head, head);
    const std::string type = vtk_xml_type(std::string_view(head, n));
    if (type == "Collection")
        return with_labels(read_collection(in.path(), in, read_index(in), options), in.name());
    if (type == "PUnstructuredGrid")
        return with_labels(to_import(read_partitioned(in.path(), in, read_index(in), options)), in.name());
    return with_labels(to_import(read_dataset(in, options, {}, later_of(in, options, true))), in.name());
}

bool looks_like_vtu(std::string_view first_bytes) {
    const std::string t = vtk_xml_type(first_bytes);
    return t == "UnstructuredGrid" || t == "PolyData";
}
bool looks_like_pvd(std::string_view first_bytes) {
    return vtk_xml_type(first_bytes) == "Collection";
}
bool looks_like_pvtu(std::string_view first_bytes) {
    return vtk_xml_type(first_bytes) == "PUnstructuredGrid";
}

} // namespace orv
