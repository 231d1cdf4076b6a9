#include "viewer/formats/xdmf_reader.h"

#include "viewer/formats/heavy_data_lock.h"
#include "viewer/formats/heavy_data_probe.h"
#include "viewer/formats/xml_tree.h"

#include <hdf5.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>

namespace orv {
namespace {

// Largest ratio of values to file bytes believed (HDF5 data may be deflated).
constexpr std::uint64_t kMaxRatio = 1100;
constexpr int kMaxIncludeDepth = 16;
constexpr std::uint64_t kMaxXmlBytes = std::uint64_t(1) << 30;

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32)
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32)
        s.remove_suffix(1);
    return std::string(s);
}

std::string folder_of(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

struct Doc {
    std::string path; // as opened, for resolving what it names
    std::string name; // for messages
    std::string text;
    XmlTree tree;
};

// An element of one of the documents.
struct Node {
    const Doc* doc = nullptr;
    const XmlElement* e = nullptr;
};

// Values of a DataItem, row-major, with its dimensions.
struct Array {
    std::vector<std::uint64_t> dims;
    std::vector<double> values;
};

// An HDF5 dataset checked at the first pass and read when needed.
struct HdfPlace {
    std::string path;    // the HDF5 file to open
    std::string file;    // as the DataItem names it, for messages
    std::string dataset; // "/group/name"
    input::FileStamp stamp;
    std::uint64_t count = 0;
};

// How an attribute's values become a field's: as they are, a 2D vector
// put in the z = 0 plane, or XDMF's Tensor6 order (XX XY XZ YY YZ ZZ) put
// in XX YY ZZ XY YZ XZ.
enum class Shape { plain, vector2, tensor6 };

void shape_values(Shape shape, std::size_t rows, std::size_t comps, const std::vector<double>& in,
                  ZeroedVector<double>& out) {
    if (shape == Shape::tensor6) {
        static constexpr int kFrom[6] = {0, 3, 5, 1, 4, 2};
        out.resize(rows * 6);
        for (std::size_t r = 0; r < rows; ++r)
            for (std::size_t c = 0; c < 6; ++c)
                out[r * 6 + c] = in[r * 6 + static_cast<std::size_t>(kFrom[c])];
    } else if (shape == Shape::vector2) {
        out.resize(rows * 3);
        for (std::size_t r = 0; r < rows; ++r) {
            out[r * 3] = in[r * 2];
            out[r * 3 + 1] = in[r * 2 + 1];
        }
    } else {
        out.assign(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(rows * comps));
    }
}

// Reads a dataset checked before; ReadError when its file changed since.
std::vector<double> read_place(const HdfPlace& place);

struct Piece {
    ImportMesh mesh;
    std::vector<ImportField> fields;
    std::optional<double> time;
    const XmlElement* geometry = nullptr; // what the mesh was read from
    const XmlElement* topology = nullptr;
    // The mesh's sizes; a grid on the mesh already read keeps `mesh` empty.
    std::uint64_t points = 0;
    std::uint64_t cells = 0;
};

// VTK cell of an XDMF topology name or Mixed type number, and its node count
// (0: given per cell or by NodesPerElement).
struct Topo {
    std::uint8_t vtk = 0;
    int nodes = 0;
    int keep = 0; // nodes kept of each cell (corners and edges of a shape VTK lacks here)
};

std::optional<Topo> topo_of_name(const std::string& type) {
    static const std::map<std::string, Topo> kNames = {
        {"polyvertex", {vtk_poly_vertex, 0, 0}},
        {"polyline", {vtk_line, 0, 0}},
        {"polygon", {vtk_polygon, 0, 0}},
        {"triangle", {vtk_triangle, 3, 3}},
        {"quadrilateral", {vtk_quad, 4, 4}},
        {"tetrahedron", {vtk_tetra, 4, 4}},
        {"pyramid", {vtk_pyramid, 5, 5}},
        {"wedge", {vtk_wedge, 6, 6}},
        {"hexahedron", {vtk_hexahedron, 8, 8}},
        {"edge_3", {vtk_quadratic_edge, 3, 3}},
        {"triangle_6", {vtk_quadratic_triangle, 6, 6}},
        {"tri_6", {vtk_quadratic_triangle, 6, 6}},
        {"quadrilateral_8", {vtk_quadratic_quad, 8, 8}},
        {"quad_8", {vtk_quadratic_quad, 8, 8}},
        {"quadrilateral_9", {vtk_biquadratic_quad, 9, 9}},
        {"quad_9", {vtk_biquadratic_quad, 9, 9}},
        {"tetrahedron_10", {vtk_quadratic_tetra, 10, 10}},
        {"tet_10", {vtk_quadratic_tetra, 10, 10}},
        {"pyramid_13", {vtk_quadratic_pyramid, 13, 13}},
        {"wedge_15", {vtk_quadratic_wedge, 15, 15}},
        {"wedge_18", {vtk_quadratic_wedge, 18, 15}},
        {"hexahedron_20", {vtk_quadratic_hexahedron, 20, 20}},
        {"hex_20", {vtk_quadratic_hexahedron, 20, 20}},
        {"hexahedron_24", {vtk_quadratic_hexahedron, 24, 20}},
        {"hex_24", {vtk_quadratic_hexahedron, 24, 20}},
        {"hexahedron_27", {vtk_triquadratic_hexahedron, 27, 27}},
        {"hex_27", {vtk_triquadratic_hexahedron, 27, 27}},
    };
    const auto it = kNames.find(lower(type));
    if (it == kNames.end()) return std::nullopt;
    return it->second;
}

std::optional<Topo> topo_of_number(std::int64_t n) {
    switch (n) {
    case 1:
        return Topo{vtk_poly_vertex, 0, 0};
    case 2:
        return Topo{vtk_line, 0, 0};
    case 3:
        return Topo{vtk_polygon, 0, 0};
    case 4:
        return Topo{vtk_triangle, 3, 3};
    case 5:
        return Topo{vtk_quad, 4, 4};
    case 6:
        return Topo{vtk_tetra, 4, 4};
    case 7:
        return Topo{vtk_pyramid, 5, 5};
    case 8:
        return Topo{vtk_wedge, 6, 6};
    case 9:
        return Topo{vtk_hexahedron, 8, 8};
    case 0x22:
        return Topo{vtk_quadratic_edge, 3, 3};
    case 0x23:
        return Topo{vtk_biquadratic_quad, 9, 9};
    case 0x24:
        return Topo{vtk_quadratic_triangle, 6, 6};
    case 0x25:
        return Topo{vtk_quadratic_quad, 8, 8};
    case 0x26:
        return Topo{vtk_quadratic_tetra, 10, 10};
    case 0x27:
        return Topo{vtk_quadratic_pyramid, 13, 13};
    case 0x28:
        return Topo{vtk_quadratic_wedge, 15, 15};
    case 0x29:
        return Topo{vtk_quadratic_wedge, 18, 15};
    case 0x30:
        return Topo{vtk_quadratic_hexahedron, 20, 20};
    case 0x31:
        return Topo{vtk_quadratic_hexahedron, 24, 20};
    case 0x32:
        return Topo{vtk_triquadratic_hexahedron, 27, 27};
    default:
        return std::nullopt;
    }
}

// A point's coordinates as a key, -0 and 0 alike.
struct PointKey {
    double x, y, z;
    bool operator==(const PointKey& o) const { return std::memcmp(this, &o, sizeof *this) == 0; }
};
struct PointKeyHash {
    std::size_t operator()(const PointKey& k) const {
        std::uint64_t h = 1469598103934665603ull;
        const auto* b = reinterpret_cast<const unsigned char*>(&k);
        for (std::size_t i = 0; i < sizeof k; ++i)
            h = (h ^ b[i]) * 1099511628211ull;
        return static_cast<std::size_t>(h);
    }
};
PointKey key_of(const double* p) {
    return {p[0] == 0 ? 0.0 : p[0], p[1] == 0 ? 0.0 : p[1], p[2] == 0 ? 0.0 : p[2]};
}

// Opens every object of the HDF5 file at `path`, which walks the metadata the
// reading will reach (run in a child process first: see heavy_data_probe.h).
// 0 when the library opens it, 1 when it refuses.
int walk_hdf5_file(const std::string& path, hid_t fapl) {
    const hid_t f = H5Fopen(path.c_str(), H5F_ACC_RDONLY, fapl);
    if (f < 0) return 1;
    H5Lvisit(
        f, H5_INDEX_NAME, H5_ITER_NATIVE,
        [](hid_t group, const char* name, const H5L_info_t*, void*) -> herr_t {
            const hid_t o = H5Oopen(group, name, H5P_DEFAULT);
            if (o >= 0) H5Oclose(o);
            return 0;
        },
        nullptr);
    H5Fclose(f);
    return 0;
}

class H5Handle {
  public:
    H5Handle() = default;
    H5Handle(hid_t id, herr_t (*close)(hid_t)) : id_(id), close_(close) {}
    ~H5Handle() {
        if (id_ >= 0 && close_) close_(id_);
    }
    H5Handle(H5Handle&& o) noexcept : id_(o.id_), close_(o.close_) { o.id_ = -1; }
    H5Handle& operator=(H5Handle&& o) noexcept {
        std::swap(id_, o.id_);
        std::swap(close_, o.close_);
        return *this;
    }
    hid_t get() const { return id_; }
    bool ok() const { return id_ >= 0; }

  private:
    hid_t id_ = -1;
    herr_t (*close_)(hid_t) = nullptr;
};

class Reader {
  public:
    // `defer`: attributes in HDF5 datasets are checked but read when needed.
    Reader(const ReaderOptions& options, std::uint64_t top_size, bool defer = false)
        : options_(options), defer_(defer && options.values_on_demand) {
        budget_ = options.memory_limit ? options.memory_limit : input::machine_memory();
        (void)top_size;
    }

    ~Reader() {
        const std::lock_guard lock(heavy_data_mutex());
        h5_.clear();
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    const Doc& load_top(const std::string& path) { return load(path, nullptr); }
    const Doc& load_bytes(const char* data, std::size_t size, const std::string& name) {
        auto d = std::make_unique<Doc>();
        d->path = name;
        d->name = input::base_name(name);
        d->text.assign(data, size);
        d->tree = parse_xml(d->text, d->name);
        docs_.push_back(std::move(d));
        return *docs_.back();
    }

    ImportData read(const Doc& top);

  private:
    [[noreturn]] static void fail(const Node& n, const std::string& what) {
        throw ReadError(what + " at line " + std::to_string(n.e->line) + " of " + n.doc->name);
    }

    static std::string attr(const Node& n, std::string_view key, std::string_view fallback = {}) {
        const std::string* v = n.e->attribute(key);
        return v ? *v : std::string(fallback);
    }
    // The first of several attribute spellings (XDMF 3 and XDMF 2).
    static std::string attr2(const Node& n, std::string_view a, std::string_view b,
                             std::string_view fallback) {
        if (const std::string* v = n.e->attribute(a)) return *v;
        if (const std::string* v = n.e->attribute(b)) return *v;
        return std::string(fallback);
    }

    void spend(std::uint64_t bytes, const std::string& name) {
        used_ += bytes;
        if (used_ > budget_ || bytes > budget_) throw ReadError("Not enough memory to read " + name);
    }

    // Checks that `rel` (named by `by`) stays in `by`'s folder and is a
    // regular file; returns the path to open.
    std::string confined(const Node& by, const std::string& rel, const char* what) {
        if (rel.empty()) fail(by, std::string("Expected a ") + what + " file name");
        if (rel.front() == '/')
            fail(by, std::string("The ") + what + " path " + rel + " is absolute; refused");
        int depth = 0;
        std::size_t pos = 0;
        while (pos <= rel.size()) {
            std::size_t end = rel.find('/', pos);
            if (end == std::string::npos) end = rel.size();
            const std::string_view part(rel.data() + pos, end - pos);
            if (part == "..") {
                if (--depth < 0)
                    fail(by, std::string("The ") + what + " path " + rel + " leaves the folder of " +
                                 by.doc->name + "; refused");
            } else if (!part.empty() && part != ".") {
                ++depth;
            }
            pos = end + 1;
        }
        const std::string path = folder_of(by.doc->path) + rel;
        try {
            const input::Input probe(path); // refuses FIFOs, devices, folders
        } catch (const ReadError& e) {
            fail(by, std::string(e.what()) + "; named");
        }
        return path;
    }

    const Doc& load(const std::string& path, const Node* by) {
        for (const auto& d : docs_)
            if (d->path == path) return *d;
        auto d = std::make_unique<Doc>();
        d->path = path;
        d->name = input::base_name(path);
        {
            const input::Input file(path);
            if (file.size() > kMaxXmlBytes) {
                if (by) fail(*by, d->name + " is too large to include");
                throw ReadError(d->name + " is too large for an XDMF file");
            }
            d->text = file.first_bytes(static_cast<std::size_t>(file.size()));
            spend(d->text.size() * 4, d->name); // the text and its tree
        }
        d->tree = parse_xml(d->text, d->name);
        docs_.push_back(std::move(d));
        return *docs_.back();
    }

    // ---- XPointer, the forms XDMF writers use ----
    std::vector<Node> select(const Doc& doc, const Node& at, std::string expr);
    std::vector<Node> children(const Node& n, int depth = 0);
    std::vector<Node> children(const Node& n, std::string_view name) {
        std::vector<Node> out;
        for (const Node& c : children(n))
            if (c.e->name == name) out.push_back(c);
        return out;
    }
    std::vector<Node> include(const Node& inc, int depth);

    // ---- Data ----
    std::shared_ptr<const Array> item(const Node& n, int depth = 0);
    std::shared_ptr<const Array> first_item(const Node& parent) {
        for (const Node& c : children(parent))
            if (c.e->name == "DataItem") return item(c);
        fail(parent, "Expected a DataItem in " + parent.e->name);
    }
    // With `place`, checks the dataset and says where it is instead of
    // reading it (the Array has no values).
    Array read_hdf(const Node& n, const std::string& where, std::uint64_t count, HdfPlace* place = nullptr);
    // The place of the attribute's first DataItem when it is an HDF5 dataset
    // read nowhere else yet.
    std::optional<HdfPlace> deferred(const Node& attribute);

    // ---- Grids ----
    Piece read_uniform(const Node& grid, std::vector<std::string>& skipped);
    Piece read_grid(const Node& grid, std::vector<std::string>& skipped, std::vector<std::string>& warnings);
    void read_mesh(const Node& grid, Piece& p);
    std::optional<double> time_of(const Node& grid);

    const ReaderOptions& options_;
    bool defer_ = false;
    std::uint64_t budget_ = 0;
    std::uint64_t used_ = 0;
    std::vector<std::unique_ptr<Doc>> docs_;
    std::vector<const Doc*> including_; // the chain of files being included
    std::map<const XmlElement*, std::shared_ptr<const Array>> items_;
    std::map<std::string, H5Handle> h5_;
    std::vector<std::string> warnings_;
    // The first mesh read: grids naming the same Geometry and Topology (a
    // time series' shared mesh) are not read again.
    struct {
        const XmlElement* geometry = nullptr;
        const XmlElement* topology = nullptr;
        std::uint64_t points = 0, cells = 0;
    } first_mesh_;
    int pieces_depth_ = 0; // inside a Spatial collection, whose pieces are joined: every mesh is read
};

std::vector<Node> Reader::children(const Node& n, int depth) {
    std::vector<Node> out;
    for (const std::size_t c : n.e->children) {
        const XmlElement& ce = n.doc->tree.elements[c];
        const std::string_view nm = ce.name;
        if (nm == "include" || (nm.size() > 8 && nm.substr(nm.size() - 8) == ":include")) {
            const auto got = include({n.doc, &ce}, depth + 1);
            out.insert(out.end(), got.begin(), got.end());
        } else {
            out.push_back({n.doc, &ce});
        }
    }
    return out;
}

std::vector<Node> Reader::include(const Node& inc, int depth) {
    if (depth > kMaxIncludeDepth)
        fail(inc, "xi:include nested more than " + std::to_string(kMaxIncludeDepth) + " deep");
    const std::string href = attr(inc, "href");
    const Doc* doc = inc.doc;
    if (!href.empty()) {
        const std::string path = confined(inc, href, "xi:include");
        for (const Doc* d : including_)
            if (d->path == path) fail(inc, "xi:include of " + href + " makes a loop; refused");
        if (std::find(including_.begin(), including_.end(), inc.doc) == including_.end())
            including_.push_back(inc.doc);
        doc = &load(path, &inc);
        if (doc == inc.doc) fail(inc, "xi:include of " + href + " makes a loop; refused");
    }
    std::vector<Node> picked;
    const std::string ptr = attr(inc, "xpointer");
    if (ptr.empty()) {
        if (href.empty()) fail(inc, "xi:include with neither href nor xpointer");
        picked.push_back({doc, &doc->tree.root()});
    } else {
        picked = select(*doc, inc, ptr);
    }
    if (picked.empty()) fail(inc, "xi:include selects nothing (xpointer " + ptr + ")");
    // What was picked may itself include.
    std::vector<Node> out;
    for (const Node& p : picked) {
        const std::string_view nm = p.e->name;
        if (nm == "include" || (nm.size() > 8 && nm.substr(nm.size() - 8) == ":include")) {
            const auto more = include(p, depth + 1);
            out.insert(out.end(), more.begin(), more.end());
        } else {
            out.push_back(p);
        }
    }
    if (!href.empty() && !including_.empty() && including_.back() == inc.doc) including_.pop_back();
    return out;
}

std::vector<Node> Reader::select(const Doc& doc, const Node& at, std::string expr) {
    expr = trim(expr);
    if (expr.rfind("xpointer(", 0) == 0 && expr.back() == ')')
        expr = trim(expr.substr(9, expr.size() - 10));
    else if (expr.rfind("/", 0) != 0)
        fail(at, "Unsupported xpointer " + expr);
    const auto& els = doc.tree.elements;
    constexpr std::size_t kDocument = std::numeric_limits<std::size_t>::max();
    const auto kids = [&](std::size_t i) {
        return i == kDocument ? std::vector<std::size_t>{0} : els[i].children;
    };
    std::vector<std::size_t> context{kDocument};
    std::size_t p = 0;
    while (p < expr.size()) {
        if (expr[p] != '/') fail(at, "Unsupported xpointer " + expr);
        bool descendant = false;
        ++p;
        if (p < expr.size() && expr[p] == '/') {
            descendant = true;
            ++p;
        }
        // The name test.
        std::size_t q = p;
        while (q < expr.size() && expr[q] != '[' && expr[q] != '/')
            ++q;
        const std::string test = trim(expr.substr(p, q - p));
        if (test.empty()) fail(at, "Unsupported xpointer " + expr);
        std::vector<std::string> predicates;
        while (q < expr.size() && expr[q] == '[') {
            std::size_t r = q + 1;
            char quote = 0;
            for (; r < expr.size(); ++r) {
                if (quote) {
                    if (expr[r] == quote) quote = 0;
                } else if (expr[r] == '"' || expr[r] == '\'') {
                    quote = expr[r];
                } else if (expr[r] == ']') {
                    break;
                }
            }
            if (r >= expr.size()) fail(at, "Unsupported xpointer " + expr);
            predicates.push_back(trim(expr.substr(q + 1, r - q - 1)));
            q = r + 1;
        }
        p = q;
        // Context nodes whose children the step looks at.
        std::vector<std::size_t> parents;
        if (descendant) {
            std::vector<std::size_t> stack(context.rbegin(), context.rend());
            while (!stack.empty()) {
                const std::size_t i = stack.back();
                stack.pop_back();
                parents.push_back(i);
                const auto k = kids(i);
                for (auto it = k.rbegin(); it != k.rend(); ++it)
                    stack.push_back(*it);
            }
        } else {
            parents = context;
        }
        std::vector<std::size_t> next;
        for (const std::size_t parent : parents) {
            std::vector<std::size_t> matched;
            for (const std::size_t c : kids(parent))
                if (test == "*" || els[c].name == test) matched.push_back(c);
            for (const std::string& pred : predicates) {
                std::vector<std::size_t> kept;
                std::int64_t position = 0;
                const auto r = std::from_chars(pred.data(), pred.data() + pred.size(), position);
                if (r.ec == std::errc() && r.ptr == pred.data() + pred.size()) {
                    if (position >= 1 && static_cast<std::size_t>(position) <= matched.size())
                        kept.push_back(matched[static_cast<std::size_t>(position - 1)]);
                } else if (pred.rfind("@", 0) == 0) {
                    const auto eq = pred.find('=');
                    if (eq == std::string::npos) fail(at, "Unsupported xpointer " + expr);
                    const std::string key = trim(pred.substr(1, eq - 1));
                    std::string value = trim(pred.substr(eq + 1));
                    if (value.size() < 2 || (value.front() != '"' && value.front() != '\'') ||
                        value.back() != value.front())
                        fail(at, "Unsupported xpointer " + expr);
                    value = value.substr(1, value.size() - 2);
                    for (const std::size_t c : matched)
                        if (const std::string* v = els[c].attribute(key); v && *v == value) kept.push_back(c);
                } else if (pred.rfind("self::", 0) == 0) {
                    std::vector<std::string> names;
                    std::size_t s = 0;
                    while (s < pred.size()) {
                        std::size_t e = pred.find(" or ", s);
                        if (e == std::string::npos) e = pred.size();
                        const std::string one = trim(pred.substr(s, e - s));
                        if (one.rfind("self::", 0) != 0) fail(at, "Unsupported xpointer " + expr);
                        names.push_back(one.substr(6));
                        s = e + 4;
                    }
                    for (const std::size_t c : matched)
                        if (std::find(names.begin(), names.end(), els[c].name) != names.end())
                            kept.push_back(c);
                } else {
                    fail(at, "Unsupported xpointer " + expr);
                }
                matched = std::move(kept);
            }
            next.insert(next.end(), matched.begin(), matched.end());
        }
        context = std::move(next);
    }
    std::vector<Node> out;
    for (const std::size_t i : context)
        if (i != kDocument) out.push_back({&doc, &els[i]});
    return out;
}

std::vector<std::uint64_t> parse_dims(const std::string& text) {
    std::vector<std::uint64_t> out;
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        while (p < end && static_cast<unsigned char>(*p) <= 32)
            ++p;
        if (p == end) break;
        std::uint64_t v = 0;
        const auto r = std::from_chars(p, end, v);
        if (r.ec != std::errc()) return {};
        out.push_back(v);
        p = r.ptr;
    }
    return out;
}

std::optional<std::uint64_t> product(const std::vector<std::uint64_t>& dims) {
    std::uint64_t n = 1;
    for (const std::uint64_t d : dims) {
        if (d != 0 && n > std::numeric_limits<std::uint64_t>::max() / d) return std::nullopt;
        n *= d;
    }
    return n;
}

std::shared_ptr<const Array> Reader::item(const Node& n, int depth) {
    if (const auto it = items_.find(n.e); it != items_.end()) return it->second;
    if (depth > kMaxIncludeDepth) fail(n, "DataItem references nested too deep");
    const std::string item_type = lower(attr(n, "ItemType", "Uniform"));
    // An XDMF 2 reference to another DataItem.
    if (n.e->attribute("Reference")) {
        const std::string ref = trim(
            std::string_view(n.doc->text).substr(n.e->content_begin, n.e->content_end - n.e->content_begin));
        const auto picked = select(*n.doc, n, ref);
        if (picked.size() != 1 || picked[0].e->name != "DataItem" || picked[0].e == n.e)
            fail(n, "DataItem reference " + ref + " names no other DataItem");
        auto got = item(picked[0], depth + 1);
        items_[n.e] = got;
        return got;
    }
    if (item_type != "uniform") fail(n, "Unsupported DataItem ItemType \"" + attr(n, "ItemType") + "\"");
    const auto dims = parse_dims(attr(n, "Dimensions"));
    const auto count = product(dims);
    if (dims.empty() || !count) fail(n, "Expected the DataItem's Dimensions");
    const std::string format = attr(n, "Format", "XML");
    auto out = std::make_shared<Array>();
    out->dims = dims;
    if (format == "XML") {
        const std::string_view text =
            std::string_view(n.doc->text).substr(n.e->content_begin, n.e->content_end - n.e->content_begin);
        // Numbers are at least two bytes each (a digit and a blank), but the last.
        if (*count > text.size() / 2 + 1)
            fail(n, "DataItem announces " + std::to_string(*count) + " numbers in " +
                        std::to_string(text.size()) + " bytes");
        spend(*count * 8, n.doc->name);
        out->values.reserve(static_cast<std::size_t>(*count));
        const char* p = text.data();
        const char* end = p + text.size();
        while (true) {
            while (p < end && static_cast<unsigned char>(*p) <= 32)
                ++p;
            if (p == end) break;
            const char* tok = p;
            while (p<end&& static_cast<unsigned char>(*p)> 32)
                ++p;
            double v = 0;
            if (!input::parse_real(std::string_view(tok, static_cast<std::size_t>(p - tok)), v))
                fail(n, "Invalid number \"" + std::string(tok, std::min<std::size_t>(p - tok, 40)) +
                            "\" in DataItem");
            if (out->values.size() == *count)
                fail(n, "DataItem holds more than the " + std::to_string(*count) +
                            " numbers its Dimensions announce");
            out->values.push_back(v);
        }
        if (out->values.size() != *count)
            fail(n, "DataItem holds " + std::to_string(out->values.size()) +
                        " numbers; its Dimensions announce " + std::to_string(*count));
    } else if (format == "HDF") {
        const std::string where = trim(
            std::string_view(n.doc->text).substr(n.e->content_begin, n.e->content_end - n.e->content_begin));
        *out = read_hdf(n, where, *count);
        out->dims = dims;
    } else {
        fail(n, "Unsupported DataItem Format \"" + format + "\" (XML and HDF are read)");
    }
    items_[n.e] = out;
    return out;
}

std::optional<HdfPlace> Reader::deferred(const Node& attribute) {
    for (const Node& c : children(attribute)) {
        if (c.e->name != "DataItem") continue;
        if (items_.count(c.e) || c.e->attribute("Reference") ||
            lower(attr(c, "ItemType", "Uniform")) != "uniform" || attr(c, "Format", "XML") != "HDF")
            return std::nullopt;
        const auto dims = parse_dims(attr(c, "Dimensions"));
        const auto count = product(dims);
        if (dims.empty() || !count) return std::nullopt; // the full read gives the message
        const std::string where = trim(
            std::string_view(c.doc->text).substr(c.e->content_begin, c.e->content_end - c.e->content_begin));
        HdfPlace place;
        read_hdf(c, where, *count, &place);
        return place;
    }
    return std::nullopt;
}

std::vector<double> read_place(const HdfPlace& place) {
    const auto unchanged = [&] {
        input::check_unchanged(place.path, place.stamp, input::Input(place.path).stamp());
    };
    unchanged();
    std::vector<double> values(static_cast<std::size_t>(place.count));
    {
        const std::lock_guard lock(heavy_data_mutex());
        quiet_hdf5();
        H5Handle fapl(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
        if (fapl.ok()) H5Pset_file_locking(fapl.get(), false, true);
        H5Handle f(H5Fopen(place.path.c_str(), H5F_ACC_RDONLY, fapl.ok() ? fapl.get() : H5P_DEFAULT),
                   H5Fclose);
        H5Handle ds(f.ok() ? H5Dopen2(f.get(), place.dataset.c_str(), H5P_DEFAULT) : -1, H5Dclose);
        if (!ds.ok() || (place.count > 0 && H5Dread(ds.get(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL,
                                                    H5P_DEFAULT, values.data()) < 0)) {
            unchanged();
            throw ReadError("Cannot read the dataset " + place.dataset + " of " + place.file +
                            " (damaged or cut short?)");
        }
    }
    unchanged();
    return values;
}

Array Reader::read_hdf(const Node& n, const std::string& where, std::uint64_t count, HdfPlace* place) {
    // "file.h5:/group/dataset"; the file name may hold ':' itself.
    const auto colon = where.rfind(":/");
    if (colon == std::string::npos || colon == 0) fail(n, "Expected FILE:/DATASET in the HDF DataItem");
    const std::string file = where.substr(0, colon);
    const std::string dataset = where.substr(colon + 1);
    const std::string path = confined(n, file, "HDF5");
    std::uint64_t file_size = 0;
    input::FileStamp stamp;
    {
        const input::Input probe(path);
        file_size = probe.size();
        stamp = probe.stamp();
    }
    const std::lock_guard lock(heavy_data_mutex());
    quiet_hdf5();
    auto it = h5_.find(path);
    if (it == h5_.end()) {
        H5Handle fapl(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
        // Never the file-locking dance, which fails on read-only folders.
        if (fapl.ok()) H5Pset_file_locking(fapl.get(), false, true);
        int refused = 0;
        try {
            refused = walk_in_child(
                file, [&] { return walk_hdf5_file(path, fapl.ok() ? fapl.get() : H5P_DEFAULT); });
        } catch (const ReadError& e) {
            fail(n, e.what());
        }
        // The library could not open it: refused without opening it here.
        if (refused)
            fail(n, input::cannot_open_message(file + " como arquivo HDF5", "danificado ou incompleto?"));
        H5Handle f(H5Fopen(path.c_str(), H5F_ACC_RDONLY, fapl.ok() ? fapl.get() : H5P_DEFAULT), H5Fclose);
        if (!f.ok())
            fail(n, input::cannot_open_message(file + " como arquivo HDF5", "danificado ou incompleto?"));
        it = h5_.emplace(path, std::move(f)).first;
    }
    const hid_t fid = it->second.get();
    if (H5Lexists(fid, dataset.c_str(), H5P_DEFAULT) <= 0) fail(n, "No dataset " + dataset + " in " + file);
    H5Handle ds(H5Dopen2(fid, dataset.c_str(), H5P_DEFAULT), H5Dclose);
    if (!ds.ok()) fail(n, "No dataset " + dataset + " in " + file);
    H5Handle space(H5Dget_space(ds.get()), H5Sclose);
    const int rank = space.ok() ? H5Sget_simple_extent_ndims(space.get()) : -1;
    if (rank < 0 || rank > 32) fail(n, "Cannot read the shape of " + dataset + " in " + file);
    std::vector<hsize_t> hd(static_cast<std::size_t>(rank));
    H5Sget_simple_extent_dims(space.get(), hd.data(), nullptr);
    std::vector<std::uint64_t> dims(hd.begin(), hd.end());
    const auto have = product(dims);
    if (!have || *have != count)
        fail(n, "The dataset " + dataset + " of " + file + " holds " +
                    (have ? std::to_string(*have) : "too many") + " values; the DataItem announces " +
                    std::to_string(count));
    H5Handle type(H5Dget_type(ds.get()), H5Tclose);
    const H5T_class_t cls = type.ok() ? H5Tget_class(type.get()) : H5T_NO_CLASS;
    if (cls != H5T_INTEGER && cls != H5T_FLOAT)
        fail(n, "The dataset " + dataset + " of " + file + " is not numeric");
    const hsize_t stored = H5Dget_storage_size(ds.get());
    if (count > std::max<std::uint64_t>(std::max<std::uint64_t>(stored, file_size), 64) * kMaxRatio / 8 ||
        count > std::max<std::uint64_t>(file_size, 64) * kMaxRatio / 8)
        fail(n, "The dataset " + dataset + " of " + file + " announces " + std::to_string(count) +
                    " values, more than a file of " + std::to_string(file_size) + " bytes can hold");
    Array out;
    if (place) {
        *place = HdfPlace{path, file, dataset, stamp, count};
        return out;
    }
    spend(count * 8, n.doc->name);
    out.values.resize(static_cast<std::size_t>(count));
    if (count > 0 &&
        H5Dread(ds.get(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, out.values.data()) < 0)
        fail(n, "Cannot read the dataset " + dataset + " of " + file + " (damaged or cut short?)");
    return out;
}

std::optional<double> Reader::time_of(const Node& grid) {
    for (const Node& c : children(grid, "Time")) {
        if (const std::string* v = c.e->attribute("Value")) {
            double t = 0;
            if (!input::parse_real(trim(*v), t)) fail(c, "Expected a number in Time Value=\"" + *v + "\"");
            return t;
        }
        const auto a = first_item(c);
        if (a->values.size() == 1) return a->values[0];
    }
    return std::nullopt;
}

void Reader::read_mesh(const Node& grid, Piece& p) {
    const auto geo = children(grid, "Geometry");
    const auto top = children(grid, "Topology");
    if (geo.empty()) fail(grid, "Expected a Geometry in the Grid");
    if (top.empty()) fail(grid, "Expected a Topology in the Grid");
    p.geometry = geo[0].e;
    p.topology = top[0].e;
    if (pieces_depth_ == 0 && first_mesh_.geometry == p.geometry && first_mesh_.topology == p.topology) {
        p.points = first_mesh_.points;
        p.cells = first_mesh_.cells;
        return;
    }

    // Points.
    const Node& g = geo[0];
    const std::string gtype = attr2(g, "GeometryType", "Type", "XYZ");
    std::vector<std::shared_ptr<const Array>> parts;
    for (const Node& c : children(g))
        if (c.e->name == "DataItem") parts.push_back(item(c));
    std::size_t dim = 3;
    if (gtype == "XYZ" || gtype == "XY") {
        dim = gtype == "XYZ" ? 3 : 2;
        if (parts.size() != 1) fail(g, "Expected one DataItem in Geometry " + gtype);
        if (parts[0]->values.size() % dim)
            fail(g, "Geometry " + gtype + " with a count not a multiple of " + std::to_string(dim));
        const std::size_t np = parts[0]->values.size() / dim;
        p.mesh.points.resize(3 * np);
        for (std::size_t i = 0; i < np; ++i)
            for (std::size_t c = 0; c < dim; ++c)
                p.mesh.points[3 * i + c] = parts[0]->values[dim * i + c];
    } else if (gtype == "X_Y_Z" || gtype == "X_Y") {
        dim = gtype == "X_Y_Z" ? 3 : 2;
        if (parts.size() != dim)
            fail(g, "Expected " + std::to_string(dim) + " DataItems in Geometry " + gtype);
        const std::size_t np = parts[0]->values.size();
        for (const auto& a : parts)
            if (a->values.size() != np) fail(g, "The coordinates of Geometry " + gtype + " differ in length");
        p.mesh.points.resize(3 * np);
        for (std::size_t c = 0; c < dim; ++c)
            for (std::size_t i = 0; i < np; ++i)
                p.mesh.points[3 * i + c] = parts[c]->values[i];
    } else {
        fail(g, "Unsupported GeometryType \"" + gtype + "\"");
    }
    for (const double v : p.mesh.points)
        if (!std::isfinite(v)) fail(g, "A coordinate that is not a finite number");
    const std::uint64_t np = p.mesh.point_count();

    // Cells.
    const Node& t = top[0];
    const std::string ttype = attr2(t, "TopologyType", "Type", "");
    const auto data = first_item(t);
    const std::vector<double>& v = data->values;
    const auto node_at = [&](std::size_t k) -> std::int64_t {
        const double x = v[k];
        if (!(x >= 0 && x < static_cast<double>(np)) || x != std::floor(x))
            fail(t, "Topology names point " + std::to_string(x) + "; the Geometry has " + std::to_string(np));
        return static_cast<std::int64_t>(x);
    };
    std::size_t dropped = 0;
    const auto add_cell = [&](std::uint8_t vtk, std::size_t first, std::size_t n, std::size_t keep) {
        if (n > keep) ++dropped;
        for (std::size_t k = 0; k < keep; ++k)
            p.mesh.cell_nodes.push_back(node_at(first + k));
        p.mesh.cell_types.push_back(vtk);
        p.mesh.cell_offsets.push_back(static_cast<std::int64_t>(p.mesh.cell_nodes.size()));
    };
    p.mesh.cell_offsets.assign(1, 0);
    if (lower(ttype) == "mixed") {
        std::size_t k = 0;
        while (k < v.size()) {
            const double code = v[k];
            const auto tp = code == std::floor(code) && std::abs(code) < 1e6
                                ? topo_of_number(static_cast<std::int64_t>(code))
                                : std::nullopt;
            if (!tp) fail(t, "Unknown cell type " + std::to_string(code) + " in Mixed topology");
            ++k;
            std::size_t n = static_cast<std::size_t>(tp->nodes);
            if (tp->nodes == 0) {
                if (k >= v.size() || !(v[k] >= 1 && v[k] <= 1e6))
                    fail(t, "Mixed topology with a bad node count");
                n = static_cast<std::size_t>(v[k]);
                ++k;
            }
            if (n > v.size() - k) fail(t, "Mixed topology ends inside a cell");
            std::uint8_t vtk = tp->vtk;
            if (vtk == vtk_line && n > 2) vtk = vtk_poly_line;
            add_cell(vtk, k, n, tp->keep ? static_cast<std::size_t>(tp->keep) : n);
            k += n;
        }
    } else {
        const auto tp = topo_of_name(ttype);
        if (!tp) fail(t, "Unsupported TopologyType \"" + ttype + "\"");
        std::size_t n = static_cast<std::size_t>(tp->nodes);
        if (n == 0) {
            const std::string npe = attr(t, "NodesPerElement", tp->vtk == vtk_line ? "2" : "");
            std::size_t got = 0;
            const auto r = std::from_chars(npe.data(), npe.data() + npe.size(), got);
            if (r.ec != std::errc() || got == 0 || got > 100000) {
                if (data->dims.size() == 2 && data->dims[1] > 0 && data->dims[1] <= 100000)
                    got = static_cast<std::size_t>(data->dims[1]);
                else
                    fail(t, "Expected NodesPerElement in Topology " + ttype);
            }
            n = got;
        }
        if (v.size() % n)
            fail(t, "Topology " + ttype + " with " + std::to_string(v.size()) +
                        " numbers, not a multiple of " + std::to_string(n));
        std::uint8_t vtk = tp->vtk;
        if (vtk == vtk_line && n > 2) vtk = vtk_poly_line;
        if (vtk == vtk_poly_vertex && n == 1) vtk = vtk_vertex;
        const std::size_t keep = tp->keep ? static_cast<std::size_t>(tp->keep) : n;
        p.mesh.cell_nodes.reserve(v.size() / n * keep);
        p.mesh.cell_types.reserve(v.size() / n);
        p.mesh.cell_offsets.reserve(v.size() / n + 1);
        for (std::size_t k = 0; k < v.size(); k += n)
            add_cell(vtk, k, n, keep);
    }
    p.points = p.mesh.point_count();
    p.cells = p.mesh.cell_count();
    if (pieces_depth_ == 0 && !first_mesh_.geometry)
        first_mesh_ = {p.geometry, p.topology, p.points, p.cells};
    if (dropped)
        warnings_.push_back(g.doc->name + ": " + std::to_string(dropped) + " cells of Topology " + ttype +
                            " keep their corner and edge nodes only (line " + std::to_string(t.e->line) +
                            ").");
}

Piece Reader::read_uniform(const Node& grid, std::vector<std::string>& skipped) {
    Piece p;
    read_mesh(grid, p);
    p.time = time_of(grid);
    const std::uint64_t np = p.points, nc = p.cells;
    for (const Node& a : children(grid, "Attribute")) {
        const std::string name = attr(a, "Name", "attribute");
        const std::string center = attr(a, "Center", "Node");
        const std::string type = attr2(a, "AttributeType", "Type", "Scalar");
        if (center != "Node" && center != "Cell") {
            skipped.push_back(name + " (Center " + center + ")");
            continue;
        }
        // A step's attribute in a dataset of its own is read when needed
        // (not inside a Spatial collection, whose joined pieces need values).
        const std::optional<HdfPlace> place = defer_ && pieces_depth_ == 0 ? deferred(a) : std::nullopt;
        const auto data = place ? nullptr : first_item(a);
        const std::uint64_t size = place ? place->count : data->values.size();
        const bool on_cells = center == "Cell";
        const std::uint64_t rows = on_cells ? nc : np;
        if (rows == 0 || size % rows)
            fail(a, "Attribute " + name + " has " + std::to_string(size) + " values for " +
                        std::to_string(rows) + (on_cells ? " cells" : " points"));
        const std::size_t comps = static_cast<std::size_t>(size / rows);
        ImportField f;
        f.name = name;
        f.on_cells = on_cells;
        const std::string lt = lower(type);
        Shape shape = Shape::plain;
        if (lt == "tensor6" && comps == 6) {
            f.components = 6;
            shape = Shape::tensor6;
        } else if (lt == "vector" && comps == 2) {
            f.components = 3; // a 2D vector in the z = 0 plane
            shape = Shape::vector2;
        } else if (lt == "scalar" || lt == "vector" || lt == "tensor" || lt == "tensor6" || lt == "matrix") {
            if (comps > 9) {
                skipped.push_back(name);
                continue;
            }
            f.components = static_cast<int>(comps);
        } else {
            skipped.push_back(name + " (" + type + ")");
            continue;
        }
        const auto n_rows = static_cast<std::size_t>(rows);
        if (place) {
            f.load = [place = *place, shape, n_rows, comps](ZeroedVector<double>& values) {
                shape_values(shape, n_rows, comps, read_place(place), values);
            };
        } else {
            shape_values(shape, n_rows, comps, data->values, f.values);
        }
        p.fields.push_back(std::move(f));
    }
    return p;
}

// Joins the pieces of a Spatial collection; points at the same coordinates
// become one (the first piece's values stay).
Piece join(std::vector<Piece>&& pieces, std::vector<std::string>& warnings, const std::string& where) {
    Piece out = std::move(pieces.front());
    std::unordered_map<PointKey, std::int64_t, PointKeyHash> seen;
    for (std::size_t i = 0; i < out.mesh.point_count(); ++i)
        seen.emplace(key_of(&out.mesh.points[3 * i]), static_cast<std::int64_t>(i));
    for (std::size_t k = 1; k < pieces.size(); ++k) {
        Piece& p = pieces[k];
        const std::size_t np = p.mesh.point_count();
        std::vector<std::int64_t> map(np);
        std::vector<std::size_t> fresh;
        for (std::size_t i = 0; i < np; ++i) {
            const auto next = static_cast<std::int64_t>(out.mesh.point_count() + fresh.size());
            const auto [it, added] = seen.emplace(key_of(&p.mesh.points[3 * i]), next);
            map[i] = it->second;
            if (added) fresh.push_back(i);
        }
        std::vector<ImportField> kept;
        for (ImportField& f : out.fields) {
            const auto it = std::find_if(p.fields.begin(), p.fields.end(), [&](const ImportField& g) {
                return g.name == f.name && g.on_cells == f.on_cells && g.components == f.components;
            });
            if (it == p.fields.end()) {
                warnings.push_back(where + ": grid " + std::to_string(k + 1) + " has no attribute \"" +
                                   f.name + "\"; it was left out.");
                continue;
            }
            const auto c = static_cast<std::size_t>(f.components);
            if (f.on_cells) {
                f.values.insert(f.values.end(), it->values.begin(), it->values.end());
            } else {
                for (const std::size_t i : fresh)
                    f.values.insert(f.values.end(), it->values.begin() + static_cast<std::ptrdiff_t>(i * c),
                                    it->values.begin() + static_cast<std::ptrdiff_t>((i + 1) * c));
            }
            kept.push_back(std::move(f));
        }
        out.fields = std::move(kept);
        for (const std::size_t i : fresh)
            out.mesh.points.insert(out.mesh.points.end(),
                                   p.mesh.points.begin() + static_cast<std::ptrdiff_t>(3 * i),
                                   p.mesh.points.begin() + static_cast<std::ptrdiff_t>(3 * i + 3));
        const auto shift = static_cast<std::int64_t>(out.mesh.cell_nodes.size());
        for (const std::int64_t v : p.mesh.cell_nodes)
            out.mesh.cell_nodes.push_back(map[static_cast<std::size_t>(v)]);
        for (std::size_t c = 1; c < p.mesh.cell_offsets.size(); ++c)
            out.mesh.cell_offsets.push_back(shift + p.mesh.cell_offsets[c]);
        out.mesh.cell_types.insert(out.mesh.cell_types.end(), p.mesh.cell_types.begin(),
                                   p.mesh.cell_types.end());
        // Blocks of one name in several pieces are one block.
        std::vector<std::uint16_t> block_of(p.mesh.block_names.size(), ResultModel::kNoBlock);
        for (std::size_t b = 0; b < block_of.size(); ++b) {
            const std::string& name = p.mesh.block_names[b];
            const auto it = std::find(out.mesh.block_names.begin(), out.mesh.block_names.end(), name);
            const auto at = static_cast<std::size_t>(it - out.mesh.block_names.begin());
            if (it == out.mesh.block_names.end()) out.mesh.block_names.push_back(name);
            if (at < ResultModel::kNoBlock) block_of[b] = static_cast<std::uint16_t>(at);
        }
        for (const std::uint16_t b : p.mesh.cell_blocks)
            out.mesh.cell_blocks.push_back(b < block_of.size() ? block_of[b] : ResultModel::kNoBlock);
        if (!out.time) out.time = p.time;
    }
    out.geometry = nullptr; // a joined mesh is its own
    out.topology = nullptr;
    out.points = out.mesh.point_count();
    out.cells = out.mesh.cell_count();
    return out;
}

Piece Reader::read_grid(const Node& grid, std::vector<std::string>& skipped,
                        std::vector<std::string>& warnings) {
    const std::string type = attr2(grid, "GridType", "Type", "Uniform");
    if (type == "Uniform") return read_uniform(grid, skipped);
    if (type == "Collection" || type == "Tree") {
        const std::string ct = attr(grid, "CollectionType", "Spatial");
        if (ct == "Temporal") fail(grid, "A Temporal collection inside a collection is not read");
        std::vector<Piece> pieces;
        ++pieces_depth_;
        for (const Node& c : children(grid, "Grid"))
            pieces.push_back(read_grid(c, skipped, warnings));
        --pieces_depth_;
        if (pieces.empty()) fail(grid, "Expected a Grid in the collection");
        // Each grid of the collection is an element block, by its Name (a
        // grid that is itself a collection keeps its own grids' blocks).
        const auto kids = children(grid, "Grid");
        for (std::size_t k = 0; k < pieces.size(); ++k) {
            ImportMesh& mesh = pieces[k].mesh;
            if (!mesh.cell_blocks.empty()) continue;
            const std::string name = attr(kids[k], "Name");
            mesh.block_names = {name.empty() ? "grid " + std::to_string(k + 1) : name};
            mesh.cell_blocks.assign(mesh.cell_count(), 0);
        }
        Piece out = join(std::move(pieces), warnings, grid.doc->name);
        if (!out.time) out.time = time_of(grid);
        return out;
    }
    fail(grid, "Unsupported GridType \"" + type + "\"");
}

bool same_mesh(const ImportMesh& a, const ImportMesh& b) {
    return a.points == b.points && a.cell_types == b.cell_types && a.cell_offsets == b.cell_offsets &&
           a.cell_nodes == b.cell_nodes;
}

ImportData Reader::read(const Doc& top) {
    const Node root{&top, &top.tree.root()};
    if (root.e->name != "Xdmf")
        throw ReadError(top.name + " is not an XDMF file (its root element is " + root.e->name + ")");
    const auto domains = children(root, "Domain");
    if (domains.empty()) fail(root, "Expected a Domain in Xdmf");
    const auto grids = children(domains[0], "Grid");
    if (grids.empty()) fail(domains[0], "Expected a Grid in the Domain");

    ImportData out;
    std::vector<std::string> skipped;
    struct Step {
        std::optional<double> time;
        Piece piece;
        std::string where;
    };
    std::vector<Step> steps;
    bool temporal = false;
    for (const Node& g : grids) {
        const std::string type = attr2(g, "GridType", "Type", "Uniform");
        if (type != "Collection" || attr(g, "CollectionType") != "Temporal") continue;
        temporal = true;
        // A Time of TimeType List on the collection gives its children's times.
        std::vector<double> listed;
        for (const Node& t : children(g, "Time"))
            if (lower(attr(t, "TimeType")) == "list") listed = first_item(t)->values;
        const auto kids = children(g, "Grid");
        for (std::size_t k = 0; k < kids.size(); ++k) {
            Step s;
            s.piece = read_grid(kids[k], skipped, out.warnings);
            s.time = s.piece.time;
            if (!s.time && k < listed.size()) s.time = listed[k];
            s.where = "line " + std::to_string(kids[k].e->line);
            steps.push_back(std::move(s));
        }
    }
    if (!temporal) {
        Step s;
        s.piece = read_grid(grids[0], skipped, out.warnings);
        s.time = s.piece.time;
        steps.push_back(std::move(s));
    }
    if (steps.empty()) fail(grids[0], "The Temporal collection holds no Grid");

    // Steps of several collections (dolfinx writes one per function) at one
    // time are one step.
    std::vector<ImportStep> merged;
    std::vector<std::string> left_out;
    const XmlElement* geo = steps[0].piece.geometry;
    const XmlElement* topo = steps[0].piece.topology;
    out.mesh = std::move(steps[0].piece.mesh);
    for (std::size_t k = 0; k < steps.size(); ++k) {
        Step& s = steps[k];
        if (k > 0) {
            const bool shared = s.piece.geometry && s.piece.geometry == geo && s.piece.topology == topo;
            if (!shared && !same_mesh(out.mesh, s.piece.mesh)) {
                left_out.push_back(s.where);
                continue;
            }
        }
        ImportStep* into = nullptr;
        for (ImportStep& m : merged)
            if (m.time == s.time && s.time) into = &m;
        if (!into) {
            merged.emplace_back();
            into = &merged.back();
            into->time = s.time;
        }
        for (ImportField& f : s.piece.fields)
            into->fields.push_back(std::move(f));
    }
    std::stable_sort(merged.begin(), merged.end(), [](const ImportStep& a, const ImportStep& b) {
        return a.time.value_or(0.0) < b.time.value_or(0.0);
    });
    if (!left_out.empty()) {
        std::string text = top.name +
                           ": the grids of the time series differ; only the steps on the first mesh "
                           "were opened (left out: grids at";
        for (std::size_t k = 0; k < left_out.size(); ++k)
            text += (k ? ", " : " ") + left_out[k];
        out.warnings.push_back(text + ").");
    }
    out.warnings.insert(out.warnings.end(), warnings_.begin(), warnings_.end());
    out.steps = std::move(merged);
    out.skipped_fields = std::move(skipped);
    std::size_t lists = 0;
    for (const ImportStep& s : out.steps)
        for (const ImportField& f : s.fields)
            lists += static_cast<std::size_t>(f.components) + 1;
    const std::uint64_t model = ResultModel::bytes_needed(
        static_cast<std::int64_t>(
            std::min<std::size_t>(out.mesh.point_count(), std::numeric_limits<std::int32_t>::max())),
        static_cast<std::int64_t>(
            std::min<std::size_t>(out.mesh.cell_count(), std::numeric_limits<std::int32_t>::max())),
        static_cast<std::int64_t>(std::min<std::size_t>(lists, std::numeric_limits<std::int32_t>::max())));
    if (model > budget_ || used_ + model > budget_) throw ReadError("Not enough memory to read " + top.name);
    return out;
}

} // namespace

ImportData import_xdmf(input::Input& in, const ReaderOptions& options) {
    if (in.in_memory()) {
        Reader r(options, in.size());
        return r.read(r.load_bytes(in.data(), static_cast<std::size_t>(in.size()), in.path()));
    }
    Reader r(options, 0, true);
    return r.read(r.load_top(in.path()));
}

bool looks_like_xdmf(std::string_view b) {
    std::size_t p = 0;
    if (b.substr(0, 3) == "\xEF\xBB\xBF") p = 3;
    while (p < b.size() && static_cast<unsigned char>(b[p]) <= 32)
        ++p;
    if (b.substr(p, 1) != "<") return false;
    // The first element that is not a declaration, comment or DOCTYPE.
    while (p < b.size()) {
        const std::size_t lt = b.find('<', p);
        if (lt == std::string_view::npos || lt + 1 >= b.size()) return false;
        const char c = b[lt + 1];
        if (c == '?' || c == '!') {
            if (b.substr(lt, 4) == "<!--") {
                const std::size_t end = b.find("-->", lt + 4);
                if (end == std::string_view::npos) return false;
                p = end + 3;
            } else {
                // A DOCTYPE may hold an internal subset in brackets.
                const std::size_t bracket = b.find('[', lt);
                const std::size_t gt = b.find('>', lt);
                if (gt == std::string_view::npos) return false;
                if (bracket != std::string_view::npos && bracket < gt) {
                    const std::size_t close = b.find("]", bracket);
                    if (close == std::string_view::npos) return false;
                    p = b.find('>', close);
                    if (p == std::string_view::npos) return false;
                    ++p;
                } else {
                    p = gt + 1;
                }
            }
            continue;
        }
        const std::string_view tag = b.substr(lt + 1, 5);
        return tag.substr(0, 4) == "Xdmf" &&
               (tag.size() < 5 || !std::isalnum(static_cast<unsigned char>(tag[4])));
    }
    return false;
}

} // namespace orv
