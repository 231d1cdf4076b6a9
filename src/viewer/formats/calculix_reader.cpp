// CalculiX .frd reader. A .frd file is a sequence of records whose first six
// columns say what they are: "    1C"/"    1U"/"    1P" headers, "    2C" the
// node block, "    3C" the element block, "  100C" a result block, " 9999"
// the end. Text records have fixed columns (numbers may touch, as in
// "1.00000E+00-2.00000E+00"), so they are cut by column, not by spaces. A
// block whose header ends in format 2 or 3 holds raw little-endian records
// instead (ints, and floats or doubles), with no -3 record after them.

#include "viewer/formats/calculix_reader.h"

#include "viewer/formats/import_cursor.h"
#include "viewer/formats/import_parallel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string_view>

namespace orv {
namespace {

using import::Cursor;
using import::TagIndex;

struct FrdType {
    const char* name;
    int nodes;
    std::uint8_t vtk;
    std::vector<int> take; // the file's node index of each VTK node
};

const FrdType* frd_type(std::int64_t code) {
    auto iota = [](int n) {
        std::vector<int> v(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i)
            v[static_cast<std::size_t>(i)] = i;
        return v;
    };
    // The file's 20-node brick gives the vertical mid-edge nodes (VTK's 16..19)
    // before the top ones (VTK's 12..15); the 15-node prism likewise. A 3-node
    // beam has its middle node second; VTK's quadratic edge puts it last.
    static const FrdType types[] = {
        {"he8", 8, vtk_hexahedron, iota(8)},
        {"pe6", 6, vtk_wedge, iota(6)},
        {"te4", 4, vtk_tetra, iota(4)},
        {"he20", 20, vtk_quadratic_hexahedron, {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,
                                                10, 11, 16, 17, 18, 19, 12, 13, 14, 15}},
        {"pe15", 15, vtk_quadratic_wedge, {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 13, 14, 9, 10, 11}},
        {"te10", 10, vtk_quadratic_tetra, iota(10)},
        {"tr3", 3, vtk_triangle, iota(3)},
        {"tr6", 6, vtk_quadratic_triangle, iota(6)},
        {"qu4", 4, vtk_quad, iota(4)},
        {"qu8", 8, vtk_quadratic_quad, iota(8)},
        {"be2", 2, vtk_line, iota(2)},
        {"be3", 3, vtk_quadratic_edge, {0, 2, 1}},
    };
    if (code < 1 || code > 12) return nullptr;
    return &types[code - 1];
}

inline std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

inline std::string_view column(std::string_view line, std::size_t from, std::size_t width) {
    if (from >= line.size()) return {};
    return line.substr(from, width);
}

struct PendingStep {
    std::int64_t number;
    ImportStep step;
};

class FrdReader {
  public:
    // `reopen`: where the values of result blocks can be read again later;
    // null to keep them.
    // `mapped`: the input `data` comes from, whose pages of blocks skipped
    // by an index are handed back; null for none.
    FrdReader(const char* data, std::size_t size, const std::string& name, import::Reading& reading,
              std::shared_ptr<const import::Reopen> reopen = nullptr, const input::Input* mapped = nullptr)
        : c_(data, size, name), reading_(reading), reopen_(std::move(reopen)), mapped_(mapped) {}
    ImportData run();

    // The values of the result block whose header starts at byte `offset`,
    // read as the first pass would have read them, given the node block's
    // labels and node count that the first pass found.
    ZeroedVector<double> reread(std::shared_ptr<const TagIndex> nodes, std::size_t points,
                                std::size_t offset);

  private:
    Cursor c_;
    import::Reading& reading_;
    std::shared_ptr<const import::Reopen> reopen_;
    const input::Input* mapped_ = nullptr;
    ImportData out_;
    std::shared_ptr<const TagIndex> nodes_ = std::make_shared<TagIndex>();
    std::size_t points_ = 0; // nodes of the node block
    bool have_nodes_ = false, have_elements_ = false, ended_ = false;
    std::vector<PendingStep> steps_;
    bool in_binary_ = false;

    const std::string& name() const { return c_.name(); }
    [[noreturn]] void fail(const char* at, const std::string& what) const {
        if (in_binary_) c_.fail_binary(at, what);
        c_.fail(at, what);
    }
    void ended_early(const std::string& what) {
        out_.warnings.push_back(name() + " ends early" + what);
        ended_ = true;
    }
    // A text block whose records are not as many as its header announces
    // is read as it is, with a warning.
    void count_differs(const std::string& block, const char* head, std::int64_t announced,
                       std::int64_t held) {
        if (announced != held)
            out_.warnings.push_back(name() + ": " + block + " " + c_.where(head) + " announces " +
                                    std::to_string(announced) + " nodes but holds " + std::to_string(held) +
                                    ".");
    }
    std::int64_t int_field(std::string_view line, const char* line_at, std::size_t from, std::size_t width,
                           const char* what) {
        const std::string_view f = trim(column(line, from, width));
        std::int64_t v = 0;
        if (!import::parse_integer(f, v))
            fail(line_at, std::string("expected ") + what + " in columns " + std::to_string(from + 1) + "-" +
                              std::to_string(from + width) + ", found \"" + std::string(f) + "\"");
        return v;
    }
    // A real in columns from+1..from+12; a non-finite one reads as NaN when
    // `value` (a result), else is refused (a coordinate).
    double real_field(std::string_view line, const char* line_at, std::size_t from, const char* what,
                      bool value = false) {
        const std::string_view f = trim(column(line, from, 12));
        double v = 0;
        if (!import::parse_real(f, v) || (!value && std::isnan(v)))
            fail(line_at, std::string("expected ") + what + " in columns " + std::to_string(from + 1) + "-" +
                              std::to_string(from + 12) + ", found \"" + std::string(f) + "\"");
        return v;
    }
    // The block format at the end of a block header: 0 short, 1 long, 2 binary
    // floats, 3 binary doubles.
    int block_format(std::string_view line, const char* at) {
        std::string_view t = trim(line);
        const auto sp = t.find_last_of(' ');
        std::int64_t f = -1;
        if (sp == std::string_view::npos || !import::parse_integer(t.substr(sp + 1), f) || f < 0 || f > 3)
            fail(at, "expected the block format (0 to 3) at the end of the block header");
        return static_cast<int>(f);
    }
    std::int64_t node_index(std::int64_t label, const char* at, const char* who) {
        const std::int64_t i = nodes_->find(label);
        if (i < 0)
            fail(at, std::string(who) + " names node " + std::to_string(label) +
                         ", which the node block does not hold");
        return i;
    }
    // The next record of a text block; false at end of file.
    bool record(std::string_view& line, const char*& at) {
        reading_.tick(c_.pos());
        if (c_.at_end()) return false;
        at = c_.pos();
        line = c_.rest_of_line();
        return true;
    }
    template <class T> double binary_real(const char* what) {
        return static_cast<double>(c_.binary<T>(false, what));
    }
    // A binary real; a non-finite one reads as NaN when `value`, else is refused.
    double binary_value(int format, const char* what, bool value = false) {
        const char* at = c_.pos();
        const double v = format == 2 ? binary_real<float>(what) : binary_real<double>(what);
        if (value) return import::value_of(v);
        if (!std::isfinite(v)) fail(at, std::string("expected ") + what + ", found a non-finite real");
        return v;
    }

    // Refuses the file when `count` items of `bytes` each (at most what the
    // rest of the file can hold at `per` bytes an item) pass the memory limit.
    void need(std::int64_t count, std::size_t per, std::size_t bytes, const char* at, const char* what) {
        const auto n = std::min<std::uint64_t>(static_cast<std::uint64_t>(std::max<std::int64_t>(count, 0)),
                                               c_.left() / per + 1);
        reading_.need(n * bytes,
                      [&] { return std::to_string(count) + " " + what + " announced " + c_.where(at); });
    }
    // Text records " -1" of one line each, read on the reading threads; false,
    // with nothing kept, when the block must be read on one thread.
    bool parallel_nodes(std::int64_t announced, std::size_t w, ZeroedVector<std::int64_t>& labels);
    bool parallel_results(std::int64_t announced, std::size_t w, ImportField& field);
    // Elements of one type whose nodes fit on one " -2" line.
    bool parallel_elements(std::int64_t announced, std::size_t w);

    void read_nodes(std::string_view header, const char* at);
    void read_elements(std::string_view header, const char* at);
    void read_results(std::string_view header, const char* at);
    // Moves past the values of a result block of `announced` records of
    // `nc` values without reading them: binary and fixed-width records by
    // arithmetic, other text by lines. False (the cursor anywhere in the
    // block) when the block does not hold exactly `announced` records and
    // its end, which only a full read reports rightly.
    bool skip_values(int format, std::int64_t announced, std::size_t nc);
    // Bytes of each record of the block skip_values() last passed by
    // arithmetic; 0 when it had to walk the block.
    std::size_t stride_ = 0;
    void add_field(std::int64_t number, double time, ImportField&& field);
    // The load of the result block whose header starts at byte `offset`.
    std::function<void(ZeroedVector<double>&)> block_load(std::size_t offset) const;
    // The row read of a block whose records of `stride` bytes start at byte
    // `values`: record i holds point i in files that keep the node block's
    // order (CalculiX's own); any other record makes it give up.
    std::function<bool(std::int64_t, std::span<double>)> row_load(std::size_t values, std::size_t stride,
                                                                  int format) const;
    void skip_block();
};

namespace {
// A text record's fields as the one-thread path reads them, without messages.
std::string_view record_line(const char*& p, const char* end) {
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    const char* e = nl ? nl : end;
    std::string_view line(p, static_cast<std::size_t>(e - p));
    p = nl ? nl + 1 : end;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}
} // namespace

bool FrdReader::parallel_nodes(std::int64_t announced, std::size_t w, ZeroedVector<std::int64_t>& labels) {
    auto& points = out_.mesh.points;
    const std::size_t l0 = labels.size(), p0 = points.size();
    const auto count = static_cast<std::size_t>(announced);
    const auto parse = [&](const import::TokenPiece& piece) {
        const char* p = piece.begin;
        for (std::size_t r = piece.first, last = r + piece.count; r < last; ++r) {
            const std::string_view line = record_line(p, piece.end);
            if (column(line, 0, 3) != " -1" ||
                !import::parse_integer(trim(column(line, 3, w)), labels[l0 + r]))
                return false;
            for (std::size_t k = 0; k < 3; ++k)
                if (!import::parse_real(trim(column(line, 3 + w + 12 * k, 12)), points[p0 + 3 * r + k]) ||
                    std::isnan(points[p0 + 3 * r + k]))
                    return false;
        }
        return true;
    };
    const auto prepare = [&] {
        labels.resize(l0 + count);
        points.resize(p0 + 3 * count);
    };
    auto block = import::parallel_fixed_lines(reading_, c_.pos(), c_.end(), count, 1, parse, prepare);
    if (!block.end) block = import::parallel_lines(reading_, c_.pos(), c_.end(), count, parse, prepare);
    if (!block.end) {
        labels.resize(l0);
        points.resize(p0);
        return false;
    }
    c_.seek(block.end);
    return true;
}

bool FrdReader::parallel_results(std::int64_t announced, std::size_t w, ImportField& field) {
    const auto nc = static_cast<std::size_t>(field.components);
    // One line must hold all of a node's values.
    if (3 + w + 12 * nc > 120) return false;
    import::RowMarks seen(points_);
    auto& values = field.values;
    const auto count = static_cast<std::size_t>(announced);
    const auto parse = [&](const import::TokenPiece& piece) {
        const char* p = piece.begin;
        for (std::size_t r = 0; r < piece.count; ++r) {
            const std::string_view line = record_line(p, piece.end);
            std::int64_t label = 0;
            if (column(line, 0, 3) != " -1" || !import::parse_integer(trim(column(line, 3, w)), label))
                return false;
            const std::int64_t i = nodes_->find(label);
            if (i < 0 || line.size() < 3 + w + 12 * (nc - 1) + 2) return false;
            seen.mark(static_cast<std::size_t>(i));
            for (std::size_t k = 0; k < nc; ++k)
                if (!import::parse_real(trim(column(line, 3 + w + 12 * k, 12)),
                                        values[static_cast<std::size_t>(i) * nc + k]))
                    return false;
        }
        return true;
    };
    // A pass that gives up leaves values as before for the next one: its
    // pieces may have read records beyond a block that ends early, which
    // must not stay.
    const auto restart = [&] {
        std::fill(values.begin(), values.end(), 0.0);
        seen.clear();
    };
    auto block = import::parallel_fixed_lines(reading_, c_.pos(), c_.end(), count, 1, parse);
    if (!block.end) {
        restart();
        block = import::parallel_lines(reading_, c_.pos(), c_.end(), count, parse);
    }
    if (block.end && seen.distinct(count)) {
        c_.seek(block.end);
        return true;
    }
    restart(); // the one-thread pass reads the block again in file order
    return false;
}

bool FrdReader::parallel_elements(std::int64_t announced, std::size_t w) {
    auto& mesh = out_.mesh;
    // The type of the first element stands for all.
    const char* p = c_.pos();
    const std::string_view first = record_line(p, c_.end());
    std::int64_t code = 0;
    if (column(first, 0, 3) != " -1" || !import::parse_integer(trim(column(first, 3 + w, 5)), code))
        return false;
    const FrdType* t = frd_type(code);
    if (!t) return false;
    const auto count = static_cast<std::size_t>(announced);
    const std::size_t take = t->take.size();
    const std::size_t c0 = mesh.cell_types.size(), n0 = mesh.cell_nodes.size(), o0 = mesh.cell_offsets.size();
    const auto parse = [&](const import::TokenPiece& piece) {
        // Pieces end at any line: a piece reads the elements whose
        // " -1" line it holds, skipping a first " -2" line (of the piece
        // before) and reading its last element's " -2" line from the
        // piece after.
        const char* q = piece.begin;
        if (piece.first % 2 != 0) record_line(q, piece.end);
        std::int64_t nodes[20];
        for (std::size_t e = (piece.first + 1) / 2, last = (piece.first + piece.count + 1) / 2; e < last;
             ++e) {
            const std::string_view head = record_line(q, piece.end);
            std::int64_t label = 0, type = 0;
            if (column(head, 0, 3) != " -1" || !import::parse_integer(trim(column(head, 3, w)), label) ||
                !import::parse_integer(trim(column(head, 3 + w, 5)), type) || type != code)
                return false;
            const std::string_view line = record_line(q, c_.end());
            if (column(line, 0, 3) != " -2") return false;
            int got = 0;
            for (std::size_t from = 3; from + 1 < line.size() && got < t->nodes; from += w) {
                const std::string_view f = trim(column(line, from, w));
                if (f.empty() || !import::parse_integer(f, nodes[got++])) return false;
            }
            if (got < t->nodes) return false;
            for (std::size_t j = 0; j < take; ++j) {
                const std::int64_t i = nodes_->find(nodes[t->take[j]]);
                if (i < 0) return false;
                mesh.cell_nodes[n0 + e * take + j] = i;
            }
            mesh.cell_offsets[o0 + e] = static_cast<std::int64_t>(n0 + (e + 1) * take);
            mesh.cell_types[c0 + e] = t->vtk;
            mesh.cell_labels[c0 + e] = label;
        }
        return true;
    };
    const auto prepare = [&] {
        mesh.cell_nodes.resize(n0 + count * take);
        mesh.cell_offsets.resize(o0 + count);
        mesh.cell_types.resize(c0 + count);
        mesh.cell_labels.resize(c0 + count);
    };
    auto block = import::parallel_fixed_lines(reading_, c_.pos(), c_.end(), count, 2, parse, prepare);
    if (!block.end) block = import::parallel_lines(reading_, c_.pos(), c_.end(), 2 * count, parse, prepare);
    if (!block.end) {
        mesh.cell_nodes.resize(n0);
        mesh.cell_offsets.resize(o0);
        mesh.cell_types.resize(c0);
        mesh.cell_labels.resize(c0);
        return false;
    }
    c_.seek(block.end);
    return true;
}

void FrdReader::read_nodes(std::string_view header, const char* head) {
    if (have_nodes_) fail(head, "a second node block");
    const int format = block_format(header, head);
    const std::int64_t announced = int_field(header, head, 24, 12, "the node count");
    if (announced < 0) fail(head, "expected a node count of 0 or more");
    auto& mesh = out_.mesh;
    ZeroedVector<std::int64_t> labels;
    const std::size_t per = format >= 2 ? 4 + 3 * (format == 2 ? 4 : 8) : 40;
    need(announced, per, 4 * sizeof(double), head, "nodes");
    const auto reserve = static_cast<std::size_t>(
        std::min<std::uint64_t>(static_cast<std::uint64_t>(announced), c_.left() / per + 1));
    labels.reserve(reserve);
    mesh.points.reserve(3 * reserve);
    // Binary records have one size: a count the rest of the file cannot
    // hold is refused before anything is read.
    if (format >= 2 && static_cast<std::uint64_t>(announced) > c_.left() / per)
        fail(head, std::to_string(announced) + " nodes announced, but the rest of the file holds at most " +
                       std::to_string(c_.left() / per));
    try {
        if (format >= 2) {
            in_binary_ = true;
            for (std::int64_t i = 0; i < announced; ++i) {
                labels.push_back(c_.binary<std::int32_t>(false, "a node number"));
                for (int k = 0; k < 3; ++k)
                    mesh.points.push_back(binary_value(format, "a coordinate"));
            }
            in_binary_ = false;
        } else {
            const std::size_t w = format == 0 ? 5 : 10;
            std::string_view line;
            const char* at = nullptr;
            parallel_nodes(announced, w, labels);
            for (;;) {
                if (!record(line, at)) throw Cursor::EndOfInput{c_.pos(), "a node record"};
                const std::string_view key = column(line, 0, 3);
                if (key == " -3") break;
                if (key != " -1") fail(at, "expected a node record (-1) or the end of the block (-3)");
                labels.push_back(int_field(line, at, 3, w, "a node number"));
                for (int k = 0; k < 3; ++k)
                    mesh.points.push_back(
                        real_field(line, at, 3 + w + 12 * static_cast<std::size_t>(k), "a coordinate"));
            }
            count_differs("the node block", head, announced, static_cast<std::int64_t>(labels.size()));
        }
    } catch (const Cursor::EndOfInput&) {
        const std::size_t read = std::min(labels.size(), mesh.points.size() / 3);
        labels.resize(read);
        mesh.points.resize(3 * read);
        ended_early(" in the node block: " + std::to_string(announced) + " nodes announced, " +
                    std::to_string(read) + " read.");
    }
    in_binary_ = false;
    auto index = std::make_shared<TagIndex>();
    if (const std::int64_t dup = index->build(labels); dup >= 0)
        fail(head, "node " + std::to_string(dup) + " is given twice");
    nodes_ = std::move(index);
    mesh.point_labels = std::move(labels);
    points_ = mesh.point_count();
    have_nodes_ = true;
}

void FrdReader::read_elements(std::string_view header, const char* head) {
    if (!have_nodes_) fail(head, "the element block comes before the node block");
    if (have_elements_) fail(head, "a second element block");
    const int format = block_format(header, head);
    const std::int64_t announced = int_field(header, head, 24, 12, "the element count");
    if (announced < 0) fail(head, "expected an element count of 0 or more");
    auto& mesh = out_.mesh;
    mesh.cell_offsets.assign(1, 0);
    std::int64_t read = 0;
    auto add = [&](std::int64_t label, const FrdType& t, const std::int64_t* labels, const char* at) {
        for (const int g : t.take) {
            std::int64_t i = nodes_->find(labels[g]);
            if (i < 0) i = node_index(labels[g], at, ("element " + std::to_string(label)).c_str()); // fails
            mesh.cell_nodes.push_back(i);
        }
        mesh.cell_offsets.push_back(static_cast<std::int64_t>(mesh.cell_nodes.size()));
        mesh.cell_types.push_back(t.vtk);
        mesh.cell_labels.push_back(label);
        ++read;
    };
    std::int64_t nodes[20];
    try {
        if (format >= 2) {
            in_binary_ = true;
            for (std::int64_t e = 0; e < announced; ++e) {
                const char* at = c_.pos();
                const std::int64_t label = c_.binary<std::int32_t>(false, "an element number");
                const std::int64_t code = c_.binary<std::int32_t>(false, "an element type");
                c_.binary<std::int32_t>(false, "an element group");
                c_.binary<std::int32_t>(false, "an element material");
                const FrdType* t = frd_type(code);
                if (!t)
                    fail(at + 4,
                         "element type " + std::to_string(code) + " is not a CalculiX type (1 to 12)");
                for (int k = 0; k < t->nodes; ++k)
                    nodes[k] = c_.binary<std::int32_t>(false, "a node number");
                add(label, *t, nodes, at);
            }
            in_binary_ = false;
        } else {
            const std::size_t w = format == 0 ? 5 : 10;
            std::string_view line;
            const char* at = nullptr;
            if (parallel_elements(announced, w)) read = announced;
            for (;;) {
                if (!record(line, at)) throw Cursor::EndOfInput{c_.pos(), "an element record"};
                const std::string_view key = column(line, 0, 3);
                if (key == " -3") break;
                if (key != " -1") fail(at, "expected an element record (-1) or the end of the block (-3)");
                const char* el_at = at;
                const std::int64_t label = int_field(line, at, 3, w, "an element number");
                const std::int64_t code = int_field(line, at, 3 + w, 5, "an element type");
                const FrdType* t = frd_type(code);
                if (!t)
                    fail(at, "element type " + std::to_string(code) + " is not a CalculiX type (1 to 12)");
                int got = 0;
                while (got < t->nodes) {
                    if (!record(line, at)) throw Cursor::EndOfInput{c_.pos(), "a node number"};
                    if (column(line, 0, 3) != " -2")
                        fail(at, "expected the nodes (-2) of element " + std::to_string(label) + ", " +
                                     std::to_string(t->nodes - got) + " more");
                    for (std::size_t from = 3; from + 1 < line.size() && got < t->nodes; from += w) {
                        if (trim(column(line, from, w)).empty()) break;
                        nodes[got++] = int_field(line, at, from, w, "a node number");
                    }
                }
                add(label, *t, nodes, el_at);
            }
        }
    } catch (const Cursor::EndOfInput&) {
        ended_early(" in the element block: " + std::to_string(announced) + " elements announced, " +
                    std::to_string(read) + " read.");
    }
    in_binary_ = false;
    have_elements_ = true;
}

void FrdReader::read_results(std::string_view header, const char* head) {
    if (!have_nodes_) fail(head, "a result block comes before the node block");
    const int format = block_format(header, head);
    double time = 0;
    if (!import::parse_real(trim(column(header, 12, 12)), time) || std::isnan(time))
        fail(head, "expected the step value in columns 13-24");
    const std::int64_t announced = int_field(header, head, 24, 12, "the node count");
    const std::int64_t number = int_field(header, head, 58, 5, "the step number");
    if (announced < 0) fail(head, "expected a node count of 0 or more");

    std::string_view line;
    const char* at = nullptr;
    if (!record(line, at) || column(line, 0, 3) != " -4")
        fail(at ? at : c_.pos(), "expected the field record (-4) after the result block header");
    ImportField field;
    field.name = std::string(trim(column(line, 5, 8)));
    const std::int64_t listed = int_field(line, at, 13, 5, "the component count");
    if (listed < 1 || listed > 1000) fail(at, "expected 1 to 1000 components");
    for (std::int64_t k = 0; k < listed; ++k) {
        if (!record(line, at) || column(line, 0, 3) != " -5")
            fail(at,
                 "expected component record (-5) " + std::to_string(k + 1) + " of " + std::to_string(listed));
        const std::string_view exist = trim(column(line, 33, 5));
        std::int64_t iexist = 0;
        if (!exist.empty() && !import::parse_integer(exist, iexist))
            fail(at, "expected the component's existence flag in columns 34-38");
        if (iexist == 0) field.component_names.emplace_back(trim(column(line, 5, 8)));
        // Columns 19-23 say what the component is part of: 4 a symmetric
        // tensor, 12 and 14 amplitudes and phases (PDISP, PSTRESS), ...
        std::int64_t ictype = 4;
        if (iexist == 0 && import::parse_integer(trim(column(line, 18, 5)), ictype) && ictype != 4)
            field.symmetric_tensor = false;
    }
    const std::size_t nc = field.component_names.size();
    field.components = static_cast<int>(nc);
    const bool shown = nc >= 1 && nc <= 9;
    // A block of one record per node is indexed, to be read when its values
    // are needed; others (a block of some nodes may name nodes the node
    // block lacks, which only a full read reports) are read now.
    if (shown && reopen_ && points_ > 0 && announced == static_cast<std::int64_t>(points_)) {
        const char* values_at = c_.pos();
        if (skip_values(format, announced, nc)) {
            // A transient file is mostly such blocks: their pages need not
            // stay this process's memory until the index is done.
            if (mapped_) mapped_->forget(values_at, c_.pos());
            field.load = block_load(static_cast<std::size_t>(head - c_.begin()));
            if (stride_ > 0)
                field.load_row = row_load(static_cast<std::size_t>(values_at - c_.begin()), stride_, format);
            add_field(number, time, std::move(field));
            return;
        }
        c_.seek(values_at);
    }
    if (shown) {
        reading_.need(points_ * nc * sizeof(double), [&] {
            return std::to_string(points_ * nc) + " values of result block " + field.name + " announced " +
                   c_.where(head);
        });
        field.values.assign(points_ * nc, 0.0);
    }
    std::int64_t read = 0;
    // Records naming nodes the node block lacks (CalculiX writes such blocks,
    // and its own viewer skips them): skipped, counted for one warning.
    std::int64_t missing = 0;
    std::vector<std::int64_t> first_missing;
    const auto node_or_skip = [&](std::int64_t label) {
        const std::int64_t i = nodes_->find(label);
        if (i < 0 && missing++ < 5) first_missing.push_back(label);
        return i;
    };
    // A node named twice in one block is refused, as the node block refuses
    // a node given twice.
    std::vector<char> named(points_, 0);
    const auto once = [&](std::int64_t i, std::int64_t label, const char* at) {
        if (named[static_cast<std::size_t>(i)]++)
            fail(at, "a result record names node " + std::to_string(label) + " a second time in this block");
    };
    try {
        if (format >= 2) {
            in_binary_ = true;
            for (; read < announced; ++read) {
                const char* rat = c_.pos();
                const std::int64_t label = c_.binary<std::int32_t>(false, "a node number");
                const std::int64_t i = node_or_skip(label);
                if (i >= 0) once(i, label, rat);
                for (std::size_t k = 0; k < nc; ++k) {
                    const double v = binary_value(format, "a value", true);
                    if (shown && i >= 0) field.values[static_cast<std::size_t>(i) * nc + k] = v;
                }
            }
            in_binary_ = false;
        } else {
            const std::size_t w = format == 0 ? 5 : 10;
            std::size_t k = nc; // components of the current node still to read
            std::int64_t i = 0;
            const bool parallel = shown && parallel_results(announced, w, field); // its records are distinct
            if (parallel) read = announced;
            for (;;) {
                if (!record(line, at)) throw Cursor::EndOfInput{c_.pos(), "a result record"};
                const std::string_view key = column(line, 0, 3);
                if (key == " -3") break;
                std::size_t from = 3 + w;
                if (key == " -1") {
                    if (k < nc) fail(at, "expected the rest (-2) of the previous node's values");
                    const std::int64_t label = int_field(line, at, 3, w, "a node number");
                    i = node_or_skip(label);
                    if (!parallel && i >= 0) once(i, label, at);
                    k = 0;
                    ++read;
                } else if (key != " -2" || k >= nc) {
                    fail(at, "expected a result record (-1) or the end of the block (-3)");
                }
                for (; k < nc && from + 1 < line.size(); from += 12, ++k) {
                    const double v = real_field(line, at, from, "a value", true);
                    if (shown && i >= 0) field.values[static_cast<std::size_t>(i) * nc + k] = v;
                }
            }
            count_differs("result block " + field.name, head, announced, read);
        }
    } catch (const Cursor::EndOfInput&) {
        ended_early(" in result block " + field.name + ": " + std::to_string(announced) +
                    " nodes announced, " + std::to_string(read) + " read; the rest read as 0.");
    }
    in_binary_ = false;
    if (missing > 0) {
        std::string list;
        for (const std::int64_t n : first_missing)
            list += (list.empty() ? "" : ", ") + std::to_string(n);
        if (missing > static_cast<std::int64_t>(first_missing.size())) list += ", ...";
        out_.warnings.push_back(name() + ": result block " + field.name + " (step " + std::to_string(number) +
                                ") at line " + std::to_string(c_.line_of(head)) + " names " +
                                std::to_string(missing) + (missing == 1 ? " node" : " nodes") +
                                " the node block does not hold (" + list + "); " +
                                (missing == 1 ? "its record was" : "their records were") + " skipped.");
    }
    if (!shown) {
        if (std::find(out_.skipped_fields.begin(), out_.skipped_fields.end(), field.name) ==
            out_.skipped_fields.end())
            out_.skipped_fields.push_back(field.name);
        return;
    }
    add_field(number, time, std::move(field));
}

void FrdReader::add_field(std::int64_t number, double time, ImportField&& field) {
    auto it =
        std::find_if(steps_.begin(), steps_.end(), [&](const PendingStep& s) { return s.number == number; });
    if (it == steps_.end()) {
        steps_.push_back({number, {}});
        it = steps_.end() - 1;
        it->step.time = time;
    }
    it->step.fields.push_back(std::move(field));
}

bool FrdReader::skip_values(int format, std::int64_t announced, std::size_t nc) {
    const auto n = static_cast<std::uint64_t>(announced);
    stride_ = 0;
    if (format >= 2) {
        const std::uint64_t per = 4 + nc * (format == 2 ? 4 : 8);
        if (n > c_.left() / per) return false;
        c_.seek(c_.pos() + n * per);
        reading_.tick(c_.pos());
        stride_ = static_cast<std::size_t>(per);
        return true;
    }
    // Records as long as the first (its " -1" line and any " -2" lines),
    // when the block ends with " -3" just where they put its end.
    const char* from = c_.pos();
    const char* end = c_.end();
    const char* q = from;
    if (column(record_line(q, end), 0, 3) != " -1") return false;
    for (const char* r = q; q < end && column(record_line(r, end), 0, 3) == " -2"; q = r) {
    }
    const auto width = static_cast<std::uint64_t>(q - from);
    if (q[-1] == '\n' && n <= c_.left() / width) {
        const char* stop = from + n * width;
        const char* last = stop - width;
        if (stop[-1] == '\n' && std::string_view(last, 3) == " -1" && end - stop >= 3 &&
            std::string_view(stop, 3) == " -3") {
            c_.seek(stop);
            c_.next_line();
            reading_.tick(c_.pos());
            stride_ = static_cast<std::size_t>(width);
            return true;
        }
    }
    std::uint64_t held = 0;
    for (;;) {
        reading_.tick(c_.pos());
        if (c_.at_end()) return false;
        const std::string_view key = column(c_.rest_of_line(), 0, 3);
        if (key == " -3") return held == n;
        if (key == " -1")
            ++held;
        else if (key != " -2")
            return false;
    }
}

std::function<void(ZeroedVector<double>&)> FrdReader::block_load(std::size_t offset) const {
    return [reopen = reopen_, nodes = nodes_, points = points_, offset](ZeroedVector<double>& values) {
        const std::string shown = import::base_name(reopen->path);
        reopen->read([&](const char* data, std::size_t size) {
            const auto reread = [&](import::Reading& r) {
                return FrdReader(data, size, shown, r).reread(nodes, points, offset);
            };
            values = import::import_bytes(data, size, shown, reopen->options, reread);
        });
    };
}

std::function<bool(std::int64_t, std::span<double>)>
FrdReader::row_load(std::size_t values, std::size_t stride, int format) const {
    return [reopen = reopen_, nodes = nodes_, values, stride, format](std::int64_t i, std::span<double> row) {
        bool got = false;
        reopen->read([&](const char* data, std::size_t size) {
            const std::size_t at = values + static_cast<std::size_t>(i) * stride;
            if (i < 0 || at > size || size - at < stride) return;
            const char* p = data + at;
            const std::size_t nc = row.size();
            std::vector<double> v(nc, 0.0);
            if (format >= 2) {
                std::int32_t label = 0;
                std::memcpy(&label, p, 4);
                if (nodes->find(label) != i || stride != 4 + nc * (format == 2 ? 4 : 8)) return;
                for (std::size_t k = 0; k < nc; ++k) {
                    if (format == 2) {
                        float f = 0;
                        std::memcpy(&f, p + 4 + 4 * k, 4);
                        v[k] = static_cast<double>(f);
                    } else {
                        std::memcpy(&v[k], p + 4 + 8 * k, 8);
                    }
                }
            } else {
                // A " -1" line with the label and the first values, then
                // " -2" lines with the rest, 12 columns a value.
                const std::size_t w = format == 0 ? 5 : 10;
                const char* q = p;
                const char* stop = p + stride;
                std::size_t k = 0;
                for (bool first = true; q < stop; first = false) {
                    const std::string_view line = record_line(q, stop);
                    if (column(line, 0, 3) != (first ? " -1" : " -2")) return;
                    if (first) {
                        std::int64_t label = 0;
                        if (!import::parse_integer(trim(column(line, 3, w)), label) ||
                            nodes->find(label) != i)
                            return;
                    }
                    for (std::size_t from = 3 + w; k < nc && from + 1 < line.size(); from += 12, ++k)
                        if (!import::parse_real(trim(column(line, from, 12)), v[k])) return;
                }
                if (k != nc || stop[-1] != '\n') return;
            }
            std::copy(v.begin(), v.end(), row.begin());
            got = true;
        });
        return got;
    };
}

ZeroedVector<double> FrdReader::reread(std::shared_ptr<const TagIndex> nodes, std::size_t points,
                                       std::size_t offset) {
    nodes_ = std::move(nodes);
    points_ = points;
    have_nodes_ = true;
    c_.seek(c_.begin() + std::min(offset, static_cast<std::size_t>(c_.end() - c_.begin())));
    std::string_view line;
    const char* at = nullptr;
    if (!record(line, at)) fail(c_.end(), "expected a result block (\"  100C\")");
    read_results(line, at);
    if (steps_.empty() || steps_.front().step.fields.empty())
        fail(at, "expected a result block of 1 to 9 components");
    return std::move(steps_.front().step.fields.front().values);
}

void FrdReader::skip_block() {
    std::string_view line;
    const char* at = nullptr;
    while (record(line, at))
        if (column(line, 0, 3) == " -3") return;
}

ImportData FrdReader::run() {
    std::string_view line;
    const char* at = nullptr;
    bool first = true;
    while (!ended_ && record(line, at)) {
        if (trim(line).empty()) continue;
        const std::string_view key = trim(column(line, 0, 5));
        const char code = line.size() > 5 ? line[5] : ' ';
        if (first && !(key == "1" || key == "2"))
            fail(at, "expected the first record of a CalculiX .frd file (\"    1C\")");
        first = false;
        if (key == "9999") break;
        if (key == "1") continue; // headers: model name, user and step parameters
        if (key == "2" && code == 'C')
            read_nodes(line, at);
        else if (key == "3" && code == 'C')
            read_elements(line, at);
        else if (key == "100" && code == 'C')
            read_results(line, at);
        else if (key.size() >= 2 && key[0] == '-')
            fail(at, "expected a block header, found a record (" + std::string(key) + ") outside a block");
        else
            skip_block();
    }
    if (!have_nodes_) fail(c_.end(), "expected a node block (\"    2C\"); the file has none");
    for (auto& s : steps_)
        out_.steps.push_back(std::move(s.step));
    return std::move(out_);
}

} // namespace

bool sniff_frd(const char* data, std::size_t size) {
    const std::string_view s(data, size);
    return s.substr(0, 6) == "    1C" || s.substr(0, 6) == "    1U" || s.substr(0, 6) == "    2C";
}

ImportData import_frd(input::Input& in, const ReaderOptions& options) {
    const char* data = in.data();
    const auto size = static_cast<std::size_t>(in.size());
    return import::import_bytes(data, size, in.name(), options, [&](import::Reading& reading) {
        return FrdReader(data, size, in.name(), reading, import::Reopen::of(in, options), &in).run();
    });
}

} // namespace orv
