// Writes a transient result for benchmarks and tests: a unit block of
// N x N x N 8-node bricks ((N+1)^3 nodes; N = 36 gives 50,653) with S steps
// of a displacement and a 6-component stress, in the formats that carry steps.
//
//   make_transient --cells N --steps S --format txt|frd|pvd|msh OUT
//
//   txt  native text: the block's outer faces as 4-node quadrilaterals (every
//        node kept), per step seven lists (the stress components and von
//        Mises), each carrying the step's displacement as the format wants.
//   frd  CalculiX ASCII (long records): he8 bricks, per step a DISP and a
//        STRESS block, the step's time k.
//   pvd  a ParaView collection OUT naming one .vtu per step (raw appended
//        Float64 arrays "U" and "S"), written beside it as STEM_k.vtu.
//   msh  Gmsh 4.1 ASCII: hexahedra, two views ("U", 3 components, and "S",
//        9 components) with a time step each per step.
//
// Values are smooth in space and change with the step (a load that grows and
// a wave that travels), so every step's picture differs from the others; a
// step's values are the same whatever the step count.
// A write error stops the program with a message and a non-zero status.
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

class Out {
  public:
    Out(std::FILE* f, std::string name) : f_(f), name_(std::move(name)) { buf_.reserve(kSize + 512); }
    void real(double v) {
        char tmp[40];
        auto r = std::to_chars(tmp, tmp + sizeof tmp, v, std::chars_format::general, 7);
        buf_.append(tmp, r.ptr);
        buf_.push_back(' ');
        maybe_flush();
    }
    void integer(long long v) {
        char tmp[24];
        auto r = std::to_chars(tmp, tmp + sizeof tmp, v);
        buf_.append(tmp, r.ptr);
        buf_.push_back(' ');
        maybe_flush();
    }
    void text(const std::string& s) {
        buf_.append(s);
        maybe_flush();
    }
    void bytes(const void* p, std::size_t n) {
        buf_.append(static_cast<const char*>(p), n);
        maybe_flush();
    }
    void end_line() {
        if (!buf_.empty() && buf_.back() == ' ') buf_.pop_back();
        buf_.push_back('\n');
        maybe_flush();
    }
    // Flushes and closes; exits with a message on any write error.
    void close() {
        flush();
        if (std::fclose(f_) != 0) fail();
        f_ = nullptr;
    }

  private:
    void maybe_flush() {
        if (buf_.size() > kSize) flush();
    }
    void flush() {
        if (!buf_.empty() && std::fwrite(buf_.data(), 1, buf_.size(), f_) != buf_.size()) fail();
        buf_.clear();
    }
    [[noreturn]] void fail() const {
        std::perror(name_.c_str());
        std::exit(1);
    }
    static constexpr std::size_t kSize = 1 << 20;
    std::FILE* f_;
    std::string name_;
    std::string buf_;
};

std::FILE* open_out(const std::string& name) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) {
        std::perror(name.c_str());
        std::exit(1);
    }
    return f;
}

struct Block {
    long n = 0; // cells per edge
    long steps = 0;
    long side() const { return n + 1; }
    long nodes() const { return side() * side() * side(); }
    long cells() const { return n * n * n; }
    // 0-based node index of lattice point (i, j, l).
    long id(long i, long j, long l) const { return (l * side() + j) * side() + i; }
    double coord(long i) const { return static_cast<double>(i) / static_cast<double>(n); }
    // The 8 corners of brick (i, j, l), bottom face counter-clockwise, then top.
    void brick(long i, long j, long l, long out[8]) const {
        out[0] = id(i, j, l), out[1] = id(i + 1, j, l), out[2] = id(i + 1, j + 1, l),
        out[3] = id(i, j + 1, l);
        out[4] = id(i, j, l + 1), out[5] = id(i + 1, j, l + 1), out[6] = id(i + 1, j + 1, l + 1),
        out[7] = id(i, j + 1, l + 1);
    }
};

struct State {
    double u[3];
    double s[6]; // XX YY ZZ XY YZ XZ
};

// Step k (1-based) at (x, y, z) of the unit block. A step's values do not
// depend on the step count, so a file of more steps is a file of fewer with
// steps appended, as a running analysis writes it.
State state(double x, double y, double z, long k) {
    const double a = 1 - std::pow(0.8, static_cast<double>(k)); // load factor, grows to 1
    const double p = 0.25 * static_cast<double>(k);             // travelling wave
    State st{};
    st.u[0] = 0.1 * a * z * z;
    st.u[1] = 0.03 * a * std::sin(kPi * x) * z;
    st.u[2] = -0.02 * a * x * y;
    st.s[0] = 100 * a * (std::cos(6 * x + p) + std::sin(5 * y));
    st.s[1] = 80 * a * (std::sin(4 * z - p) + std::cos(3 * x));
    st.s[2] = 60 * a * std::cos(5 * y + z + p);
    st.s[3] = 30 * a * std::sin(3 * x + 2 * y + p);
    st.s[4] = 20 * a * std::cos(2 * y - 3 * z + p);
    st.s[5] = 10 * a * std::sin(x + y + z + p);
    return st;
}

double von_mises(const double s[6]) {
    const double d =
        (s[0] - s[1]) * (s[0] - s[1]) + (s[1] - s[2]) * (s[1] - s[2]) + (s[2] - s[0]) * (s[2] - s[0]);
    return std::sqrt(0.5 * d + 3 * (s[3] * s[3] + s[4] * s[4] + s[5] * s[5]));
}

template <class F> void each_node(const Block& b, F&& f) {
    for (long l = 0; l < b.side(); ++l)
        for (long j = 0; j < b.side(); ++j)
            for (long i = 0; i < b.side(); ++i)
                f(b.coord(i), b.coord(j), b.coord(l));
}

void write_native(const Block& b, const std::string& name) {
    Out o(open_out(name), name);
    // Outer faces, each as a quadrilateral in lattice order with its normal
    // pointing out of the block: (a, b) are the face's two lattice directions.
    struct Face {
        int axis;
        long at;
        int da, db;
    };
    const long n = b.n;
    const Face faces[] = {{2, 0, 1, 0}, {2, n, 0, 1}, {0, 0, 2, 1}, {0, n, 1, 2}, {1, 0, 0, 2}, {1, n, 2, 0}};
    std::vector<std::array<long, 4>> quads;
    for (const Face& f : faces)
        for (long q = 0; q < n; ++q)
            for (long p = 0; p < n; ++p) {
                std::array<long, 4> quad{};
                const long corner[4][2] = {{p, q}, {p + 1, q}, {p, q + 1}, {p + 1, q + 1}};
                for (int c = 0; c < 4; ++c) {
                    long ijk[3] = {0, 0, 0};
                    ijk[f.axis] = f.at;
                    ijk[f.da] = corner[c][0];
                    ijk[f.db] = corner[c][1];
                    quad[static_cast<std::size_t>(c)] = b.id(ijk[0], ijk[1], ijk[2]) + 1;
                }
                quads.push_back(quad);
            }
    o.text("Transient block for benchmarks\n# sizes\n");
    o.integer(b.nodes()), o.integer(static_cast<long long>(quads.size())), o.end_line();
    o.text("# nodes\n");
    each_node(b, [&](double x, double y, double z) {
        o.real(x), o.real(y), o.real(z), o.real(0), o.real(0), o.real(0);
        o.end_line();
    });
    o.text("# elements\n");
    for (const auto& quad : quads) {
        o.integer(3), o.integer(1);
        for (long v : quad)
            o.integer(v);
        o.end_line();
    }
    static const char* const names[] = {"XX", "YY", "ZZ", "XY", "YZ", "XZ", "von Mises"};
    for (long k = 1; k <= b.steps; ++k)
        for (int c = 0; c < 7; ++c) {
            o.text("# result list\nSTRESS " + std::string(names[c]) + " - passo " + std::to_string(k) + "\n");
            each_node(b, [&](double x, double y, double z) {
                const State st = state(x, y, z, k);
                o.real(st.u[0]), o.real(st.u[1]), o.real(st.u[2]);
                o.real(c < 6 ? st.s[c] : von_mises(st.s));
                o.end_line();
            });
        }
    o.close();
}

void write_frd(const Block& b, const std::string& name) {
    Out o(open_out(name), name);
    char line[200];
    const auto put = [&](int) { o.text(line); }; // takes snprintf's count
    o.text("    1C\n    1UUSER\n");
    put(std::snprintf(line, sizeof line, "    2C%30ld%37s1\n", b.nodes(), ""));
    long node = 0;
    each_node(b, [&](double x, double y, double z) {
        put(std::snprintf(line, sizeof line, " -1%10ld%12.5E%12.5E%12.5E\n", ++node, x, y, z));
    });
    o.text(" -3\n");
    put(std::snprintf(line, sizeof line, "    3C%30ld%37s1\n", b.cells(), ""));
    long e = 0;
    long c[8];
    for (long l = 0; l < b.n; ++l)
        for (long j = 0; j < b.n; ++j)
            for (long i = 0; i < b.n; ++i) {
                b.brick(i, j, l, c);
                put(std::snprintf(line, sizeof line, " -1%10ld    1    0    1\n", ++e));
                put(std::snprintf(line, sizeof line, " -2%10ld%10ld%10ld%10ld%10ld%10ld%10ld%10ld\n",
                                  c[0] + 1, c[1] + 1, c[2] + 1, c[3] + 1, c[4] + 1, c[5] + 1, c[6] + 1,
                                  c[7] + 1));
            }
    o.text(" -3\n");
    const auto header = [&](long k) {
        put(std::snprintf(line, sizeof line, "  100CL  101%12.5E%12ld%21s0%5ld%12s\n", static_cast<double>(k),
                          b.nodes(), "", k, "1"));
    };
    for (long k = 1; k <= b.steps; ++k) {
        header(k);
        o.text(
            " -4  DISP        4    1\n -5  D1          1    2    1    0\n -5  D2          1    2    2    0\n"
            " -5  D3          1    2    3    0\n -5  ALL         1    2    0    0    1ALL\n");
        node = 0;
        each_node(b, [&](double x, double y, double z) {
            const State st = state(x, y, z, k);
            put(std::snprintf(line, sizeof line, " -1%10ld%12.5E%12.5E%12.5E\n", ++node, st.u[0], st.u[1],
                              st.u[2]));
        });
        o.text(" -3\n");
        header(k);
        o.text(
            " -4  STRESS      6    1\n -5  SXX         1    4    1    1\n -5  SYY         1    4    2    2\n"
            " -5  SZZ         1    4    3    3\n -5  SXY         1    4    1    2\n"
            " -5  SYZ         1    4    2    3\n -5  SZX         1    4    3    1\n");
        node = 0;
        each_node(b, [&](double x, double y, double z) {
            const State st = state(x, y, z, k);
            put(std::snprintf(line, sizeof line, " -1%10ld%12.5E%12.5E%12.5E%12.5E%12.5E%12.5E\n", ++node,
                              st.s[0], st.s[1], st.s[2], st.s[3], st.s[4], st.s[5]));
        });
        o.text(" -3\n");
    }
    o.text(" 9999\n");
    o.close();
}

void write_msh(const Block& b, const std::string& name) {
    Out o(open_out(name), name);
    o.text("$MeshFormat\n4.1 0 8\n$EndMeshFormat\n$Nodes\n");
    o.integer(1), o.integer(b.nodes()), o.integer(1), o.integer(b.nodes()), o.end_line();
    o.integer(3), o.integer(1), o.integer(0), o.integer(b.nodes()), o.end_line();
    for (long v = 1; v <= b.nodes(); ++v)
        o.integer(v), o.end_line();
    each_node(b, [&](double x, double y, double z) {
        o.real(x), o.real(y), o.real(z);
        o.end_line();
    });
    o.text("$EndNodes\n$Elements\n");
    o.integer(1), o.integer(b.cells()), o.integer(1), o.integer(b.cells()), o.end_line();
    o.integer(3), o.integer(1), o.integer(5), o.integer(b.cells()), o.end_line();
    long e = 0;
    long c[8];
    for (long l = 0; l < b.n; ++l)
        for (long j = 0; j < b.n; ++j)
            for (long i = 0; i < b.n; ++i) {
                b.brick(i, j, l, c);
                o.integer(++e);
                for (long v : c)
                    o.integer(v + 1);
                o.end_line();
            }
    o.text("$EndElements\n");
    for (long k = 1; k <= b.steps; ++k)
        for (int view = 0; view < 2; ++view) {
            const int comps = view == 0 ? 3 : 9;
            o.text(view == 0 ? "$NodeData\n1\n\"U\"\n1\n" : "$NodeData\n1\n\"S\"\n1\n");
            o.integer(k), o.end_line();
            o.text("3\n"), o.integer(k - 1), o.end_line();
            o.integer(comps), o.end_line();
            o.integer(b.nodes()), o.end_line();
            long node = 0;
            each_node(b, [&](double x, double y, double z) {
                const State st = state(x, y, z, k);
                o.integer(++node);
                if (view == 0) {
                    o.real(st.u[0]), o.real(st.u[1]), o.real(st.u[2]);
                } else {
                    // Row by row: XX XY XZ / XY YY YZ / XZ YZ ZZ.
                    const double* s = st.s;
                    for (double v : {s[0], s[3], s[5], s[3], s[1], s[4], s[5], s[4], s[2]})
                        o.real(v);
                }
                o.end_line();
            });
            o.text("$EndNodeData\n");
        }
    o.close();
}

template <class T> void append_array(std::string& data, const std::vector<T>& v) {
    const std::uint64_t size = v.size() * sizeof(T);
    data.append(reinterpret_cast<const char*>(&size), sizeof size);
    data.append(reinterpret_cast<const char*>(v.data()), size);
}

void write_pvd(const Block& b, const std::string& name) {
    const std::filesystem::path pvd(name);
    const std::string stem = pvd.stem().string();
    std::vector<std::int64_t> conn, offsets;
    long c[8];
    for (long l = 0; l < b.n; ++l)
        for (long j = 0; j < b.n; ++j)
            for (long i = 0; i < b.n; ++i) {
                b.brick(i, j, l, c);
                conn.insert(conn.end(), c, c + 8);
                offsets.push_back(static_cast<std::int64_t>(conn.size()));
            }
    const std::vector<std::uint8_t> types(static_cast<std::size_t>(b.cells()), 12);
    std::vector<double> points;
    each_node(b, [&](double x, double y, double z) { points.insert(points.end(), {x, y, z}); });

    std::string collection =
        "<?xml version=\"1.0\"?>\n<VTKFile type=\"Collection\" version=\"0.1\">\n<Collection>\n";
    for (long k = 1; k <= b.steps; ++k) {
        const std::string file = stem + "_" + std::to_string(k) + ".vtu";
        collection += "<DataSet timestep=\"" + std::to_string(k) + "\" part=\"0\" file=\"" + file + "\"/>\n";
        std::vector<double> u, s;
        each_node(b, [&](double x, double y, double z) {
            const State st = state(x, y, z, k);
            u.insert(u.end(), st.u, st.u + 3);
            s.insert(s.end(), st.s, st.s + 6);
        });
        std::string data;
        std::string head = "<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\" version=\"1.0\" "
                           "byte_order=\"LittleEndian\" header_type=\"UInt64\">\n<UnstructuredGrid>\n"
                           "<Piece NumberOfPoints=\"" +
                           std::to_string(b.nodes()) + "\" NumberOfCells=\"" + std::to_string(b.cells()) +
                           "\">\n<PointData>\n";
        const auto array = [&](const std::string& attrs, auto&& v) {
            head += "<DataArray " + attrs + " format=\"appended\" offset=\"" + std::to_string(data.size()) +
                    "\"/>\n";
            append_array(data, v);
        };
        array("type=\"Float64\" Name=\"U\" NumberOfComponents=\"3\"", u);
        array("type=\"Float64\" Name=\"S\" NumberOfComponents=\"6\"", s);
        head += "</PointData>\n<Points>\n";
        array("type=\"Float64\" NumberOfComponents=\"3\"", points);
        head += "</Points>\n<Cells>\n";
        array("type=\"Int64\" Name=\"connectivity\"", conn);
        array("type=\"Int64\" Name=\"offsets\"", offsets);
        array("type=\"UInt8\" Name=\"types\"", types);
        head += "</Cells>\n</Piece>\n</UnstructuredGrid>\n<AppendedData encoding=\"raw\">\n_";
        const std::string path = (pvd.parent_path() / file).string();
        Out o(open_out(path), path);
        o.text(head);
        o.bytes(data.data(), data.size());
        o.text("\n</AppendedData>\n</VTKFile>\n");
        o.close();
    }
    collection += "</Collection>\n</VTKFile>\n";
    Out o(open_out(name), name);
    o.text(collection);
    o.close();
}

int usage() {
    std::fprintf(stderr, "usage: make_transient --cells N --steps S --format txt|frd|pvd|msh OUT\n"
                         "  a block of N^3 8-node bricks ((N+1)^3 nodes) with S steps of\n"
                         "  displacement and stress; N >= 1, S >= 1\n");
    return 2;
}

bool number(const char* text, long& out) {
    const char* end = text + std::strlen(text);
    auto r = std::from_chars(text, end, out);
    return r.ec == std::errc() && r.ptr == end;
}

} // namespace

int main(int argc, char** argv) {
    Block b;
    b.n = 36;
    b.steps = 1;
    std::string format = "frd", out;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        }
        if (arg == "--cells" && i + 1 < argc) {
            if (!number(argv[++i], b.n)) return usage();
        } else if (arg == "--steps" && i + 1 < argc) {
            if (!number(argv[++i], b.steps)) return usage();
        } else if (arg == "--format" && i + 1 < argc) {
            format = argv[++i];
        } else if (!arg.starts_with("-") && out.empty()) {
            out = arg;
        } else {
            return usage();
        }
    }
    if (out.empty() || b.n < 1 || b.n > 400 || b.steps < 1 || b.steps > 100000) return usage();
    if (format == "txt")
        write_native(b, out);
    else if (format == "frd")
        write_frd(b, out);
    else if (format == "msh")
        write_msh(b, out);
    else if (format == "pvd")
        write_pvd(b, out);
    else
        return usage();
    std::printf("%s: %ld nodes, %ld bricks, %ld steps (%s)\n", out.c_str(), b.nodes(), b.cells(), b.steps,
                format.c_str());
    return 0;
}
