// Gmsh .msh reader. The file is scanned once, section by section ("$Name" to
// "$EndName"). Text sections are read as whitespace-separated tokens; in a
// binary file the section headers are text and the records raw numbers
// (int = 4 bytes, size_t and double = the format's data size, which must be
// 8), in the byte order that the "1" written after the version line shows.
// Node and element tags are mapped to 0-based indices through TagIndex, which
// is a plain array when the tags are dense and a sorted table otherwise.

#include "viewer/formats/gmsh_reader.h"

#include "viewer/formats/import_cursor.h"
#include "viewer/formats/import_parallel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <numeric>
#include <string_view>

namespace orv {
namespace {

using import::Cursor;
using import::TagIndex;

// ---- element types -----------------------------------------------------------

// Gmsh element types: code, family (l line, t triangle, q quadrilateral,
// s tetrahedron, h hexahedron, p prism, y pyramid, v point, g polygon or
// polyhedron), order, node count, complete (every node of the order's
// lattice present).
struct GmshType {
    int code;
    char family;
    int order;
    int nodes;
    bool complete;
};

constexpr GmshType kTypes[] = {
    {1, 'l', 1, 2, true},     {2, 't', 1, 3, true},      {3, 'q', 1, 4, true},     {4, 's', 1, 4, true},
    {5, 'h', 1, 8, true},     {6, 'p', 1, 6, true},      {7, 'y', 1, 5, true},     {8, 'l', 2, 3, true},
    {9, 't', 2, 6, true},     {10, 'q', 2, 9, true},     {11, 's', 2, 10, true},   {12, 'h', 2, 27, true},
    {13, 'p', 2, 18, true},   {14, 'y', 2, 14, true},    {15, 'v', 0, 1, true},    {16, 'q', 2, 8, false},
    {17, 'h', 2, 20, false},  {18, 'p', 2, 15, false},   {19, 'y', 2, 13, false},  {20, 't', 3, 9, false},
    {21, 't', 3, 10, true},   {22, 't', 4, 12, false},   {23, 't', 4, 15, true},   {24, 't', 5, 15, false},
    {25, 't', 5, 21, true},   {26, 'l', 3, 4, true},     {27, 'l', 4, 5, true},    {28, 'l', 5, 6, true},
    {29, 's', 3, 20, true},   {30, 's', 4, 35, true},    {31, 's', 5, 56, true},   {32, 's', 4, 22, false},
    {33, 's', 5, 28, false},  {34, 'g', 1, 0, false},    {35, 'g', 1, 0, false},   {36, 'q', 3, 16, true},
    {37, 'q', 4, 25, true},   {38, 'q', 5, 36, true},    {39, 'q', 3, 12, false},  {40, 'q', 4, 16, false},
    {41, 'q', 5, 20, false},  {42, 't', 6, 28, true},    {43, 't', 7, 36, true},   {44, 't', 8, 45, true},
    {45, 't', 9, 55, true},   {46, 't', 10, 66, true},   {47, 'q', 6, 49, true},   {48, 'q', 7, 64, true},
    {49, 'q', 8, 81, true},   {50, 'q', 9, 100, true},   {51, 'q', 10, 121, true}, {52, 't', 6, 18, false},
    {53, 't', 7, 21, false},  {54, 't', 8, 24, false},   {55, 't', 9, 27, false},  {56, 't', 10, 30, false},
    {57, 'q', 6, 24, false},  {58, 'q', 7, 28, false},   {59, 'q', 8, 32, false},  {60, 'q', 9, 36, false},
    {61, 'q', 10, 40, false}, {62, 'l', 6, 7, true},     {63, 'l', 7, 8, true},    {64, 'l', 8, 9, true},
    {65, 'l', 9, 10, true},   {66, 'l', 10, 11, true},   {67, 'g', 1, 0, false},   {68, 'g', 1, 0, false},
    {69, 'g', 1, 0, false},   {70, 'g', 1, 0, false},    {71, 's', 6, 84, true},   {72, 's', 7, 120, true},
    {73, 's', 8, 165, true},  {74, 's', 9, 220, true},   {75, 's', 10, 286, true}, {79, 's', 6, 34, false},
    {80, 's', 7, 40, false},  {81, 's', 8, 46, false},   {82, 's', 9, 52, false},  {83, 's', 10, 58, false},
    {84, 'l', 0, 1, true},    {85, 't', 0, 1, true},     {86, 'q', 0, 1, true},    {87, 's', 0, 1, true},
    {88, 'h', 0, 1, true},    {89, 'p', 0, 1, true},     {90, 'p', 3, 40, true},   {91, 'p', 4, 75, true},
    {92, 'h', 3, 64, true},   {93, 'h', 4, 125, true},   {94, 'h', 5, 216, true},  {95, 'h', 6, 343, true},
    {96, 'h', 7, 512, true},  {97, 'h', 8, 729, true},   {98, 'h', 9, 1000, true}, {99, 'h', 3, 32, false},
    {100, 'h', 4, 44, false}, {101, 'h', 5, 56, false},  {102, 'h', 6, 68, false}, {103, 'h', 7, 80, false},
    {104, 'h', 8, 92, false}, {105, 'h', 9, 104, false}, {118, 'y', 3, 30, true},  {119, 'y', 4, 55, true},
    {120, 'y', 5, 91, true},  {121, 'y', 6, 140, true},  {122, 'y', 7, 204, true}, {123, 'y', 8, 285, true},
    {124, 'y', 9, 385, true}, {125, 'y', 3, 21, false},  {126, 'y', 4, 29, false}, {127, 'y', 5, 37, false},
    {128, 'y', 6, 45, false}, {129, 'y', 7, 53, false},  {130, 'y', 8, 61, false}, {131, 'y', 9, 69, false},
    {132, 'y', 0, 1, true},   {137, 'h', 2, 16, false},
};

const GmshType* find_type(int code) {
    for (const auto& t : kTypes)
        if (t.code == code) return &t;
    return nullptr;
}

std::string type_name(int code) {
    const GmshType* t = find_type(code);
    if (!t) return "type " + std::to_string(code);
    const char* family = "";
    switch (t->family) {
    case 'l':
        family = "line";
        break;
    case 't':
        family = "triangle";
        break;
    case 'q':
        family = "quadrangle";
        break;
    case 's':
        family = "tetrahedron";
        break;
    case 'h':
        family = "hexahedron";
        break;
    case 'p':
        family = "prism";
        break;
    case 'y':
        family = "pyramid";
        break;
    case 'v':
        family = "point";
        break;
    default:
        family = "polygon or polyhedron";
        break;
    }
    return std::to_string(t->nodes) + "-node " + family + " (type " + std::to_string(code) + ")";
}

// Gmsh's node order for a complete quadrilateral of order n as (i, j) lattice
// points: corners, then the edges 0-1, 1-2, 2-3, 3-0 each in its direction,
// then the interior as a quadrilateral of order n - 2, recursively.
void gmsh_quad_points(int n, int a, std::vector<std::array<int, 2>>& out) {
    if (n == 0) {
        out.push_back({a, a});
        return;
    }
    const int b = a + n;
    out.insert(out.end(), {{a, a}, {b, a}, {b, b}, {a, b}});
    for (int k = 1; k < n; ++k)
        out.push_back({a + k, a});
    for (int k = 1; k < n; ++k)
        out.push_back({b, a + k});
    for (int k = 1; k < n; ++k)
        out.push_back({b - k, b});
    for (int k = 1; k < n; ++k)
        out.push_back({a, b - k});
    if (n >= 2) gmsh_quad_points(n - 2, a + 1, out);
}

// VTK's index of lattice point (i, j) of a Lagrange quadrilateral of order n:
// corners, edges along i at j = 0 and j = n, along j at i = n and i = 0 (each
// in increasing direction), then the interior with i running fastest.
int vtk_quad_index(int i, int j, int n) {
    const bool ib = i == 0 || i == n, jb = j == 0 || j == n;
    if (ib && jb) return i ? (j ? 2 : 1) : (j ? 3 : 0);
    if (jb) return 4 + (i - 1) + (j ? 2 * (n - 1) : 0);     // edges 0 and 2
    if (ib) return 4 + (j - 1) + (i ? n - 1 : 3 * (n - 1)); // edges 1 and 3
    return 4 + 4 * (n - 1) + (i - 1) + (n - 1) * (j - 1);
}

GmshCellMap make_map(const GmshType& t) {
    GmshCellMap m;
    m.nodes = t.nodes;
    auto identity = [&](int count) {
        m.take.resize(static_cast<std::size_t>(count));
        std::iota(m.take.begin(), m.take.end(), 0);
    };
    auto corners = [&](std::uint8_t vtk, int count) {
        m.vtk = vtk;
        m.reduced = count < t.nodes;
        identity(count);
    };
    if (t.nodes == 0) return m;
    if (t.family == 'v' || t.order == 0) {
        // Points, and the one-node elements Gmsh uses for constant fields.
        m.vtk = vtk_vertex;
        identity(1);
        return m;
    }
    if (!t.complete && !(t.nodes == 8 && t.family == 'q') && !(t.nodes == 20 && t.family == 'h') &&
        !(t.nodes == 15 && t.family == 'p') && !(t.nodes == 13 && t.family == 'y')) {
        // Incomplete high orders that VTK has no cell for: corners only.
        switch (t.family) {
        case 'l':
            corners(vtk_line, 2);
            break;
        case 't':
            corners(vtk_triangle, 3);
            break;
        case 'q':
            corners(vtk_quad, 4);
            break;
        case 's':
            corners(vtk_tetra, 4);
            break;
        case 'h':
            corners(vtk_hexahedron, 8);
            break;
        case 'p':
            corners(vtk_wedge, 6);
            break;
        case 'y':
            corners(vtk_pyramid, 5);
            break;
        }
        return m;
    }
    switch (t.family) {
    case 'l':
        // Ends, then the inner nodes in order: VTK's order too.
        m.vtk = t.order == 1 ? vtk_line : t.order == 2 ? vtk_quadratic_edge : vtk_lagrange_curve;
        identity(t.nodes);
        break;
    case 't':
        // Gmsh and VTK both order a triangle's lattice as corners, edges 0-1,
        // 1-2, 2-0, then the interior triangle recursively.
        m.vtk = t.order == 1 ? vtk_triangle : t.order == 2 ? vtk_quadratic_triangle : vtk_lagrange_triangle;
        identity(t.nodes);
        break;
    case 'q':
        if (t.order == 1 || t.nodes == 8) {
            m.vtk = t.order == 1 ? vtk_quad : vtk_quadratic_quad;
            identity(t.nodes);
        } else if (t.order == 2) {
            m.vtk = vtk_biquadratic_quad;
            identity(9);
        } else {
            m.vtk = vtk_lagrange_quadrilateral;
            std::vector<std::array<int, 2>> pts;
            gmsh_quad_points(t.order, 0, pts);
            m.take.assign(pts.size(), 0);
            for (std::size_t g = 0; g < pts.size(); ++g)
                m.take[static_cast<std::size_t>(vtk_quad_index(pts[g][0], pts[g][1], t.order))] =
                    static_cast<int>(g);
        }
        break;
    case 's':
        if (t.order == 1) {
            corners(vtk_tetra, 4);
        } else if (t.order == 2) {
            // Gmsh's edges 4..9: 0-1, 1-2, 2-0, 0-3, 2-3, 1-3; VTK's last two are 1-3, 2-3.
            m.vtk = vtk_quadratic_tetra;
            m.take = {0, 1, 2, 3, 4, 5, 6, 7, 9, 8};
        } else {
            corners(vtk_tetra, 4);
        }
        break;
    case 'h':
        if (t.order == 1) {
            corners(vtk_hexahedron, 8);
        } else if (t.order == 2) {
            // Gmsh's edges 8..19: 0-1, 0-3, 0-4, 1-2, 1-5, 2-3, 2-6, 3-7, 4-5, 4-7,
            // 5-6, 6-7; VTK's: 0-1, 1-2, 2-3, 3-0, 4-5, 5-6, 6-7, 7-4, 0-4, 1-5,
            // 2-6, 3-7. Faces: Gmsh z-, y-, x-, x+, y+, z+; VTK x-, x+, y-, y+, z-, z+.
            m.take = {0, 1, 2, 3, 4, 5, 6, 7, 8, 11, 13, 9, 16, 18, 19, 17, 10, 12, 14, 15};
            if (t.nodes == 27) {
                m.vtk = vtk_triquadratic_hexahedron;
                m.take.insert(m.take.end(), {22, 23, 21, 24, 20, 25, 26});
            } else {
                m.vtk = vtk_quadratic_hexahedron;
            }
        } else {
            corners(vtk_hexahedron, 8);
        }
        break;
    case 'p':
        if (t.order == 2) {
            // Gmsh's edges 6..14: 0-1, 0-2, 0-3, 1-2, 1-4, 2-5, 3-4, 3-5, 4-5; VTK's:
            // 0-1, 1-2, 2-0, 3-4, 4-5, 5-3, 0-3, 1-4, 2-5.
            m.vtk = vtk_quadratic_wedge;
            m.take = {0, 1, 2, 3, 4, 5, 6, 9, 7, 12, 14, 13, 8, 10, 11};
            if (t.nodes == 18) {
                // Gmsh's face centres 15..17: faces 0-1-4-3, 0-2-5-3, 1-2-5-4;
                // VTK's 18-node wedge: 0-1-4-3, 1-2-5-4, 2-0-3-5.
                m.vtk = vtk_lagrange_wedge;
                m.take.insert(m.take.end(), {15, 17, 16});
            }
        } else {
            corners(vtk_wedge, 6);
        }
        break;
    case 'y':
        if (t.order == 2) {
            // Gmsh's edges 5..12: 0-1, 0-3, 0-4, 1-2, 1-4, 2-3, 2-4, 3-4; VTK's:
            // 0-1, 1-2, 2-3, 3-0, 0-4, 1-4, 2-4, 3-4.
            m.vtk = vtk_quadratic_pyramid;
            m.take = {0, 1, 2, 3, 4, 5, 8, 10, 6, 7, 9, 11, 12};
            m.reduced = t.nodes > 13;
        } else {
            corners(vtk_pyramid, 5);
        }
        break;
    }
    return m;
}

// ---- the reader ----------------------------------------------------------------

struct FieldKey {
    std::int64_t step;
    std::string name;
    int kind; // 0 node, 1 element, 2 element-node
    bool operator<(const FieldKey& o) const {
        return std::tie(step, name, kind) < std::tie(o.step, o.name, o.kind);
    }
};

struct PendingField {
    std::optional<double> time;
    ImportField field;
    std::vector<std::uint32_t> counts; // element-node data: values summed per node
    std::vector<std::uint8_t> given;   // element data: the cells given a value
    std::size_t order = 0;             // first appearance in the file
    std::size_t blocks = 0;            // sections read into it so far
    // Node data left in the file: the byte offsets of its sections, which
    // field.load reads again in order (null: the values are in field).
    std::shared_ptr<std::vector<std::size_t>> sections;
};

// What reading a $NodeData section again needs of the first pass.
struct MshNodes {
    std::shared_ptr<const TagIndex> tags;
    std::size_t points = 0;
    bool binary = false, swap = false;
};

class MshReader {
  public:
    // `reopen`: where node data can be read again later; null to keep it.
    MshReader(const char* data, std::size_t size, const std::string& name, import::Reading& reading,
              std::shared_ptr<const import::Reopen> reopen = nullptr)
        : c_(data, size, name), reading_(reading), reopen_(std::move(reopen)) {}

    ImportData run();

    // The values of the node data whose sections start at `sections` (past
    // their "$NodeData" lines), read as the first pass would have read them.
    ZeroedVector<double> reread(const MshNodes& nodes, const std::vector<std::size_t>& sections);

  private:
    Cursor c_;
    import::Reading& reading_;
    std::shared_ptr<const import::Reopen> reopen_;
    std::size_t points_ = 0; // nodes of $Nodes
    bool binary_ = false;
    bool swap_ = false;
    int major_ = 0;
    bool have_nodes_ = false, have_elements_ = false;
    ImportData out_;
    std::shared_ptr<const TagIndex> nodes_ = std::make_shared<TagIndex>();
    TagIndex cells_;
    std::vector<std::int16_t> cell_gmsh_type_; // per cell, for element-node data
    std::map<int, std::size_t> skipped_types_, reduced_types_;
    std::map<FieldKey, PendingField> fields_;
    bool ended_ = false;

    const std::string& name() const { return c_.name(); }
    [[noreturn]] void fail(const char* at, const std::string& what) const {
        if (binary_ && in_binary_) c_.fail_binary(at, what);
        c_.fail(at, what);
    }
    bool in_binary_ = false;                 // the cursor is in a binary file's raw records
    std::vector<std::int64_t> element_cell_; // cell index per element place, -1 when skipped

    void read_format();
    void read_nodes(bool parametric = false);
    void read_elements();
    void read_data(int kind);
    void skip_section(std::string_view section);
    void expect_end(std::string_view section);
    void ended_early(const std::string& what);

    // Binary numbers at the cursor; in ASCII files the same numbers as tokens.
    std::int64_t get_int(const char* what) {
        reading_.tick(c_.pos());
        if (!binary_) return c_.integer(what);
        return c_.binary<std::int32_t>(swap_, what);
    }
    std::int64_t get_size(const char* what) {
        reading_.tick(c_.pos());
        if (!binary_) return c_.integer(what);
        const auto v = c_.binary<std::uint64_t>(swap_, what);
        if (v > static_cast<std::uint64_t>(INT64_MAX)) fail(c_.pos() - 8, std::string("expected ") + what);
        return static_cast<std::int64_t>(v);
    }
    double get_real(const char* what) {
        reading_.tick(c_.pos());
        if (!binary_) return c_.real(what);
        const double v = c_.binary<double>(swap_, what);
        if (!std::isfinite(v))
            fail(c_.pos() - 8, std::string("expected ") + what + ", found a non-finite real");
        return v;
    }
    // A result value: non-finite reads as NaN.
    double get_value(const char* what) {
        reading_.tick(c_.pos());
        if (!binary_) return c_.value(what);
        return import::value_of(c_.binary<double>(swap_, what));
    }
    // A count must not be negative; what is reserved for it is bounded by what
    // the rest of the file can hold at `bytes` bytes per item (a count larger
    // than the file then ends early, with a warning, instead of allocating).
    std::int64_t checked_count(std::int64_t n, const char* at, const char* what) {
        if (n < 0) fail(at, std::string("expected ") + what + ", found " + std::to_string(n));
        return n;
    }
    std::size_t reservable(std::int64_t n, std::size_t bytes) const {
        return static_cast<std::size_t>(
            std::min<std::uint64_t>(static_cast<std::uint64_t>(n), c_.left() / bytes + 1));
    }
    // The position of the next token, for messages (text: past blanks and line ends).
    const char* here() {
        reading_.tick(c_.pos());
        if (!binary_) c_.skip_space();
        return c_.pos();
    }
    // After binary records, the line end before "$End...".
    void after_binary() {
        if (binary_) c_.skip_space();
    }
    std::int64_t node_index(std::int64_t tag, const char* at, const char* where) {
        const std::int64_t i = nodes_->find(tag);
        if (i < 0)
            fail(at,
                 std::string(where) + " names node " + std::to_string(tag) + ", which $Nodes does not hold");
        return i;
    }
    void add_cell(std::int64_t tag, int type, const std::int64_t* tags, const char* at);
    // The memory `count` items of `bytes` each will take, against the limit.
    // Counts beyond what the rest of the file can hold are left to the
    // checks that find the file ending early.
    void need(std::int64_t count, std::size_t bytes, const char* at, const std::string& what) {
        const std::int64_t n = static_cast<std::int64_t>(reservable(count, 8));
        reading_.need(static_cast<std::uint64_t>(std::max<std::int64_t>(n, 0)) * bytes, [&] {
            return std::to_string(count) + " " + what + " announced " +
                   (binary_ && in_binary_ ? c_.where_byte(at) : c_.where(at));
        });
    }
    // Text blocks read on the reading threads (see import_parallel.h); each
    // returns false, having changed nothing, when the block must be read on
    // one thread.
    bool parallel_node_block(std::int64_t n, ZeroedVector<std::int64_t>& labels);
    // A binary node block of 4.1 (not parametric): tags, then points.
    bool parallel_binary_node_block(std::int64_t n, ZeroedVector<std::int64_t>& labels);
    // A binary $NodeData block: fixed records, cut by arithmetic.
    bool parallel_binary_node_data(std::int64_t count, std::size_t nc, PendingField& pf);
    bool parallel_element_block(std::int64_t n, std::int64_t code, const GmshCellMap& map,
                                std::vector<std::int64_t>& all_tags, std::vector<std::int64_t>& cell_of);
    bool parallel_node_data(std::int64_t count, std::size_t nc, PendingField& pf);
    // `keep`: allocate the values (false for node data left in the file).
    PendingField& field_for(const char* at, int kind, const std::vector<std::string>& strings,
                            const std::vector<double>& reals, std::int64_t step, int comps, bool keep = true);
    // Moves past the `count` records of `nc` values of a $NodeData section
    // and its end without reading them; false (the cursor anywhere) when the
    // section does not end where its count puts its end.
    bool skip_node_data(std::int64_t count, std::size_t nc);
    // The field's load, reading its sections again from the file.
    std::function<void(ZeroedVector<double>&)>
    node_data_load(std::shared_ptr<std::vector<std::size_t>> sections);
};

void MshReader::ended_early(const std::string& what) {
    out_.warnings.push_back(name() + " ends early" + what);
    ended_ = true;
}

void MshReader::skip_section(std::string_view section) {
    const std::string end = "$End" + std::string(section);
    const char* from = here();
    for (;;) {
        const std::string_view line = c_.rest_of_line();
        if (line.substr(0, end.size()) == end) return;
        if (c_.at_end()) {
            ended_early(": the section $" + std::string(section) + " at line " +
                        std::to_string(c_.line_of(from)) + " has no " + end + ".");
            return;
        }
    }
}

void MshReader::expect_end(std::string_view section) {
    after_binary();
    in_binary_ = false;
    const char* at = here();
    const std::string end = "$End" + std::string(section);
    const std::string_view t = c_.token();
    if (t.empty()) {
        ended_early(": " + end + " is missing.");
        return;
    }
    // Gmsh itself accepts this misspelling, which some writers use.
    if (t != end && !(section == "ElementData" && t == "$EndElememtData"))
        c_.fail(at, "expected " + end + ", found \"" + std::string(t.substr(0, 40)) +
                        "\" (a count in the section may be wrong)");
    c_.next_line();
}

void MshReader::read_format() {
    const char* at = here();
    const std::string_view v = c_.token();
    double version = 0;
    if (!import::parse_real(v, version)) c_.fail(at, "expected the format version, such as 4.1 or 2.2");
    const std::int64_t file_type = c_.integer("the file type (0 ASCII, 1 binary)");
    const std::int64_t data_size = c_.integer("the data size");
    if (version >= 2 && version < 3)
        major_ = 2;
    else if (std::abs(version - 4.1) < 1e-9)
        major_ = 4;
    else
        c_.fail(at, "Gmsh format version " + std::string(v) + " is not supported (2.2 and 4.1 are)");
    if (file_type != 0 && file_type != 1) c_.fail(at, "expected file type 0 (ASCII) or 1 (binary)");
    binary_ = file_type == 1;
    c_.next_line();
    if (binary_) {
        if (data_size != 8)
            c_.fail(at, "binary data of size " + std::to_string(data_size) + " is not supported (8 is)");
        const char* one_at = c_.pos();
        if (c_.left() < 4) c_.fail(one_at, "expected the binary 1 that shows the byte order");
        std::int32_t one = 0;
        std::memcpy(&one, one_at, 4);
        if (one == 1)
            swap_ = false;
        else if (one == 0x01000000)
            swap_ = true;
        else
            c_.fail_binary(one_at, "expected the binary 1 that shows the byte order");
        c_.seek(one_at + 4);
    }
    expect_end("MeshFormat");
}

// `parametric`: a version 2 $ParametricNodes section, whose node lines add
// the node's entity (dimension, tag) and its dimension's parametric
// coordinates (1 on a curve, 2 on a surface), which are not needed here.
void MshReader::read_nodes(bool parametric_section) {
    if (have_nodes_) c_.fail(c_.pos(), "a second $Nodes section");
    auto& mesh = out_.mesh;
    std::int64_t total = 0;
    const char* head = here();
    ZeroedVector<std::int64_t> labels;
    try {
        if (major_ == 2) {
            total = c_.integer("the node count");
            c_.next_line();
            in_binary_ = binary_;
            checked_count(total, head, "nodes");
            need(total, 4 * sizeof(double), head, "nodes");
            labels.reserve(reservable(total, binary_ ? 28 : 8));
            mesh.points.reserve(3 * reservable(total, binary_ ? 28 : 8));
            for (std::int64_t i = 0; i < total; ++i) {
                labels.push_back(get_int("a node tag"));
                for (int k = 0; k < 3; ++k)
                    mesh.points.push_back(get_real("a coordinate"));
                if (!parametric_section) continue;
                const char* at = here();
                const std::int64_t dim = get_int("the node's entity dimension");
                get_int("the node's entity tag");
                if (dim < 0 || dim > 3) fail(at, "expected an entity dimension of 0..3");
                for (std::int64_t k = 0; k < (dim == 1 || dim == 2 ? dim : 0); ++k)
                    get_real("a parametric coordinate");
            }
        } else {
            in_binary_ = binary_;
            const std::int64_t blocks = get_size("the entity block count");
            total = get_size("the node count");
            get_size("the smallest node tag");
            get_size("the largest node tag");
            if (!binary_) c_.next_line();
            checked_count(blocks, head, "entity blocks");
            checked_count(total, head, "nodes");
            need(total, 4 * sizeof(double), head, "nodes");
            labels.reserve(reservable(total, binary_ ? 32 : 8));
            mesh.points.reserve(3 * reservable(total, binary_ ? 32 : 8));
            for (std::int64_t b = 0; b < blocks; ++b) {
                const char* at = here();
                const std::int64_t dim = get_int("the entity dimension");
                get_int("the entity tag");
                const std::int64_t parametric = get_int("the parametric flag");
                const std::int64_t n = get_size("the block's node count");
                if (dim < 0 || dim > 3 || parametric < 0 || parametric > 1)
                    fail(at, "expected an entity block header (dimension 0..3, parametric 0 or 1)");
                if (n < 0 || static_cast<std::uint64_t>(labels.size()) + static_cast<std::uint64_t>(n) >
                                 static_cast<std::uint64_t>(total))
                    fail(at,
                         "the node blocks hold more nodes than the " + std::to_string(total) + " announced");
                if (!parametric &&
                    (binary_ ? parallel_binary_node_block(n, labels) : parallel_node_block(n, labels)))
                    continue;
                for (std::int64_t i = 0; i < n; ++i)
                    labels.push_back(get_size("a node tag"));
                const int extra = parametric ? static_cast<int>(dim) : 0;
                for (std::int64_t i = 0; i < n; ++i) {
                    for (int k = 0; k < 3; ++k)
                        mesh.points.push_back(get_real("a coordinate"));
                    for (int k = 0; k < extra; ++k)
                        get_real("a parametric coordinate");
                }
            }
            if (static_cast<std::int64_t>(labels.size()) != total)
                fail(here(), "the node blocks hold " + std::to_string(labels.size()) + " nodes, not the " +
                                 std::to_string(total) + " announced");
        }
    } catch (const Cursor::EndOfInput&) {
        const std::size_t read = std::min(labels.size(), mesh.points.size() / 3);
        ended_early(" in $Nodes: " + std::to_string(total) + " nodes announced, " + std::to_string(read) +
                    " read; the rest are left out.");
        labels.resize(read);
        mesh.points.resize(3 * read);
    }
    for (const auto l : labels)
        if (l <= 0) fail(head, "node tag " + std::to_string(l) + " is not positive");
    auto index = std::make_shared<TagIndex>();
    const std::int64_t dup = index->build(labels);
    nodes_ = std::move(index);
    if (dup >= 0) fail(head, "node tag " + std::to_string(dup) + " is given twice");
    mesh.point_labels = std::move(labels);
    points_ = out_.mesh.point_count();
    have_nodes_ = true;
    if (!ended_) expect_end(parametric_section ? "ParametricNodes" : "Nodes");
}

bool MshReader::parallel_node_block(std::int64_t n, ZeroedVector<std::int64_t>& labels) {
    auto& points = out_.mesh.points;
    const std::size_t first = labels.size();
    const auto count = static_cast<std::size_t>(n);
    c_.skip_space();
    const auto tags = import::parallel_tokens(
        reading_, c_.pos(), c_.end(), count,
        [&](const import::TokenPiece& p) {
            const char* q = p.begin;
            for (std::size_t k = 0; k < p.count; ++k)
                if (!import::parse_integer(import::next_token(q, p.end), labels[first + p.first + k]))
                    return false;
            return true;
        },
        [&] { labels.resize(first + count); });
    if (!tags.end) {
        labels.resize(first);
        return false;
    }
    const char* after_tags = tags.end;
    c_.seek(after_tags);
    c_.skip_space();
    const std::size_t pfirst = points.size();
    const auto coords = import::parallel_tokens(
        reading_, c_.pos(), c_.end(), 3 * count,
        [&](const import::TokenPiece& p) {
            const char* q = p.begin;
            for (std::size_t k = 0; k < p.count; ++k)
                if (!import::parse_real(import::next_token(q, p.end), points[pfirst + p.first + k]) ||
                    std::isnan(points[pfirst + p.first + k]))
                    return false;
            return true;
        },
        [&] { points.resize(pfirst + 3 * count); });
    if (!coords.end) {
        // The tags stand; the coordinates are read on one thread.
        points.resize(pfirst);
        c_.seek(after_tags);
        for (std::size_t i = 0; i < count; ++i)
            for (int k = 0; k < 3; ++k)
                points.push_back(get_real("a coordinate"));
        return true;
    }
    c_.seek(coords.end);
    return true;
}

namespace {
// Fixed-size binary numbers of the parallel passes, in the file's byte
// order; false for what the one-thread pass refuses (a size beyond int64,
// a real that is not finite).
bool size_at(const unsigned char* q, bool swap, std::int64_t& out) {
    std::uint64_t v;
    std::memcpy(&v, q, 8);
    if (swap) v = __builtin_bswap64(v);
    if (v > static_cast<std::uint64_t>(INT64_MAX)) return false;
    out = static_cast<std::int64_t>(v);
    return true;
}
bool real_at(const unsigned char* q, bool swap, double& out) {
    std::uint64_t w;
    std::memcpy(&w, q, 8);
    if (swap) w = __builtin_bswap64(w);
    std::memcpy(&out, &w, 8);
    return std::isfinite(out);
}
} // namespace

bool MshReader::parallel_element_block(std::int64_t n, std::int64_t code, const GmshCellMap& map,
                                       std::vector<std::int64_t>& all_tags,
                                       std::vector<std::int64_t>& cell_of) {
    auto& mesh = out_.mesh;
    const auto count = static_cast<std::size_t>(n);
    const std::size_t per = 1 + static_cast<std::size_t>(map.nodes);
    const std::size_t take = map.take.size();
    const std::size_t e0 = all_tags.size(), c0 = mesh.cell_types.size(), n0 = mesh.cell_nodes.size();
    const std::size_t o0 = mesh.cell_offsets.size();
    const bool drawn = map.vtk != 0;
    if (per > 64) return false;
    // Element e of the block with its tag and node tags in row.
    const auto store = [&](std::size_t e, const std::int64_t* row) {
        all_tags[e0 + e] = row[0];
        if (!drawn) {
            cell_of[e0 + e] = -1;
            return true;
        }
        const std::size_t cell = c0 + e;
        for (std::size_t j = 0; j < take; ++j) {
            const std::int64_t i = nodes_->find(row[1 + static_cast<std::size_t>(map.take[j])]);
            if (i < 0) return false;
            mesh.cell_nodes[n0 + e * take + j] = i;
        }
        mesh.cell_offsets[cell + 1] = static_cast<std::int64_t>(n0 + (e + 1) * take);
        mesh.cell_types[cell] = map.vtk;
        mesh.cell_labels[cell] = row[0];
        cell_gmsh_type_[cell] = static_cast<std::int16_t>(code);
        cell_of[e0 + e] = static_cast<std::int64_t>(cell);
        return true;
    };
    const auto prepare = [&] {
        all_tags.resize(e0 + count);
        cell_of.resize(e0 + count);
        if (!drawn) return;
        if (mesh.cell_offsets.empty()) mesh.cell_offsets.push_back(0);
        mesh.cell_nodes.resize(n0 + count * take);
        mesh.cell_offsets.resize(c0 + 1 + count);
        mesh.cell_types.resize(c0 + count);
        mesh.cell_labels.resize(c0 + count);
        cell_gmsh_type_.resize(c0 + count);
    };
    import::ParallelBlock block;
    if (binary_) {
        // Records of `per` 8-byte numbers: the tag, then the node tags.
        block = import::parallel_records(
            reading_, c_.pos(), c_.end(), count, 8 * per,
            [&](const import::TokenPiece& p) {
                const auto* q = reinterpret_cast<const unsigned char*>(p.begin);
                std::int64_t row[64];
                for (std::size_t e = p.first, last = e + p.count; e < last; ++e) {
                    for (std::size_t k = 0; k < per; ++k, q += 8) {
                        if (!size_at(q, swap_, row[k])) return false;
                    }
                    if (!store(e, row)) return false;
                }
                return true;
            },
            prepare);
    } else {
        c_.skip_space();
        block = import::parallel_tokens(
            reading_, c_.pos(), c_.end(), count * per,
            [&](const import::TokenPiece& p) {
                if (p.first % per != 0 || p.count % per != 0) return false; // records split between pieces
                const char* q = p.begin;
                std::int64_t row[64];
                for (std::size_t e = p.first / per, last = e + p.count / per; e < last; ++e) {
                    for (std::size_t k = 0; k < per; ++k)
                        if (!import::parse_integer(import::next_token(q, p.end), row[k])) return false;
                    if (!store(e, row)) return false;
                }
                return true;
            },
            prepare);
    }
    if (!block.end) {
        all_tags.resize(e0);
        cell_of.resize(e0);
        if (drawn) {
            mesh.cell_nodes.resize(n0);
            mesh.cell_offsets.resize(o0);
            mesh.cell_types.resize(c0);
            mesh.cell_labels.resize(c0);
            cell_gmsh_type_.resize(c0);
        }
        return false;
    }
    if (!drawn)
        skipped_types_[static_cast<int>(code)] += count;
    else if (map.reduced)
        reduced_types_[static_cast<int>(code)] += count;
    c_.seek(block.end);
    return true;
}

bool MshReader::parallel_binary_node_block(std::int64_t n, ZeroedVector<std::int64_t>& labels) {
    auto& points = out_.mesh.points;
    const std::size_t l0 = labels.size(), p0 = points.size(), count = static_cast<std::size_t>(n);
    // n tags of 8 bytes, then n points of three doubles; a file shorter than
    // that is left to one thread, which says where it ends.
    if (c_.left() / 32 < count) return false;
    const char* tags_at = c_.pos();
    const char* points_at = tags_at + 8 * count;
    const auto prepare = [&] {
        labels.resize(l0 + count);
        points.resize(p0 + 3 * count);
    };
    const auto tags = import::parallel_records(
        reading_, tags_at, c_.end(), count, 8,
        [&](const import::TokenPiece& p) {
            const auto* q = reinterpret_cast<const unsigned char*>(p.begin);
            for (std::size_t r = p.first, last = r + p.count; r < last; ++r, q += 8) {
                if (!size_at(q, swap_, labels[l0 + r])) return false;
            }
            return true;
        },
        prepare);
    const auto coords =
        tags.end ? import::parallel_records(
                       reading_, points_at, c_.end(), count, 24,
                       [&](const import::TokenPiece& p) {
                           const auto* q = reinterpret_cast<const unsigned char*>(p.begin);
                           for (std::size_t k = 3 * p.first, last = k + 3 * p.count; k < last; ++k, q += 8) {
                               if (!real_at(q, swap_, points[p0 + k])) return false;
                           }
                           return true;
                       })
                 : import::ParallelBlock{};
    if (!coords.end) {
        labels.resize(l0);
        points.resize(p0);
        return false;
    }
    c_.seek(coords.end);
    return true;
}

bool MshReader::parallel_binary_node_data(std::int64_t count, std::size_t nc, PendingField& pf) {
    const std::size_t bytes = 4 + 8 * nc; // an int tag, then the values
    auto& values = pf.field.values;
    import::RowMarks seen(points_);
    // Rows as earlier blocks of the same view and step left them (partitioned
    // output splits one field over several blocks); taken only when the
    // pieces run, so that a pass that gives up can put back what it wrote.
    std::vector<double> before;
    const auto block = import::parallel_records(
        reading_, c_.pos(), c_.end(), static_cast<std::size_t>(count), bytes,
        [&](const import::TokenPiece& p) {
            const auto* q = reinterpret_cast<const unsigned char*>(p.begin);
            for (std::size_t r = 0; r < p.count; ++r, q += bytes) {
                std::uint32_t t;
                std::memcpy(&t, q, 4);
                if (swap_) t = __builtin_bswap32(t);
                const std::int64_t i = nodes_->find(static_cast<std::int32_t>(t));
                if (i < 0) return false;
                seen.mark(static_cast<std::size_t>(i));
                for (std::size_t k = 0; k < nc; ++k) {
                    if (!real_at(q + 4 + 8 * k, swap_, values[static_cast<std::size_t>(i) * nc + k]))
                        return false;
                }
            }
            return true;
        },
        [&] {
            if (pf.blocks > 0) before.assign(values.begin(), values.end());
        });
    if (block.end && seen.distinct(static_cast<std::size_t>(count))) {
        c_.seek(block.end);
        return true;
    }
    // The one-thread pass reads the block again in file order, from values as
    // before: only the rows the pieces marked were written (a row is marked
    // before its values), and only those go back.
    for (std::size_t i = 0, rows = points_; i < rows; ++i)
        if (seen.marked(i))
            for (std::size_t k = 0; k < nc; ++k)
                values[i * nc + k] = before.empty() ? 0.0 : before[i * nc + k];
    return false;
}

bool MshReader::parallel_node_data(std::int64_t count, std::size_t nc, PendingField& pf) {
    const std::size_t per = 1 + nc;
    auto& values = pf.field.values;
    import::RowMarks seen(points_);
    c_.skip_space();
    const auto block = import::parallel_tokens(
        reading_, c_.pos(), c_.end(), static_cast<std::size_t>(count) * per,
        [&](const import::TokenPiece& p) {
            if (p.first % per != 0 || p.count % per != 0) return false;
            const char* q = p.begin;
            for (std::size_t r = 0, rows = p.count / per; r < rows; ++r) {
                std::int64_t tag = 0;
                if (!import::parse_integer(import::next_token(q, p.end), tag)) return false;
                const std::int64_t i = nodes_->find(tag);
                if (i < 0) return false;
                seen.mark(static_cast<std::size_t>(i));
                for (std::size_t k = 0; k < nc; ++k)
                    if (!import::parse_real(import::next_token(q, p.end),
                                            values[static_cast<std::size_t>(i) * nc + k]))
                        return false;
            }
            return true;
        });
    // Otherwise the one-thread pass writes every value a piece wrote again,
    // in file order (or stops at the fault that made the pieces give up).
    if (!block.end || !seen.distinct(static_cast<std::size_t>(count))) return false;
    c_.seek(block.end);
    return true;
}

void MshReader::add_cell(std::int64_t tag, int type, const std::int64_t* tags, const char* at) {
    const GmshCellMap& map = gmsh_cell_map(type);
    auto& mesh = out_.mesh;
    if (map.vtk == 0) {
        ++skipped_types_[type];
        return;
    }
    if (map.reduced) ++reduced_types_[type];
    if (mesh.cell_offsets.empty()) mesh.cell_offsets.push_back(0);
    for (const int g : map.take)
        mesh.cell_nodes.push_back(node_index(tags[g], at, "an element"));
    mesh.cell_offsets.push_back(static_cast<std::int64_t>(mesh.cell_nodes.size()));
    mesh.cell_types.push_back(map.vtk);
    mesh.cell_labels.push_back(tag);
    cell_gmsh_type_.push_back(static_cast<std::int16_t>(type));
}

void MshReader::read_elements() {
    if (!have_nodes_) c_.fail(c_.pos(), "$Elements comes before $Nodes");
    if (have_elements_) c_.fail(c_.pos(), "a second $Elements section");
    const char* head = here();
    std::int64_t total = 0, read = 0;
    std::vector<std::int64_t> tags;     // one element's node tags
    std::vector<std::int64_t> all_tags; // every element's tag, skipped ones included
    std::vector<std::int64_t> cell_of;  // cell index per element, -1 when skipped
    try {
        auto type_of = [&](std::int64_t code, const char* at) -> const GmshCellMap& {
            const GmshCellMap& map = gmsh_cell_map(static_cast<int>(code));
            if (code <= 0 || code > 1000 ||
                (map.nodes == 0 && (binary_ || !find_type(static_cast<int>(code)))))
                fail(at, "element type " + std::to_string(code) +
                             " is not a Gmsh element type this reader knows");
            return map;
        };
        auto one = [&](std::int64_t tag, std::int64_t code, const char* at) {
            all_tags.push_back(tag);
            const std::size_t before = out_.mesh.cell_types.size();
            add_cell(tag, static_cast<int>(code), tags.data(), at);
            cell_of.push_back(out_.mesh.cell_types.size() > before ? static_cast<std::int64_t>(before) : -1);
            ++read;
        };
        if (major_ == 2) {
            total = c_.integer("the element count");
            c_.next_line();
            in_binary_ = binary_;
            checked_count(total, head, "elements");
            if (!binary_) {
                for (std::int64_t e = 0; e < total; ++e) {
                    const char* at = here();
                    const std::int64_t tag = c_.integer("an element tag");
                    const std::int64_t code = c_.integer("an element type");
                    const GmshCellMap& map = type_of(code, at);
                    const std::int64_t ntags = c_.integer("the element's tag count");
                    if (ntags < 0 || ntags > 1000) c_.fail(at, "expected a tag count of 0..1000");
                    for (std::int64_t k = 0; k < ntags; ++k)
                        c_.integer("an element tag");
                    tags.clear();
                    if (map.nodes == 0) {
                        c_.next_line(); // a polygon: its nodes run to the line end
                    } else {
                        for (int k = 0; k < map.nodes; ++k)
                            tags.push_back(c_.integer("a node tag"));
                    }
                    one(tag, code, at);
                }
            } else {
                while (read < total) {
                    const char* at = here();
                    const std::int64_t code = get_int("an element type");
                    const std::int64_t n = get_int("the block's element count");
                    const std::int64_t ntags = get_int("the element's tag count");
                    const GmshCellMap& map = type_of(code, at);
                    if (n <= 0 || n > total - read || ntags < 0 || ntags > 1000)
                        fail(at, "expected an element block header (count 1.." +
                                     std::to_string(total - read) + ", tag count 0..1000)");
                    for (std::int64_t e = 0; e < n; ++e) {
                        const char* eat = here();
                        const std::int64_t tag = get_int("an element tag");
                        for (std::int64_t k = 0; k < ntags; ++k)
                            get_int("an element tag");
                        tags.clear();
                        for (int k = 0; k < map.nodes; ++k)
                            tags.push_back(get_int("a node tag"));
                        one(tag, code, eat);
                    }
                }
            }
        } else {
            in_binary_ = binary_;
            const std::int64_t blocks = get_size("the entity block count");
            total = get_size("the element count");
            get_size("the smallest element tag");
            get_size("the largest element tag");
            if (!binary_) c_.next_line();
            checked_count(blocks, head, "entity blocks");
            checked_count(total, head, "elements");
            for (std::int64_t b = 0; b < blocks; ++b) {
                const char* at = here();
                const std::int64_t dim = get_int("the entity dimension");
                get_int("the entity tag");
                const std::int64_t code = get_int("an element type");
                const std::int64_t n = get_size("the block's element count");
                if (dim < 0 || dim > 3) fail(at, "expected an entity dimension of 0..3");
                const GmshCellMap& map = type_of(code, at);
                if (n < 0 || n > total - read)
                    fail(at, "the element blocks hold more elements than the " + std::to_string(total) +
                                 " announced");
                need(n, (map.take.size() + 4) * sizeof(std::int64_t), at, "elements");
                if (map.nodes > 0 && parallel_element_block(n, code, map, all_tags, cell_of)) {
                    read += n;
                    continue;
                }
                for (std::int64_t e = 0; e < n; ++e) {
                    const char* eat = here();
                    const std::int64_t tag = get_size("an element tag");
                    tags.clear();
                    if (map.nodes == 0) {
                        c_.next_line(); // a polygon in a text file: skipped with its line
                    } else {
                        for (int k = 0; k < map.nodes; ++k)
                            tags.push_back(get_size("a node tag"));
                    }
                    one(tag, code, eat);
                }
            }
            if (read != total)
                fail(here(), "the element blocks hold " + std::to_string(read) + " elements, not the " +
                                 std::to_string(total) + " announced");
        }
    } catch (const Cursor::EndOfInput&) {
        ended_early(" in $Elements: " + std::to_string(total) + " elements announced, " +
                    std::to_string(read) + " read; the rest are left out.");
    }
    if (const std::int64_t dup = cells_.build(all_tags); dup >= 0)
        fail(head, "element tag " + std::to_string(dup) + " is given twice");
    // cells_ maps an element tag to its place among all elements; keep the
    // cell index of each place for the data sections.
    element_cell_ = std::move(cell_of);
    have_elements_ = true;
    if (!skipped_types_.empty()) {
        std::string list;
        for (const auto& [type, n] : skipped_types_)
            list += (list.empty() ? "" : ", ") + std::to_string(n) + " " + type_name(type);
        out_.warnings.push_back(name() +
                                ": elements of types this viewer cannot draw were left out: " + list + ".");
    }
    if (!reduced_types_.empty()) {
        std::string list;
        for (const auto& [type, n] : reduced_types_)
            list += (list.empty() ? "" : ", ") + std::to_string(n) + " " + type_name(type);
        out_.warnings.push_back(
            name() + ": these elements are drawn through their corner (or edge) nodes only: " + list + ".");
    }
    if (!ended_) expect_end("Elements");
}

PendingField& MshReader::field_for(const char* at, int kind, const std::vector<std::string>& strings,
                                   const std::vector<double>& reals, std::int64_t step, int comps,
                                   bool keep) {
    std::string fname = strings.empty() || strings[0].empty() ? "Vista" : strings[0];
    if (kind == 2) fname += kAveraged;
    auto [it, fresh] = fields_.try_emplace(FieldKey{step, fname, kind});
    PendingField& pf = it->second;
    if (fresh) {
        pf.order = fields_.size();
        if (!reals.empty()) pf.time = reals[0];
        pf.field.name = fname;
        pf.field.components = comps;
        pf.field.on_cells = kind == 1;
        if (!keep) return pf;
        const std::size_t rows = kind == 1 ? out_.mesh.cell_count() : points_;
        need(static_cast<std::int64_t>(rows * static_cast<std::size_t>(comps)), sizeof(double), at,
             "values of view \"" + fname + "\"");
        pf.field.values.assign(rows * static_cast<std::size_t>(comps), 0.0);
        if (kind == 2) pf.counts.assign(points_, 0);
        if (kind == 1) pf.given.assign(rows, 0);
    } else if (pf.field.components != comps) {
        c_.fail(at, "view \"" + fname + "\" step " + std::to_string(step) + " has " + std::to_string(comps) +
                        " components here and " + std::to_string(pf.field.components) + " before");
    }
    return pf;
}

void MshReader::read_data(int kind) {
    static constexpr const char* kSection[] = {"NodeData", "ElementData", "ElementNodeData"};
    const char* head = here();
    if (!have_nodes_ || (kind != 0 && !have_elements_))
        c_.fail(head, std::string("$") + kSection[kind] + " comes before the mesh it refers to");
    std::vector<std::string> strings;
    std::vector<double> reals;
    std::vector<std::int64_t> ints;
    std::int64_t count = 0, read = 0;
    try {
        const std::int64_t ns = c_.integer("the string tag count");
        if (ns < 0 || ns > 100) c_.fail(head, "expected a string tag count of 0..100");
        c_.next_line();
        for (std::int64_t i = 0; i < ns; ++i) {
            if (c_.at_end()) throw Cursor::EndOfInput{c_.pos(), "a string tag"};
            std::string_view t = c_.rest_of_line();
            while (!t.empty() && (t.front() == ' ' || t.front() == '\t'))
                t.remove_prefix(1);
            while (!t.empty() && (t.back() == ' ' || t.back() == '\t'))
                t.remove_suffix(1);
            if (t.size() >= 2 && t.front() == '"' && t.back() == '"') t = t.substr(1, t.size() - 2);
            strings.emplace_back(t);
        }
        const std::int64_t nr = c_.integer("the real tag count");
        if (nr < 0 || nr > 100) c_.fail(head, "expected a real tag count of 0..100");
        for (std::int64_t i = 0; i < nr; ++i)
            reals.push_back(c_.real("a real tag"));
        const char* int_at = here();
        const std::int64_t ni = c_.integer("the integer tag count");
        if (ni < 3 || ni > 100)
            c_.fail(int_at, "expected 3..100 integer tags (time step, components, count)");
        for (std::int64_t i = 0; i < ni; ++i)
            ints.push_back(c_.integer("an integer tag"));
        c_.next_line();
        const std::int64_t step = ints[0];
        const std::int64_t comps = ints[1];
        count = ints[2];
        if (comps < 1 || comps > 1000) c_.fail(int_at, "expected 1..1000 components");
        checked_count(count, int_at, "a record count");
        const bool shown = comps <= 9;
        if (!shown) {
            const std::string fname = strings.empty() ? "Vista" : strings[0];
            if (std::find(out_.skipped_fields.begin(), out_.skipped_fields.end(), fname) ==
                out_.skipped_fields.end())
                out_.skipped_fields.push_back(fname);
        }
        const std::size_t nc = static_cast<std::size_t>(comps);
        // Node data whose view and step are not read yet (or left in the file
        // so far) is left in the file when its section ends where its count
        // says; else it is read now, with what was left before.
        if (kind == 0 && shown && reopen_) {
            const auto it =
                fields_.find(FieldKey{step, strings.empty() || strings[0].empty() ? "Vista" : strings[0], 0});
            if (it == fields_.end() || it->second.sections) {
                const char* records = c_.pos();
                if (skip_node_data(count, nc)) {
                    PendingField& pf =
                        field_for(int_at, kind, strings, reals, step, static_cast<int>(comps), false);
                    if (!pf.sections) {
                        pf.sections = std::make_shared<std::vector<std::size_t>>();
                        pf.field.load = node_data_load(pf.sections);
                    }
                    pf.sections->push_back(static_cast<std::size_t>(head - c_.begin()));
                    ++pf.blocks;
                    return;
                }
                c_.seek(records);
                if (it != fields_.end()) {
                    PendingField& pf = it->second;
                    pf.field.load(pf.field.values);
                    pf.field.load = nullptr;
                    pf.sections.reset();
                }
            }
        }
        PendingField* pf =
            shown ? &field_for(int_at, kind, strings, reals, step, static_cast<int>(comps)) : nullptr;
        in_binary_ = binary_;
        if (kind == 0 && pf &&
            (binary_ ? parallel_binary_node_data(count, nc, *pf) : parallel_node_data(count, nc, *pf)))
            read = count;
        if (pf) ++pf->blocks;
        std::vector<double> row;
        // A node named twice in one block is refused, as $Nodes refuses a tag
        // given twice (pieces of a partitioned view come in blocks of their own).
        std::vector<char> named(kind == 0 && read < count ? points_ : 0, 0);
        for (; read < count; ++read) {
            const char* at = here();
            const std::int64_t tag = get_int(kind == 0 ? "a node tag" : "an element tag");
            if (kind == 0) {
                const std::int64_t i = node_index(tag, at, "a data record");
                if (named[static_cast<std::size_t>(i)]++)
                    fail(at, "a data record names node " + std::to_string(tag) + " a second time in this $" +
                                 kSection[kind]);
                for (std::size_t k = 0; k < nc; ++k) {
                    const double v = get_value("a value");
                    if (pf) pf->field.values[static_cast<std::size_t>(i) * nc + k] = v;
                }
                continue;
            }
            const std::int64_t place = cells_.find(tag);
            if (place < 0)
                fail(at, "a data record names element " + std::to_string(tag) +
                             ", which $Elements does not hold");
            const std::int64_t cell = element_cell_[static_cast<std::size_t>(place)];
            if (kind == 1) {
                for (std::size_t k = 0; k < nc; ++k) {
                    const double v = get_value("a value");
                    if (pf && cell >= 0) pf->field.values[static_cast<std::size_t>(cell) * nc + k] = v;
                }
                if (pf && cell >= 0) pf->given[static_cast<std::size_t>(cell)] = 1;
                continue;
            }
            const char* nat = here();
            const std::int64_t nn = get_int("the element's node count");
            const int gtype = cell >= 0 ? cell_gmsh_type_[static_cast<std::size_t>(cell)] : 0;
            const GmshCellMap& map = gmsh_cell_map(gtype);
            if (nn < 1 || nn > 1000 || (cell >= 0 && nn != map.nodes))
                fail(nat, "element " + std::to_string(tag) + " has " + std::to_string(map.nodes) +
                              " nodes, not " + std::to_string(nn));
            for (std::int64_t g = 0; g < nn; ++g) {
                row.assign(nc, 0.0);
                for (std::size_t k = 0; k < nc; ++k)
                    row[k] = get_value("a value");
                if (!pf || cell < 0) continue;
                // The cell keeps some of the element's nodes; find where Gmsh node g went.
                const auto pos = std::find(map.take.begin(), map.take.end(), static_cast<int>(g));
                if (pos == map.take.end()) continue;
                const auto& mesh = out_.mesh;
                const auto node = static_cast<std::size_t>(mesh.cell_nodes[static_cast<std::size_t>(
                    mesh.cell_offsets[static_cast<std::size_t>(cell)] + (pos - map.take.begin()))]);
                for (std::size_t k = 0; k < nc; ++k)
                    pf->field.values[node * nc + k] += row[k];
                ++pf->counts[node];
            }
        }
    } catch (const Cursor::EndOfInput&) {
        ended_early(std::string(" in $") + kSection[kind] + ": " + std::to_string(count) +
                    " records announced, " + std::to_string(read) + " read; the rest read as 0.");
        in_binary_ = false;
        return;
    }
    expect_end(kSection[kind]);
}

bool MshReader::skip_node_data(std::int64_t count, std::size_t nc) {
    const auto n = static_cast<std::uint64_t>(count);
    try {
        if (binary_) {
            const std::uint64_t per = 4 + 8 * nc;
            if (n > c_.left() / per) return false;
            c_.seek(c_.pos() + n * per);
        } else {
            for (std::uint64_t t = 0, tokens = n * (1 + nc); t < tokens; ++t) {
                reading_.tick(c_.pos());
                if (c_.token().empty()) return false;
            }
        }
        reading_.tick(c_.pos());
        after_binary();
        if (c_.token() != "$EndNodeData") return false;
        c_.next_line();
        return true;
    } catch (const Cursor::EndOfInput&) {
        return false;
    }
}

std::function<void(ZeroedVector<double>&)>
MshReader::node_data_load(std::shared_ptr<std::vector<std::size_t>> sections) {
    return [reopen = reopen_, nodes = MshNodes{nodes_, points_, binary_, swap_},
            sections = std::move(sections)](ZeroedVector<double>& values) {
        const std::string shown = import::base_name(reopen->path);
        reopen->read([&](const char* data, std::size_t size) {
            const auto reread = [&](import::Reading& r) {
                return MshReader(data, size, shown, r).reread(nodes, *sections);
            };
            values = import::import_bytes(data, size, shown, reopen->options, reread);
        });
    };
}

ZeroedVector<double> MshReader::reread(const MshNodes& nodes, const std::vector<std::size_t>& sections) {
    nodes_ = nodes.tags;
    points_ = nodes.points;
    binary_ = nodes.binary;
    swap_ = nodes.swap;
    have_nodes_ = true;
    for (const std::size_t offset : sections) {
        c_.seek(c_.begin() + std::min(offset, static_cast<std::size_t>(c_.end() - c_.begin())));
        read_data(0);
    }
    if (fields_.size() != 1) c_.fail(c_.pos(), "expected a $NodeData section");
    return std::move(fields_.begin()->second.field.values);
}

ImportData MshReader::run() {
    c_.skip_space();
    const char* at = here();
    if (c_.token() != "$MeshFormat") c_.fail(at, "expected $MeshFormat (the start of a Gmsh file)");
    c_.next_line();
    try {
        read_format();
    } catch (const Cursor::EndOfInput& e) {
        c_.fail(e.at, std::string("expected ") + e.what);
    }
    while (!ended_) {
        c_.skip_space();
        if (c_.at_end()) break;
        const char* line_at = here();
        const std::string_view line = c_.rest_of_line();
        if (line.empty() || line[0] != '$') continue; // Gmsh ignores text between sections
        std::string_view section = line.substr(1);
        section = section.substr(0, section.find_first_of(" \t"));
        if (section == "Nodes")
            read_nodes();
        else if (section == "ParametricNodes" && major_ == 2)
            read_nodes(true);
        else if (section == "Elements")
            read_elements();
        else if (section == "NodeData")
            read_data(0);
        else if (section == "ElementData")
            read_data(1);
        else if (section == "ElementNodeData")
            read_data(2);
        else if (section.substr(0, 3) == "End")
            c_.fail(line_at, "\"" + std::string(line.substr(0, 40)) + "\" closes no section");
        else
            skip_section(section);
    }
    if (!have_nodes_) c_.fail(c_.end(), "expected a $Nodes section; the file has none");

    // Steps in ascending step index; fields in order of first appearance.
    // Views of one step index with different times are steps of their own,
    // so that each keeps its time.
    std::map<std::pair<std::int64_t, std::optional<double>>, std::vector<PendingField*>> by_step;
    for (auto& [key, pf] : fields_)
        by_step[{key.step, pf.time}].push_back(&pf);
    for (auto& [step, list] : by_step) {
        std::sort(list.begin(), list.end(), [](auto* a, auto* b) { return a->order < b->order; });
        ImportStep st;
        st.time = list.front()->time;
        for (PendingField* pf : list) {
            if (!pf->counts.empty()) {
                const std::size_t nc = static_cast<std::size_t>(pf->field.components);
                for (std::size_t n = 0; n < pf->counts.size(); ++n)
                    if (pf->counts[n] > 1)
                        for (std::size_t k = 0; k < nc; ++k)
                            pf->field.values[n * nc + k] /= pf->counts[n];
            }
            if (std::find(pf->given.begin(), pf->given.end(), std::uint8_t{0}) != pf->given.end())
                pf->field.cells_given = std::move(pf->given);
            st.fields.push_back(std::move(pf->field));
        }
        out_.steps.push_back(std::move(st));
    }
    return std::move(out_);
}

} // namespace

const GmshCellMap& gmsh_cell_map(int gmsh_type) {
    static const std::vector<GmshCellMap> maps = [] {
        std::vector<GmshCellMap> m(kTypes[std::size(kTypes) - 1].code + 1);
        for (const auto& t : kTypes)
            m[static_cast<std::size_t>(t.code)] = make_map(t);
        return m;
    }();
    static const GmshCellMap none;
    if (gmsh_type < 0 || static_cast<std::size_t>(gmsh_type) >= maps.size()) return none;
    return maps[static_cast<std::size_t>(gmsh_type)];
}

bool sniff_msh(const char* data, std::size_t size) {
    std::string_view s(data, size);
    if (s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32)
        s.remove_prefix(1);
    return s.substr(0, 11) == "$MeshFormat";
}

ImportData import_msh(input::Input& in, const ReaderOptions& options) {
    const char* data = in.data();
    const auto size = static_cast<std::size_t>(in.size());
    return import::import_bytes(data, size, in.name(), options, [&](import::Reading& reading) {
        return MshReader(data, size, in.name(), reading, import::Reopen::of(in, options)).run();
    });
}

} // namespace orv
