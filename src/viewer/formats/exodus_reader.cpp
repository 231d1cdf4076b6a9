#include "viewer/formats/exodus_reader.h"

#include "viewer/formats/heavy_data_lock.h"
#include "viewer/formats/heavy_data_probe.h"

#include <hdf5.h>
#include <netcdf.h>
#include <netcdf_mem.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <span>

namespace orv {

std::mutex& heavy_data_mutex() {
    static std::mutex m;
    return m;
}

void quiet_hdf5() {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
}

namespace {

// Largest ratio of values to file bytes believed (netCDF-4 data may be
// deflated; deflate cannot do better than about 1032:1).
constexpr std::uint64_t kMaxRatio = 1100;

std::string upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Exodus node order into VTK's, where they differ: entry k is the Exodus
// node that becomes VTK node k.
constexpr std::array<int, 20> kHex20{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 16, 17, 18, 19, 12, 13, 14, 15};
// Exodus puts the centre node first among the seven, then the faces
// z-, z+, x-, x+, y-, y+; VTK the faces x-, x+, y-, y+, z-, z+, then the centre.
constexpr std::array<int, 27> kHex27{0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 16, 17,
                                     18, 19, 12, 13, 14, 15, 23, 24, 25, 26, 21, 22, 20};
constexpr std::array<int, 15> kWedge15{0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 13, 14, 9, 10, 11};

struct CellKind {
    std::uint8_t vtk = 0;
    const int* order = nullptr; // nullptr: same order
};

// The VTK cell of an Exodus element type and node count; vtk 0 when none.
CellKind cell_kind(const std::string& type, std::size_t nodes) {
    std::string t = upper(type);
    while (!t.empty() && (std::isdigit(static_cast<unsigned char>(t.back())) || t.back() == ' '))
        t.pop_back();
    const auto starts = [&](const char* p) { return t.rfind(p, 0) == 0; };
    if (starts("HEX")) {
        if (nodes == 8) return {vtk_hexahedron};
        if (nodes == 20) return {vtk_quadratic_hexahedron, kHex20.data()};
        if (nodes == 27) return {vtk_triquadratic_hexahedron, kHex27.data()};
    } else if (starts("TET")) {
        if (nodes == 4) return {vtk_tetra};
        if (nodes == 10) return {vtk_quadratic_tetra};
    } else if (starts("WEDGE")) {
        if (nodes == 6) return {vtk_wedge};
        if (nodes == 15) return {vtk_quadratic_wedge, kWedge15.data()};
    } else if (starts("PYRA")) {
        if (nodes == 5) return {vtk_pyramid};
        if (nodes == 13) return {vtk_quadratic_pyramid};
    } else if (starts("TRI")) { // TRI, TRIANGLE, TRISHELL
        if (nodes == 3) return {vtk_triangle};
        if (nodes == 6) return {vtk_quadratic_triangle};
    } else if (starts("QUAD") || starts("SHELL")) {
        if (nodes == 4) return {vtk_quad};
        if (nodes == 8) return {vtk_quadratic_quad};
        if (nodes == 9) return {vtk_biquadratic_quad};
    } else if (starts("BEAM") || starts("BAR") || starts("TRUSS") || starts("EDGE")) {
        if (nodes == 2) return {vtk_line};
        if (nodes == 3) return {vtk_quadratic_edge};
    } else if (starts("SPHERE") || starts("CIRCLE") || starts("POINT")) {
        if (nodes == 1) return {vtk_vertex};
    }
    return {};
}

// The netCDF library reads a classic file cut short as if its missing bytes
// were zeros. The classic header says where every variable's data begins;
// this is the byte where the last of them ends, so that a shorter file is
// refused. Returns nullopt when `head` is not a whole classic header.
std::optional<std::uint64_t> classic_data_end(std::string_view head) {
    if (head.size() < 8 || head.substr(0, 3) != "CDF") return std::nullopt;
    const int version = head[3];
    if (version != 1 && version != 2 && version != 5) return std::nullopt;
    std::size_t p = 4;
    bool ok = true;
    const auto u32 = [&]() -> std::uint64_t {
        if (head.size() - p < 4) {
            ok = false;
            return 0;
        }
        std::uint64_t v = 0;
        for (int k = 0; k < 4; ++k)
            v = v << 8 | static_cast<unsigned char>(head[p++]);
        return v;
    };
    const auto u64 = [&]() -> std::uint64_t {
        const std::uint64_t hi = u32();
        return hi << 32 | u32();
    };
    const auto count = [&] { return version == 5 ? u64() : u32(); };
    const auto skip = [&](std::uint64_t n) {
        n = (n + 3) / 4 * 4;
        if (n > head.size() - p) {
            ok = false;
            p = head.size();
        } else {
            p += static_cast<std::size_t>(n);
        }
    };
    static constexpr std::uint64_t kTypeSize[] = {0, 1, 1, 2, 4, 4, 8, 1, 2, 4, 8, 8};
    const auto type_size = [&](std::uint64_t t) -> std::uint64_t {
        if (t < 1 || t > 11) {
            ok = false;
            return 1;
        }
        return kTypeSize[t];
    };
    const auto attributes = [&] {
        const std::uint64_t tag = u32();
        const std::uint64_t n = count();
        if (tag == 0) return;
        for (std::uint64_t a = 0; a < n && ok; ++a) {
            skip(count()); // name
            const std::uint64_t size = type_size(u32());
            const std::uint64_t values = count();
            if (values > head.size())
                ok = false;
            else
                skip(values * size);
        }
    };
    const std::uint64_t numrecs = count();
    // Dimensions.
    std::vector<std::uint64_t> dims;
    std::uint64_t tag = u32();
    std::uint64_t n = count();
    if (tag != 0)
        for (std::uint64_t d = 0; d < n && ok && d < head.size(); ++d) {
            skip(count());
            dims.push_back(count());
        }
    if (!ok) return std::nullopt;
    attributes();
    // Variables.
    struct Var {
        bool record = false;
        std::uint64_t slab = 1; // bytes of one record, or of the whole variable
        std::uint64_t begin = 0;
    };
    std::vector<Var> vars;
    tag = u32();
    n = count();
    if (tag != 0)
        for (std::uint64_t v = 0; v < n && ok && v < head.size(); ++v) {
            Var var;
            skip(count());
            const std::uint64_t rank = count();
            std::vector<std::uint64_t> ids;
            for (std::uint64_t r = 0; r < rank && ok && r < head.size(); ++r)
                ids.push_back(count());
            attributes();
            var.slab = type_size(u32());
            count(); // vsize, capped in large files: computed below instead
            var.begin = version == 1 ? u32() : u64();
            for (std::size_t r = 0; r < ids.size() && ok; ++r) {
                if (ids[r] >= dims.size()) return std::nullopt;
                if (r == 0 && dims[ids[r]] == 0) {
                    var.record = true;
                    continue;
                }
                if (dims[ids[r]] != 0 && var.slab > (std::uint64_t(1) << 62) / dims[ids[r]])
                    return std::nullopt;
                var.slab *= dims[ids[r]];
            }
            vars.push_back(var);
        }
    if (!ok) return std::nullopt;
    std::uint64_t recsize = 0, records = 0;
    for (const Var& v : vars)
        if (v.record) {
            recsize += (v.slab + 3) / 4 * 4;
            ++records;
        }
    if (records == 1) // a lone record variable is not padded
        for (const Var& v : vars)
            if (v.record) recsize = v.slab;
    std::uint64_t end = p;
    for (const Var& v : vars) {
        std::uint64_t e = v.begin + v.slab;
        if (v.record) {
            if (numrecs == 0 || numrecs == 0xFFFFFFFFu) continue;
            if (recsize && numrecs - 1 > ((std::uint64_t(1) << 62) / recsize)) return std::nullopt;
            e = v.begin + (numrecs - 1) * recsize + v.slab;
        }
        end = std::max(end, e);
    }
    return end;
}

struct Block {
    std::int64_t id = 0;
    std::string name;
    std::string type;
    std::size_t count = 0;
    std::size_t nodes = 0;
    int varid = -1;
    CellKind kind;
};

// Where a nodal variable's values lie: vals_nod_varK (time_step, num_nodes
// [, components]) or the old combined vals_nod_var (time_step, num_nod_var,
// num_nodes).
struct NodalVar {
    int varid = -1;
    int components = 1;
    bool combined = false;
    std::size_t index = 0; // in the combined variable
};

} // namespace

struct ExodusFile::Impl {
    std::string name;
    std::string path;         // empty: bytes in memory
    input::FileStamp stamp{}; // of the file when opened
    std::uint64_t file_size = 0;
    int ncid = -1;
    std::size_t dim = 3;
    std::size_t nodes = 0;
    std::size_t elements = 0;
    std::size_t steps = 0;
    std::vector<double> times;
    std::vector<Block> blocks;
    std::vector<std::string> nodal_names, element_names;
    std::vector<NodalVar> nodal;
    std::vector<std::vector<int>> element_vars; // [var][block] varid, -1: none
    std::vector<std::string> groups;

    ~Impl() {
        if (ncid >= 0) {
            const std::lock_guard lock(heavy_data_mutex());
            nc_close(ncid);
        }
    }

    [[noreturn]] void fail(const std::string& what) const { throw ReadError(name + ": " + what); }
    void check(int status, const std::string& what) const {
        if (status != NC_NOERR) fail(what + " (" + nc_strerror(status) + ")");
    }

    std::optional<std::size_t> dimension(const std::string& n) const {
        int id = -1;
        if (nc_inq_dimid(ncid, n.c_str(), &id) != NC_NOERR) return std::nullopt;
        std::size_t len = 0;
        check(nc_inq_dimlen(ncid, id, &len), "cannot read the dimension " + n);
        return len;
    }
    int variable(const std::string& n) const {
        int id = -1;
        return nc_inq_varid(ncid, n.c_str(), &id) == NC_NOERR ? id : -1;
    }
    std::vector<std::size_t> shape(int varid, const std::string& n) const {
        int nd = 0;
        check(nc_inq_varndims(ncid, varid, &nd), "cannot read the variable " + n);
        if (nd < 0 || nd > NC_MAX_VAR_DIMS) fail("the variable " + n + " has no valid shape");
        std::vector<int> ids(static_cast<std::size_t>(nd));
        check(nc_inq_vardimid(ncid, varid, ids.data()), "cannot read the variable " + n);
        std::vector<std::size_t> out;
        for (const int id : ids) {
            std::size_t len = 0;
            check(nc_inq_dimlen(ncid, id, &len), "cannot read the variable " + n);
            out.push_back(len);
        }
        return out;
    }
    // Refuses reading `count` values of `n` when neither memory nor the
    // file's size can account for them.
    void can_hold(std::uint64_t count, const std::string& n) const {
        if (count > std::max<std::uint64_t>(file_size, 64) * kMaxRatio / 8)
            fail("the variable " + n + " announces " + std::to_string(count) +
                 " values, more than a file of " + std::to_string(file_size) + " bytes can hold");
    }
    std::string text_attribute(int varid, const char* att) const {
        std::size_t len = 0;
        if (nc_inq_attlen(ncid, varid, att, &len) != NC_NOERR || len > 4096) return {};
        std::string s(len, '\0');
        if (nc_get_att_text(ncid, varid, att, s.data()) != NC_NOERR) return {};
        s.resize(std::strlen(s.c_str()));
        return s;
    }
    // Rows of a (count, len) character variable, each up to its first NUL, trimmed.
    std::vector<std::string> names(const char* var, std::size_t count) const {
        std::vector<std::string> out(count);
        const int id = variable(var);
        if (id < 0 || count == 0) return out;
        const auto sh = shape(id, var);
        if (sh.size() != 2 || sh[0] < count || sh[1] > 4096) return out;
        nc_type type = NC_NAT;
        if (nc_inq_vartype(ncid, id, &type) != NC_NOERR || type != NC_CHAR) return out;
        std::string all(count * sh[1], '\0');
        const std::size_t start[2] = {0, 0}, cnt[2] = {count, sh[1]};
        if (nc_get_vara_text(ncid, id, start, cnt, all.data()) != NC_NOERR) return out;
        for (std::size_t k = 0; k < count; ++k) {
            std::string s(all.data() + k * sh[1], sh[1]);
            s.resize(std::strlen(s.c_str()));
            while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32)
                s.pop_back();
            out[k] = std::move(s);
        }
        return out;
    }
    std::vector<std::int64_t> ints(const char* var, std::size_t count) const {
        std::vector<std::int64_t> out;
        const int id = variable(var);
        if (id < 0 || count == 0) return out;
        const auto sh = shape(id, var);
        if (sh.size() != 1 || sh[0] != count) return out;
        can_hold(count, var);
        out.resize(count);
        static_assert(sizeof(long long) == sizeof(std::int64_t));
        check(nc_get_var_longlong(ncid, id, reinterpret_cast<long long*>(out.data())),
              std::string("cannot read ") + var);
        return out;
    }

    // Refuses a classic file shorter than its header says (its header read
    // from `path`, or from `data` when given).
    // Done before the library sees the file: given a classic header that
    // announces more than the bytes hold, it sizes its memory by the header.
    void check_length(const std::string& path, const char* data) const {
        const std::string magic = data ? std::string(data, std::min<std::uint64_t>(file_size, 3))
                                       : input::Input(path).first_bytes(3);
        if (magic != "CDF") return; // netCDF-4: HDF5 checks its own length
        for (std::uint64_t want = 1 << 16;; want *= 4) {
            const std::size_t len = static_cast<std::size_t>(std::min<std::uint64_t>(want, file_size));
            std::string head;
            if (data) {
                head.assign(data, len);
            } else {
                const input::Input file(path);
                head = file.first_bytes(len);
            }
            if (const auto end = classic_data_end(head)) {
                if (*end > file_size)
                    fail("the file ends at byte " + std::to_string(file_size) +
                         " but its variables run to byte " + std::to_string(*end) + "; it was cut short");
                return;
            }
            if (len >= file_size || want > (std::uint64_t(1) << 28))
                fail("its netCDF header cannot be read whole");
        }
    }

    void index();
    // A netCDF error as a child's exit code (1..200), and back.
    static int refusal_code(int status) { return std::clamp(-status, 1, 200); }
    // Refuses the file when the child could not open it (code != 0), with the
    // library's own words, without calling the library here.
    void refuse_unless_opened(int code) const {
        if (code != 0)
            throw ReadError(input::cannot_open_message(name + " como arquivo Exodus II", nc_strerror(-code)) +
                            " (damaged HDF5 data?)");
    }
    // Nodes first .. first + n - 1 (all of them by default).
    void read_nodal(std::size_t step, std::size_t var, double* out, std::size_t first = 0,
                    std::size_t n = SIZE_MAX) const;
    void read_element(std::size_t step, std::size_t var, double* out) const;
};

void ExodusFile::Impl::index() {
    const auto n = dimension("num_nodes");
    const auto d = dimension("num_dim");
    if (!n || !d) fail("not an Exodus II file (no num_nodes or num_dim dimension)");
    nodes = *n;
    dim = *d;
    if (dim < 1 || dim > 3) fail("num_dim is " + std::to_string(dim) + "; 1, 2 or 3 expected");
    can_hold(nodes, "num_nodes");

    // Element blocks.
    const std::size_t nblk = dimension("num_el_blk").value_or(0);
    can_hold(nblk, "num_el_blk");
    const std::vector<std::string> block_names = names("eb_names", nblk);
    const std::vector<std::int64_t> block_ids = ints("eb_prop1", nblk);
    for (std::size_t b = 0; b < nblk; ++b) {
        Block blk;
        blk.id = block_ids.empty() ? static_cast<std::int64_t>(b + 1) : block_ids[b];
        blk.name = block_names[b];
        const std::string k = std::to_string(b + 1);
        blk.count = dimension("num_el_in_blk" + k).value_or(0);
        blk.varid = variable("connect" + k);
        if (blk.count > 0) {
            if (blk.varid < 0) fail("element block " + k + " has no connect" + k);
            const auto sh = shape(blk.varid, "connect" + k);
            if (sh.size() != 2 || sh[0] != blk.count)
                fail("connect" + k + " does not have num_el_in_blk" + k + " rows");
            blk.nodes = sh[1];
            can_hold(static_cast<std::uint64_t>(blk.count) * std::max<std::size_t>(blk.nodes, 1),
                     "connect" + k);
            blk.type = text_attribute(blk.varid, "elem_type");
            blk.kind = cell_kind(blk.type, blk.nodes);
        }
        elements += blk.count;
        groups.push_back("block " + std::to_string(blk.id) + " " + (blk.type.empty() ? "?" : blk.type) + " " +
                         std::to_string(blk.count) + (blk.name.empty() ? "" : " " + blk.name));
        blocks.push_back(std::move(blk));
    }

    // Node and side sets: listed only.
    const auto sets = [&](const char* count_dim, const char* ids, const char* set_names, const char* each,
                          const char* word) {
        const std::size_t count = dimension(count_dim).value_or(0);
        can_hold(count, count_dim);
        const auto nm = names(set_names, count);
        const auto id = ints(ids, count);
        for (std::size_t s = 0; s < count; ++s)
            groups.push_back(std::string(word) + " " +
                             std::to_string(id.empty() ? static_cast<std::int64_t>(s + 1) : id[s]) + " " +
                             std::to_string(dimension(each + std::to_string(s + 1)).value_or(0)) +
                             (nm[s].empty() ? "" : " " + nm[s]));
    };
    sets("num_node_sets", "ns_prop1", "ns_names", "num_nod_ns", "nodeset");
    sets("num_side_sets", "ss_prop1", "ss_names", "num_side_ss", "sideset");

    // Steps.
    steps = dimension("time_step").value_or(0);
    can_hold(steps, "time_step");
    if (const int t = variable("time_whole"); t >= 0 && steps > 0) {
        const auto sh = shape(t, "time_whole");
        if (sh.size() == 1 && sh[0] == steps) {
            times.resize(steps);
            check(nc_get_var_double(ncid, t, times.data()), "cannot read time_whole");
        }
    }
    if (times.size() != steps) times.assign(steps, 0.0);

    // Nodal variables.
    const std::size_t nnv = dimension("num_nod_var").value_or(0);
    can_hold(nnv, "num_nod_var");
    nodal_names = names("name_nod_var", nnv);
    const int combined = variable("vals_nod_var");
    for (std::size_t v = 0; v < nnv; ++v) {
        const std::string vn = "vals_nod_var" + std::to_string(v + 1);
        NodalVar nv;
        nv.varid = variable(vn);
        if (nv.varid >= 0) {
            const auto sh = shape(nv.varid, vn);
            // The usual (time_step, num_nodes); meshio adds a components dimension.
            if (sh.size() < 2 || sh.size() > 3 || sh[0] != steps || sh[1] != nodes ||
                (sh.size() == 3 && (sh[2] < 1 || sh[2] > 9)))
                fail(vn + " does not have time_step x num_nodes values");
            nv.components = sh.size() == 3 ? static_cast<int>(sh[2]) : 1;
        } else if (combined >= 0) {
            const auto sh = shape(combined, "vals_nod_var");
            if (sh.size() != 3 || sh[0] != steps || sh[1] != nnv || sh[2] != nodes)
                fail("vals_nod_var does not have time_step x num_nod_var x num_nodes values");
            nv.varid = combined;
            nv.combined = true;
            nv.index = v;
        } else {
            fail("nodal variable " + std::to_string(v + 1) + " (" + nodal_names[v] + ") has no values");
        }
        if (nodal_names[v].empty()) nodal_names[v] = "nodal " + std::to_string(v + 1);
        nodal.push_back(nv);
    }

    // Element variables, per block.
    const std::size_t nev = dimension("num_elem_var").value_or(0);
    can_hold(nev, "num_elem_var");
    element_names = names("name_elem_var", nev);
    element_vars.assign(nev, std::vector<int>(blocks.size(), -1));
    for (std::size_t v = 0; v < nev; ++v) {
        if (element_names[v].empty()) element_names[v] = "element " + std::to_string(v + 1);
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            const std::string vn = "vals_elem_var" + std::to_string(v + 1) + "eb" + std::to_string(b + 1);
            const int id = variable(vn);
            if (id < 0) continue;
            const auto sh = shape(id, vn);
            if (sh.size() != 2 || sh[0] != steps || sh[1] != blocks[b].count)
                fail(vn + " does not have time_step x num_el_in_blk" + std::to_string(b + 1) + " values");
            element_vars[v][b] = id;
        }
    }
}

void ExodusFile::Impl::read_nodal(std::size_t step, std::size_t var, double* out, std::size_t first,
                                  std::size_t n) const {
    const NodalVar& nv = nodal.at(var);
    if (step >= steps) fail("no step " + std::to_string(step + 1));
    if (first > nodes) fail("no node " + std::to_string(first + 1));
    n = std::min(n, nodes - first);
    const std::string what = "cannot read the values of " + nodal_names[var];
    can_hold(static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(nv.components), nodal_names[var]);
    if (n == 0) return;
    if (nv.combined) {
        const std::size_t start[3] = {step, nv.index, first}, count[3] = {1, 1, n};
        check(nc_get_vara_double(ncid, nv.varid, start, count, out), what);
    } else if (nv.components > 1) {
        const std::size_t start[3] = {step, first, 0},
                          count[3] = {1, n, static_cast<std::size_t>(nv.components)};
        check(nc_get_vara_double(ncid, nv.varid, start, count, out), what);
    } else {
        const std::size_t start[2] = {step, first}, count[2] = {1, n};
        check(nc_get_vara_double(ncid, nv.varid, start, count, out), what);
    }
}

void ExodusFile::Impl::read_element(std::size_t step, std::size_t var, double* out) const {
    if (step >= steps) fail("no step " + std::to_string(step + 1));
    const auto& ids = element_vars.at(var);
    std::size_t first = 0;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const std::size_t count = blocks[b].count;
        if (ids[b] >= 0 && count > 0) {
            const std::size_t start[2] = {step, 0}, cnt[2] = {1, count};
            check(nc_get_vara_double(ncid, ids[b], start, cnt, out + first),
                  "cannot read the values of " + element_names[var]);
        } else {
            std::fill(out + first, out + first + count, 0.0);
        }
        first += count;
    }
}

namespace {

bool ends_with_ci(const std::string& s, const std::string& suffix) {
    if (s.size() <= suffix.size()) return false;
    for (std::size_t k = 0; k < suffix.size(); ++k)
        if (std::toupper(static_cast<unsigned char>(s[s.size() - suffix.size() + k])) != suffix[k])
            return false;
    return true;
}

} // namespace

std::vector<ComponentGroup> group_components(const std::vector<std::string>& names, int dimension) {
    std::vector<ComponentGroup> out;
    std::vector<char> used(names.size(), 0);
    // The name of `base` + one of `suffixes` (case aside) among unused names.
    const auto find = [&](const std::string& base, const std::string& suffix) {
        for (std::size_t k = 0; k < names.size(); ++k)
            if (!used[k] && names[k].size() == base.size() + suffix.size() && names[k].rfind(base, 0) == 0 &&
                ends_with_ci(names[k], suffix))
                return static_cast<int>(k);
        return -1;
    };
    static const std::vector<std::string> kTensor{"_XX", "_YY", "_ZZ", "_XY", "_YZ", "_XZ"};
    static const std::vector<std::string> kVector{"_X", "_Y", "_Z"};
    static const std::vector<std::string> kBare{"X", "Y", "Z"};
    const auto try_group = [&](std::size_t i, const std::vector<std::string>& suffixes, int kind,
                               ComponentGroup& g) {
        for (const std::string& s : suffixes) {
            if (!ends_with_ci(names[i], s)) continue;
            const std::string base = names[i].substr(0, names[i].size() - s.size());
            std::vector<int> members;
            for (const std::string& t : suffixes)
                members.push_back(find(base, t));
            int missing = 0;
            for (std::size_t k = 0; k < members.size(); ++k)
                if (members[k] < 0) ++missing;
            bool ok = false;
            if (kind == 6) // all six, or a 2D mesh's XX YY XY
                ok = missing == 0 || (dimension == 2 && members[0] >= 0 && members[1] >= 0 &&
                                      members[3] >= 0 && members[4] < 0 && members[5] < 0);
            else // X Y Z, or a 2D mesh's X Y
                ok = missing == 0 || (dimension == 2 && members[0] >= 0 && members[1] >= 0 && members[2] < 0);
            if (!ok) continue;
            g.name = base;
            if (!g.name.empty() && g.name.back() == '_') g.name.pop_back();
            if (g.name.empty()) continue;
            g.kind = kind;
            g.members = std::move(members);
            return true;
        }
        return false;
    };
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (used[i]) continue;
        ComponentGroup g;
        if (try_group(i, kTensor, 6, g) || try_group(i, kVector, 3, g) || try_group(i, kBare, 3, g)) {
            for (const int m : g.members)
                if (m >= 0) used[static_cast<std::size_t>(m)] = 1;
        } else {
            g.name = names[i];
            g.members = {static_cast<int>(i)};
            used[i] = 1;
        }
        out.push_back(std::move(g));
    }
    return out;
}

ExodusFile::ExodusFile(const std::string& path) : impl_(std::make_unique<Impl>()) {
    impl_->name = input::base_name(path);
    {
        const input::Input probe(path); // a FIFO or a device never reaches the library
        impl_->file_size = probe.size();
        impl_->stamp = probe.stamp();
        impl_->path = path;
    }
    impl_->check_length(path, nullptr);
    const std::string magic = input::Input(path).first_bytes(8);
    const std::lock_guard lock(heavy_data_mutex());
    quiet_hdf5();
    if (starts_as_hdf5(magic.data(), magic.size()))
        impl_->refuse_unless_opened(walk_in_child(impl_->name, [&] {
            int child_id = -1;
            if (const int status = nc_open(path.c_str(), NC_NOWRITE, &child_id); status != NC_NOERR)
                return Impl::refusal_code(status);
            impl_->ncid = child_id;
            impl_->index();
            return 0;
        }));
    int id = -1;
    const int status = nc_open(path.c_str(), NC_NOWRITE, &id);
    if (status != NC_NOERR)
        throw ReadError(
            input::cannot_open_message(impl_->name + " como arquivo Exodus II", nc_strerror(status)));
    impl_->ncid = id;
    impl_->index();
}

ExodusFile::ExodusFile(const char* data, std::size_t size, const std::string& name)
    : impl_(std::make_unique<Impl>()) {
    impl_->name = input::base_name(name);
    impl_->file_size = size;
    impl_->check_length({}, data);
    const std::lock_guard lock(heavy_data_mutex());
    quiet_hdf5();
    if (starts_as_hdf5(data, size))
        impl_->refuse_unless_opened(walk_in_child(impl_->name, [&] {
            int child_id = -1;
            if (const int status = nc_open_mem(impl_->name.c_str(), NC_NOWRITE, size,
                                               const_cast<void*>(static_cast<const void*>(data)), &child_id);
                status != NC_NOERR)
                return Impl::refusal_code(status);
            impl_->ncid = child_id;
            impl_->index();
            return 0;
        }));
    int id = -1;
    // The library only reads the bytes, though its signature does not say so.
    const int status = nc_open_mem(impl_->name.c_str(), NC_NOWRITE, size,
                                   const_cast<void*>(static_cast<const void*>(data)), &id);
    if (status != NC_NOERR)
        throw ReadError(
            input::cannot_open_message(impl_->name + " como arquivo Exodus II", nc_strerror(status)));
    impl_->ncid = id;
    impl_->index();
}

ExodusFile::~ExodusFile() = default;

std::size_t ExodusFile::node_count() const {
    return impl_->nodes;
}
std::size_t ExodusFile::element_count() const {
    return impl_->elements;
}
std::size_t ExodusFile::step_count() const {
    return impl_->steps;
}
double ExodusFile::step_time(std::size_t step) const {
    return impl_->times.at(step);
}
const std::vector<std::string>& ExodusFile::nodal_names() const {
    return impl_->nodal_names;
}
const std::vector<std::string>& ExodusFile::element_names() const {
    return impl_->element_names;
}
int ExodusFile::nodal_components(std::size_t var) const {
    return impl_->nodal.at(var).components;
}
void ExodusFile::read_nodal(std::size_t step, std::size_t var, double* out) const {
    const std::lock_guard lock(heavy_data_mutex());
    impl_->read_nodal(step, var, out);
}
void ExodusFile::read_nodal_at(std::size_t step, std::size_t var, std::size_t node, double* out) const {
    const std::lock_guard lock(heavy_data_mutex());
    impl_->read_nodal(step, var, out, node, 1);
}
void ExodusFile::read_element(std::size_t step, std::size_t var, double* out) const {
    const std::lock_guard lock(heavy_data_mutex());
    impl_->read_element(step, var, out);
}

namespace {

// What reading a field of one step again needs: the file as it was, and how
// its elements and variables became the hand-over's cells and fields.
struct ExodusLater {
    std::string path;
    input::FileStamp stamp;
    std::vector<char> cell_kept;
    std::vector<std::size_t> scalar_var;
    std::size_t nodes = 0, elements = 0, kept = 0;

    // Opens the file again and runs read(file), refusing a file that
    // changed since it was opened (checked before and after).
    template <class Read> void read(Read read_values) const {
        const auto unchanged = [&] { input::check_unchanged(path, stamp, input::Input(path).stamp()); };
        unchanged();
        try {
            const ExodusFile file(path);
            read_values(file);
        } catch (const ReadError&) {
            unchanged();
            throw;
        }
        unchanged();
    }
};

// The values of group `g` at step `s` into `values` (sized), one column at
// a time through read_nodal(step, var, out) and read_element(step, var, out).
template <class ReadNodal, class ReadElement>
void fill_group(const ComponentGroup& g, bool on_cells, std::size_t s, const ExodusLater& x,
                ZeroedVector<double>& values, std::vector<double>& column, ReadNodal read_nodal,
                ReadElement read_element) {
    const std::size_t comps = static_cast<std::size_t>(g.kind);
    column.resize(std::max(x.nodes, x.elements));
    for (std::size_t c = 0; c < g.members.size(); ++c) {
        const int m = g.members[c];
        if (m < 0) continue; // a 2D mesh's missing component: 0
        if (on_cells) {
            read_element(s, static_cast<std::size_t>(m), column.data());
            std::size_t row = 0;
            for (std::size_t e = 0; e < x.elements; ++e)
                if (x.cell_kept[e]) values[row++ * comps + c] = column[e];
        } else {
            read_nodal(s, x.scalar_var[static_cast<std::size_t>(m)], column.data());
            for (std::size_t i = 0; i < x.nodes; ++i)
                values[i * comps + c] = column[i];
        }
    }
}

} // namespace

ImportData ExodusFile::import(const ReaderOptions& options) const {
    const Impl& f = *impl_;
    ImportData d;
    d.groups = f.groups;

    // A file on disk hands over where each step's values are, not the
    // values: what they cost then is one step's at a time.
    const bool defer = options.values_on_demand && !f.path.empty();
    // Fields after grouping; what they cost is known before anything is read.
    std::vector<std::string> scalar_names;
    std::vector<std::size_t> scalar_var;
    for (std::size_t v = 0; v < f.nodal.size(); ++v)
        if (f.nodal[v].components == 1) {
            scalar_names.push_back(f.nodal_names[v]);
            scalar_var.push_back(v);
        }
    const auto nodal_groups = group_components(scalar_names, static_cast<int>(f.dim));
    const auto element_groups = group_components(f.element_names, static_cast<int>(f.dim));
    std::uint64_t values_per_step = 0;
    std::size_t lists = 0;
    for (std::size_t v = 0; v < f.nodal.size(); ++v)
        if (f.nodal[v].components > 1) {
            values_per_step +=
                static_cast<std::uint64_t>(f.nodes) * static_cast<unsigned>(f.nodal[v].components);
            lists += static_cast<std::size_t>(f.nodal[v].components) + 1;
        }
    for (const auto& g : nodal_groups) {
        values_per_step += static_cast<std::uint64_t>(f.nodes) * static_cast<unsigned>(g.kind);
        lists += static_cast<std::size_t>(g.kind) + (g.kind > 1);
    }
    for (const auto& g : element_groups) {
        values_per_step += static_cast<std::uint64_t>(f.elements) * static_cast<unsigned>(g.kind);
        lists += static_cast<std::size_t>(g.kind) + (g.kind > 1);
    }
    std::uint64_t conn = 0;
    for (const Block& b : f.blocks)
        conn += static_cast<std::uint64_t>(b.count) * b.nodes;
    const long double need =
        (static_cast<long double>(f.nodes) * 3 + static_cast<long double>(conn) + 2.0L * f.elements +
         static_cast<long double>(values_per_step) *
             static_cast<long double>(defer ? 1 : std::max<std::size_t>(f.steps, 1))) *
            8 +
        static_cast<long double>(ResultModel::bytes_needed(
            static_cast<std::int64_t>(
                std::min<std::size_t>(f.nodes, std::numeric_limits<std::int32_t>::max())),
            static_cast<std::int64_t>(
                std::min<std::size_t>(f.elements, std::numeric_limits<std::int32_t>::max())),
            static_cast<std::int64_t>(std::min<std::size_t>(lists * std::max<std::size_t>(f.steps, 1),
                                                            std::numeric_limits<std::int32_t>::max()))));
    const std::uint64_t budget = options.memory_limit ? options.memory_limit : input::machine_memory();
    if (need > static_cast<long double>(budget)) throw ReadError("Not enough memory to read " + f.name);

    const std::lock_guard lock(heavy_data_mutex());
    // Coordinates.
    ImportMesh& mesh = d.mesh;
    mesh.points.resize(3 * f.nodes);
    if (f.nodes > 0) {
        std::vector<double> column(f.nodes);
        static const char* const kNames[3] = {"coordx", "coordy", "coordz"};
        const int combined = f.variable("coord");
        for (std::size_t c = 0; c < f.dim; ++c) {
            const int id = f.variable(kNames[c]);
            if (id >= 0) {
                const auto sh = f.shape(id, kNames[c]);
                if (sh.size() != 1 || sh[0] != f.nodes)
                    f.fail(std::string(kNames[c]) + " does not have num_nodes values");
                f.check(nc_get_var_double(f.ncid, id, column.data()),
                        std::string("cannot read ") + kNames[c]);
            } else if (combined >= 0) {
                const auto sh = f.shape(combined, "coord");
                if (sh.size() != 2 || sh[0] != f.dim || sh[1] != f.nodes)
                    f.fail("coord does not have num_dim x num_nodes values");
                const std::size_t start[2] = {c, 0}, count[2] = {1, f.nodes};
                f.check(nc_get_vara_double(f.ncid, combined, start, count, column.data()),
                        "cannot read coord");
            } else {
                f.fail("the coordinates are missing (no " + std::string(kNames[c]) + " or coord)");
            }
            for (std::size_t i = 0; i < f.nodes; ++i)
                mesh.points[3 * i + c] = column[i];
        }
    }
    if (auto labels = f.ints("node_num_map", f.nodes); !labels.empty())
        mesh.point_labels.assign(labels.begin(), labels.end());

    // Cells, block after block.
    {
        std::size_t cells = 0, nodes = 0;
        for (const Block& b : f.blocks)
            if (b.kind.vtk) {
                cells += b.count;
                nodes += b.count * b.nodes;
            }
        mesh.cell_offsets.reserve(cells + 1);
        mesh.cell_types.reserve(cells);
        mesh.cell_blocks.reserve(cells);
        mesh.cell_nodes.reserve(nodes);
    }
    mesh.cell_offsets.push_back(0);
    // Blocks for the block filter: the file's name, or "block ID" without one.
    for (const Block& b : f.blocks)
        mesh.block_names.push_back(b.name.empty() ? "block " + std::to_string(b.id) : b.name);
    std::map<std::string, std::size_t> unknown;
    std::vector<char> cell_kept; // per element of the file
    cell_kept.reserve(f.elements);
    for (std::size_t b = 0; b < f.blocks.size(); ++b) {
        const Block& blk = f.blocks[b];
        if (blk.count == 0) continue;
        std::vector<long long> conn_values(blk.count * blk.nodes);
        if (!conn_values.empty())
            f.check(nc_get_var_longlong(f.ncid, blk.varid, conn_values.data()),
                    "cannot read connect" + std::to_string(b + 1));
        if (blk.kind.vtk == 0) {
            unknown[(blk.type.empty() ? "?" : blk.type) + " of " + std::to_string(blk.nodes) + " nodes"] +=
                blk.count;
            cell_kept.insert(cell_kept.end(), blk.count, 0);
            continue;
        }
        cell_kept.insert(cell_kept.end(), blk.count, 1);
        for (std::size_t e = 0; e < blk.count; ++e) {
            const long long* row = conn_values.data() + e * blk.nodes;
            for (std::size_t k = 0; k < blk.nodes; ++k) {
                const long long v = row[blk.kind.order ? blk.kind.order[k] : static_cast<int>(k)];
                if (v < 1 || static_cast<unsigned long long>(v) > f.nodes)
                    f.fail("connect" + std::to_string(b + 1) + " names node " + std::to_string(v) +
                           "; the file has " + std::to_string(f.nodes));
                mesh.cell_nodes.push_back(v - 1);
            }
            mesh.cell_types.push_back(blk.kind.vtk);
            mesh.cell_offsets.push_back(static_cast<std::int64_t>(mesh.cell_nodes.size()));
        }
        mesh.cell_blocks.insert(mesh.cell_blocks.end(), blk.count,
                                static_cast<std::uint16_t>(std::min<std::size_t>(b, ResultModel::kNoBlock)));
    }
    for (const auto& [type, count] : unknown)
        d.warnings.push_back(f.name + ": " + std::to_string(count) + " elements of type " + type +
                             " are not drawn and were skipped.");
    if (auto labels = f.ints("elem_num_map", f.elements); !labels.empty()) {
        for (std::size_t e = 0; e < labels.size(); ++e)
            if (cell_kept[e]) mesh.cell_labels.push_back(labels[e]);
    }

    // Steps: every variable's values read by the per-step functions, now, or
    // (a file on disk) by each field's load when it is needed.
    auto later = std::make_shared<ExodusLater>();
    later->path = f.path;
    later->stamp = f.stamp;
    later->cell_kept = std::move(cell_kept);
    later->scalar_var = scalar_var;
    later->nodes = f.nodes;
    later->elements = f.elements;
    later->kept = mesh.cell_count();
    std::vector<double> column;
    const auto nodal = [&](std::size_t s, std::size_t v, double* out) { f.read_nodal(s, v, out); };
    const auto element = [&](std::size_t s, std::size_t v, double* out) { f.read_element(s, v, out); };
    for (std::size_t s = 0; s < f.steps; ++s) {
        ImportStep step;
        step.time = f.times[s];
        for (std::size_t v = 0; v < f.nodal.size(); ++v) {
            if (f.nodal[v].components == 1) continue;
            ImportField fd;
            fd.name = f.nodal_names[v];
            fd.components = f.nodal[v].components;
            const std::size_t n = f.nodes * static_cast<std::size_t>(fd.components);
            if (defer) {
                fd.load = [later, s, v, n](ZeroedVector<double>& values) {
                    later->read([&](const ExodusFile& x) {
                        values.assign(n, 0.0);
                        x.read_nodal(s, v, values.data());
                    });
                };
                fd.load_row = [later, s, v](std::int64_t i, std::span<double> row) {
                    later->read([&](const ExodusFile& x) {
                        x.read_nodal_at(s, v, static_cast<std::size_t>(i), row.data());
                    });
                    return true;
                };
            } else {
                fd.values.resize(n);
                f.read_nodal(s, v, fd.values.data());
            }
            step.fields.push_back(std::move(fd));
        }
        const auto add_groups = [&](const std::vector<ComponentGroup>& groups, bool on_cells) {
            for (const ComponentGroup& g : groups) {
                ImportField fd;
                fd.name = g.name;
                fd.on_cells = on_cells;
                fd.components = g.kind;
                const std::size_t n = (on_cells ? later->kept : f.nodes) * static_cast<std::size_t>(g.kind);
                if (defer) {
                    fd.load = [later, g, on_cells, s, n](ZeroedVector<double>& values) {
                        later->read([&](const ExodusFile& x) {
                            values.assign(n, 0.0);
                            std::vector<double> col;
                            fill_group(
                                g, on_cells, s, *later, values, col,
                                [&](std::size_t st, std::size_t v, double* out) { x.read_nodal(st, v, out); },
                                [&](std::size_t st, std::size_t v, double* out) {
                                    x.read_element(st, v, out);
                                });
                        });
                    };
                    if (!on_cells)
                        fd.load_row = [later, g, s](std::int64_t i, std::span<double> row) {
                            later->read([&](const ExodusFile& x) {
                                for (std::size_t c = 0; c < g.members.size() && c < row.size(); ++c) {
                                    const int m = g.members[c];
                                    row[c] = 0; // a 2D mesh's missing component
                                    if (m >= 0)
                                        x.read_nodal_at(s, later->scalar_var[static_cast<std::size_t>(m)],
                                                        static_cast<std::size_t>(i), &row[c]);
                                }
                            });
                            return true;
                        };
                } else {
                    fd.values.resize(n);
                    fill_group(g, on_cells, s, *later, fd.values, column, nodal, element);
                }
                step.fields.push_back(std::move(fd));
            }
        };
        add_groups(nodal_groups, false);
        add_groups(element_groups, true);
        d.steps.push_back(std::move(step));
    }
    if (d.steps.empty()) d.steps.emplace_back();
    return d;
}

ImportData import_exodus(input::Input& in, const ReaderOptions& options) {
    if (in.in_memory())
        return ExodusFile(in.data(), static_cast<std::size_t>(in.size()), in.path()).import(options);
    return ExodusFile(in.path()).import(options);
}

bool looks_like_exodus(std::string_view b) {
    if (b.size() < 4 || b.substr(0, 3) != "CDF" || (b[3] != 1 && b[3] != 2 && b[3] != 5)) return false;
    return b.find("num_nodes") != std::string_view::npos || b.find("num_el_blk") != std::string_view::npos;
}

} // namespace orv
