// Writes a large synthetic result file for benchmarks: a flat plate on a
// structured grid, meshed with one element kind, with smooth result lists.
//
//   make_result_file --nodes N --lists L --kind quad1|quad2|tri1|tri2|line1
//                    [--format txt|vtk|vtk-binary|vtu|msh|msh-binary] [--zlib] OUT
//
// The grid is about sqrt(N) x sqrt(N) nodes (odd sizes for quadratic kinds);
// the exact node count is printed. --format vtk writes the same plate as a
// legacy VTK unstructured grid (ASCII, or BINARY with vtk-binary): list k
// becomes the point scalars "Step k", and the displacement of the last list
// the point vectors "U".
// --format vtu writes it as an appended .vtu (zlib-compressed with --zlib),
// list k the point array "Step k".
// --format msh (msh-binary) writes a quad1 plate as a Gmsh 4.1 file, text
// (binary): list k becomes time step k - 1 of one node-data view "value".
// --format frd writes a quad1 plate as CalculiX .frd text: list k becomes
// step k's block "VALUE", the last step also holds "DISP".
#include "plate_vtu.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

class Out {
  public:
    explicit Out(std::FILE* f) : f_(f) { buf_.reserve(kSize + 256); }
    ~Out() { flush(); }
    void real(double v) {
        char tmp[40];
        auto r = std::to_chars(tmp, tmp + sizeof tmp, v, std::chars_format::general, 12);
        buf_.append(tmp, r.ptr);
        buf_.push_back(' ');
        if (buf_.size() > kSize) flush();
    }
    void integer(long v) {
        char tmp[24];
        auto r = std::to_chars(tmp, tmp + sizeof tmp, v);
        buf_.append(tmp, r.ptr);
        buf_.push_back(' ');
    }
    void text(const char* s) {
        buf_.append(s);
        if (buf_.size() > kSize) flush();
    }
    // Big-endian binary values (legacy VTK BINARY).
    void be_double(double v) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        be(bits, 8);
    }
    void be_int(std::int32_t v) { be(static_cast<std::uint32_t>(v), 4); }
    // Native-endian binary values (Gmsh binary).
    template <class T> void raw(T v) {
        const auto* b = reinterpret_cast<const char*>(&v);
        buf_.append(b, sizeof v);
        if (buf_.size() > kSize) flush();
    }
    void be(std::uint64_t v, int bytes) {
        for (int k = bytes - 1; k >= 0; --k)
            buf_.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
        if (buf_.size() > kSize) flush();
    }
    void end_line() {
        if (!buf_.empty() && buf_.back() == ' ') buf_.pop_back();
        buf_.push_back('\n');
        if (buf_.size() > kSize) flush();
    }
    void flush() {
        if (!buf_.empty() && std::fwrite(buf_.data(), 1, buf_.size(), f_) != buf_.size()) {
            std::perror("write");
            std::exit(1);
        }
        buf_.clear();
    }

  private:
    static constexpr std::size_t kSize = 1 << 20;
    std::FILE* f_;
    std::string buf_;
};

// The value of list k (of `lists`) at grid point (i, j), and its displacement w.
double plate_value(long i, long j, long nx, long ny, double load) {
    const double x = static_cast<double>(i) / static_cast<double>(nx);
    const double y = static_cast<double>(j) / static_cast<double>(ny);
    return 100.0 * load * (std::cos(6.0 * x) + std::sin(5.0 * y));
}
double plate_w(long i, long j, long nx, long ny, double load) {
    const double x = static_cast<double>(i) / static_cast<double>(nx);
    const double y = static_cast<double>(j) / static_cast<double>(ny);
    return 0.05 * load * std::sin(3.14159265358979 * x) * std::sin(3.14159265358979 * y);
}

// The plate as a legacy VTK unstructured grid; cells in VTK's node order.
void write_vtk(std::FILE* f, bool binary, const std::string& kind, long nx, long ny, long nelem, long lists) {
    Out o(f);
    const bool quadratic = kind == "quad2" || kind == "tri2";
    const long nnode = nx * ny;
    const auto id = [&](long i, long j) { return j * nx + i; };
    std::vector<std::vector<long>> cells; // one element's cells, rebuilt per element
    int type = 0, per = 0;
    if (kind == "quad1") type = 9, per = 4;
    if (kind == "tri1") type = 5, per = 3;
    if (kind == "quad2") type = 28, per = 9;
    if (kind == "tri2") type = 22, per = 6;
    if (kind == "line1") type = 3, per = 2;
    const auto put_int = [&](long v) { binary ? o.be_int(static_cast<std::int32_t>(v)) : o.integer(v); };
    const auto put_real = [&](double v) { binary ? o.be_double(v) : o.real(v); };
    const auto end = [&] {
        if (!binary) o.end_line();
    };
    o.text("# vtk DataFile Version 3.0\nSynthetic plate for benchmarks\n");
    o.text(binary ? "BINARY\n" : "ASCII\n");
    o.text("DATASET UNSTRUCTURED_GRID\nPOINTS ");
    o.integer(nnode);
    o.text("double");
    o.end_line();
    const double h = 1.0 / static_cast<double>(nx > 1 ? nx - 1 : 1);
    for (long j = 0; j < ny; ++j)
        for (long i = 0; i < nx; ++i) {
            put_real(static_cast<double>(i) * h);
            put_real(static_cast<double>(j) * h);
            put_real(0.0);
            end();
        }
    if (binary) o.text("\n");
    o.text("CELLS ");
    o.integer(nelem);
    o.integer(nelem * (per + 1));
    o.end_line();
    const int step = quadratic ? 2 : 1;
    for (long j = 0; j + 1 < ny; j += step)
        for (long i = 0; i + 1 < nx; i += step) {
            cells.clear();
            if (kind == "quad1") cells.push_back({id(i, j), id(i + 1, j), id(i + 1, j + 1), id(i, j + 1)});
            if (kind == "tri1") {
                cells.push_back({id(i, j), id(i + 1, j), id(i, j + 1)});
                cells.push_back({id(i + 1, j + 1), id(i, j + 1), id(i + 1, j)});
            }
            if (kind == "quad2")
                cells.push_back({id(i, j), id(i + 2, j), id(i + 2, j + 2), id(i, j + 2), id(i + 1, j),
                                 id(i + 2, j + 1), id(i + 1, j + 2), id(i, j + 1), id(i + 1, j + 1)});
            if (kind == "tri2") {
                cells.push_back(
                    {id(i, j), id(i + 2, j), id(i, j + 2), id(i + 1, j), id(i + 1, j + 1), id(i, j + 1)});
                cells.push_back({id(i + 2, j + 2), id(i, j + 2), id(i + 2, j), id(i + 1, j + 2),
                                 id(i + 1, j + 1), id(i + 2, j + 1)});
            }
            if (kind == "line1" && j == 0) cells.push_back({id(i, 0), id(i + 1, 0)});
            for (const auto& c : cells) {
                put_int(per);
                for (const long n : c)
                    put_int(n);
                end();
            }
        }
    if (binary) o.text("\n");
    o.text("CELL_TYPES ");
    o.integer(nelem);
    o.end_line();
    for (long e = 0; e < nelem; ++e) {
        put_int(type);
        end();
    }
    if (binary) o.text("\n");
    o.text("POINT_DATA ");
    o.integer(nnode);
    o.end_line();
    for (long k = 1; k <= lists; ++k) {
        const double load = static_cast<double>(k) / static_cast<double>(lists);
        o.text("SCALARS Step_");
        o.integer(k);
        o.text("double 1\nLOOKUP_TABLE default\n");
        for (long j = 0; j < ny; ++j)
            for (long i = 0; i < nx; ++i) {
                put_real(plate_value(i, j, nx, ny, load));
                end();
            }
        if (binary) o.text("\n");
    }
    if (lists > 0) {
        o.text("VECTORS U double\n");
        for (long j = 0; j < ny; ++j)
            for (long i = 0; i < nx; ++i) {
                put_real(0.0);
                put_real(0.0);
                put_real(plate_w(i, j, nx, ny, 1.0));
                end();
            }
        if (binary) o.text("\n");
    }
}

// The quad1 plate as a Gmsh 4.1 file: one entity, one node block, one
// element block, and one view with a time step per list.
void write_msh(std::FILE* f, bool binary, long nx, long ny, long lists) {
    Out o(f);
    const long nnode = nx * ny, nelem = (nx - 1) * (ny - 1);
    const auto id = [&](long i, long j) { return j * nx + i + 1; };
    const auto size = [&](long v) { binary ? o.raw(static_cast<std::uint64_t>(v)) : o.integer(v); };
    const auto i32 = [&](long v) { binary ? o.raw(static_cast<std::int32_t>(v)) : o.integer(v); };
    const auto real = [&](double v) { binary ? o.raw(v) : o.real(v); };
    const auto end = [&] {
        if (!binary) o.end_line();
    };
    o.text(binary ? "$MeshFormat\n4.1 1 8\n" : "$MeshFormat\n4.1 0 8\n");
    if (binary) o.raw(std::int32_t{1}), o.text("\n");
    o.text("$EndMeshFormat\n$Nodes\n");
    size(1), size(nnode), size(1), size(nnode), end();
    i32(2), i32(1), i32(0), size(nnode), end();
    for (long n = 1; n <= nnode; ++n)
        size(n), end();
    const double h = 1.0 / static_cast<double>(nx > 1 ? nx - 1 : 1);
    for (long j = 0; j < ny; ++j)
        for (long i = 0; i < nx; ++i) {
            real(static_cast<double>(i) * h), real(static_cast<double>(j) * h), real(0.0);
            end();
        }
    o.text(binary ? "\n$EndNodes\n$Elements\n" : "$EndNodes\n$Elements\n");
    size(1), size(nelem), size(1), size(nelem), end();
    i32(2), i32(1), i32(3), size(nelem), end();
    long e = 0;
    for (long j = 0; j + 1 < ny; ++j)
        for (long i = 0; i + 1 < nx; ++i) {
            size(++e), size(id(i, j)), size(id(i + 1, j)), size(id(i + 1, j + 1)), size(id(i, j + 1));
            end();
        }
    o.text(binary ? "\n$EndElements\n" : "$EndElements\n");
    for (long k = 1; k <= lists; ++k) {
        o.text("$NodeData\n1\n\"value\"\n1\n");
        o.integer(k - 1), o.end_line();
        o.text("3\n"), o.integer(k - 1), o.end_line();
        o.text("1\n"), o.integer(nnode), o.end_line();
        const double load = static_cast<double>(k) / static_cast<double>(lists);
        for (long j = 0; j < ny; ++j)
            for (long i = 0; i < nx; ++i) {
                i32(id(i, j)), real(plate_value(i, j, nx, ny, load));
                end();
            }
        o.text(binary ? "\n$EndNodeData\n" : "$EndNodeData\n");
    }
}

// The quad1 plate as CalculiX .frd text in long records: a node block, an
// element block of qu4 and, per list, a step with one result block "VALUE"
// (and, in the last step, "DISP" with the plate's deflection).
void write_frd(std::FILE* f, long nx, long ny, long lists) {
    Out o(f);
    const long nnode = nx * ny, nelem = (nx - 1) * (ny - 1);
    const auto id = [&](long i, long j) { return j * nx + i + 1; };
    char line[160];
    const auto put = [&](int) { o.text(line); }; // takes snprintf's count
    o.text("    1C\n");
    put(std::snprintf(line, sizeof line, "    2C%30ld%37s1\n", nnode, ""));
    const double h = 1.0 / static_cast<double>(nx > 1 ? nx - 1 : 1);
    for (long j = 0; j < ny; ++j)
        for (long i = 0; i < nx; ++i)
            put(std::snprintf(line, sizeof line, " -1%10ld%12.5E%12.5E%12.5E\n", id(i, j),
                              static_cast<double>(i) * h, static_cast<double>(j) * h, 0.0));
    o.text(" -3\n");
    put(std::snprintf(line, sizeof line, "    3C%30ld%37s1\n", nelem, ""));
    long e = 0;
    for (long j = 0; j + 1 < ny; ++j)
        for (long i = 0; i + 1 < nx; ++i) {
            put(std::snprintf(line, sizeof line, " -1%10ld    9    0    1\n", ++e));
            put(std::snprintf(line, sizeof line, " -2%10ld%10ld%10ld%10ld\n", id(i, j), id(i + 1, j),
                              id(i + 1, j + 1), id(i, j + 1)));
        }
    o.text(" -3\n");
    const auto header = [&](long k) {
        put(std::snprintf(line, sizeof line, "  100CL  101%12.5E%12ld%21s0%5ld%12s\n", static_cast<double>(k),
                          nnode, "", k, "1"));
    };
    for (long k = 1; k <= lists; ++k) {
        const double load = static_cast<double>(k) / static_cast<double>(lists);
        header(k);
        o.text(" -4  VALUE       1    1\n -5  V           1    1    0    0\n");
        for (long j = 0; j < ny; ++j)
            for (long i = 0; i < nx; ++i)
                put(std::snprintf(line, sizeof line, " -1%10ld%12.5E\n", id(i, j),
                                  plate_value(i, j, nx, ny, load)));
        o.text(" -3\n");
        if (k < lists) continue;
        header(k);
        o.text(
            " -4  DISP        4    1\n -5  D1          1    2    1    0\n -5  D2          1    2    2    0\n"
            " -5  D3          1    2    3    0\n -5  ALL         1    2    0    0    1ALL\n");
        for (long j = 0; j < ny; ++j)
            for (long i = 0; i < nx; ++i)
                put(std::snprintf(line, sizeof line, " -1%10ld%12.5E%12.5E%12.5E\n", id(i, j), 0.0, 0.0,
                                  plate_w(i, j, nx, ny, 1.0)));
        o.text(" -3\n");
    }
    o.text(" 9999\n");
}

int usage() {
    std::fprintf(stderr, "usage: make_result_file --nodes N --lists L --kind quad1|quad2|tri1|tri2|line1 "
                         "[--format txt|vtk|vtk-binary|vtu|msh|msh-binary|frd] [--zlib] OUT\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    long nodes = 10000, lists = 3;
    std::string kind = "quad1", format = "txt", out;
    bool zlib = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--nodes") && i + 1 < argc)
            nodes = std::atol(argv[++i]);
        else if (!std::strcmp(argv[i], "--lists") && i + 1 < argc)
            lists = std::atol(argv[++i]);
        else if (!std::strcmp(argv[i], "--kind") && i + 1 < argc)
            kind = argv[++i];
        else if (!std::strcmp(argv[i], "--format") && i + 1 < argc)
            format = argv[++i];
        else if (!std::strcmp(argv[i], "--zlib"))
            zlib = true;
        else if (argv[i][0] != '-' && out.empty())
            out = argv[i];
        else
            return usage();
    }
    if (out.empty() || nodes < 4 || lists < 0) return usage();
    if (format != "txt" && format != "vtk" && format != "vtk-binary" && format != "vtu" && format != "msh" &&
        format != "msh-binary" && format != "frd")
        return usage();
    if ((format.starts_with("msh") || format == "frd") && kind != "quad1") {
        std::fprintf(stderr, "make_result_file: --format %s writes the quad1 plate only\n", format.c_str());
        return 2;
    }
    const bool quadratic = kind == "quad2" || kind == "tri2";
    const bool line = kind == "line1";
    long nx = line ? nodes : static_cast<long>(std::lround(std::sqrt(static_cast<double>(nodes))));
    long ny = line ? 1 : nx;
    if (quadratic) {
        nx |= 1;
        ny |= 1;
    }
    const long nnode = nx * ny;
    auto id = [&](long i, long j) { return j * nx + i + 1; };

    std::vector<std::vector<long>> elems; // built lazily below; counted first
    long nelem = 0;
    if (kind == "quad1")
        nelem = (nx - 1) * (ny - 1);
    else if (kind == "tri1")
        nelem = 2 * (nx - 1) * (ny - 1);
    else if (kind == "quad2")
        nelem = ((nx - 1) / 2) * ((ny - 1) / 2);
    else if (kind == "tri2")
        nelem = 2 * ((nx - 1) / 2) * ((ny - 1) / 2);
    else if (kind == "line1")
        nelem = nx - 1;
    else
        return usage();
    if (format == "vtu") return write_plate_vtu(out, kind, nx, ny, lists, zlib);

    std::FILE* f = std::fopen(out.c_str(), "wb");
    if (!f) {
        std::perror(out.c_str());
        return 1;
    }
    if (format.starts_with("msh")) {
        write_msh(f, format == "msh-binary", nx, ny, lists);
    } else if (format == "frd") {
        write_frd(f, nx, ny, lists);
    } else if (format != "txt") {
        write_vtk(f, format == "vtk-binary", kind, nx, ny, nelem, lists);
    } else {
        Out o(f);
        o.text("Synthetic plate for benchmarks\n# sizes\n");
        o.integer(nnode);
        o.integer(nelem);
        o.end_line();
        o.text("# nodes\n");
        const double h = 1.0 / static_cast<double>(nx > 1 ? nx - 1 : 1);
        for (long j = 0; j < ny; ++j)
            for (long i = 0; i < nx; ++i) {
                o.real(static_cast<double>(i) * h);
                o.real(static_cast<double>(j) * h);
                o.real(0.0);
                o.real(0.0);
                o.real(0.0);
                o.real(0.0);
                o.end_line();
            }
        o.text("# elements\n");
        for (long j = 0; j + 1 < ny; j += quadratic ? 2 : 1)
            for (long i = 0; i + 1 < nx; i += quadratic ? 2 : 1) {
                if (kind == "quad1") {
                    o.integer(3), o.integer(1);
                    o.integer(id(i, j)), o.integer(id(i + 1, j)), o.integer(id(i, j + 1)),
                        o.integer(id(i + 1, j + 1));
                    o.end_line();
                } else if (kind == "tri1") {
                    o.integer(2), o.integer(1);
                    o.integer(id(i, j)), o.integer(id(i + 1, j)), o.integer(id(i, j + 1));
                    o.end_line();
                    o.integer(2), o.integer(1);
                    o.integer(id(i + 1, j + 1)), o.integer(id(i, j + 1)), o.integer(id(i + 1, j));
                    o.end_line();
                } else if (kind == "quad2") {
                    o.integer(3), o.integer(2);
                    for (long b = 0; b < 3; ++b)
                        for (long a = 0; a < 3; ++a)
                            o.integer(id(i + a, j + b));
                    o.end_line();
                } else if (kind == "tri2") {
                    o.integer(2), o.integer(2);
                    o.integer(id(i, j)), o.integer(id(i + 1, j)), o.integer(id(i + 2, j));
                    o.integer(id(i, j + 1)), o.integer(id(i + 1, j + 1)), o.integer(id(i, j + 2));
                    o.end_line();
                    o.integer(2), o.integer(2);
                    o.integer(id(i + 2, j + 2)), o.integer(id(i + 1, j + 2)), o.integer(id(i, j + 2));
                    o.integer(id(i + 2, j + 1)), o.integer(id(i + 1, j + 1)), o.integer(id(i + 2, j));
                    o.end_line();
                }
            }
        if (line)
            for (long i = 0; i + 1 < nx; ++i) {
                o.integer(1), o.integer(1), o.integer(id(i, 0)), o.integer(id(i + 1, 0));
                o.end_line();
            }
        for (long k = 1; k <= lists; ++k) {
            o.text("# result list\nStep ");
            o.integer(k);
            o.end_line();
            const double load = static_cast<double>(k) / static_cast<double>(lists > 0 ? lists : 1);
            for (long j = 0; j < ny; ++j)
                for (long i = 0; i < nx; ++i) {
                    const double x = static_cast<double>(i) / static_cast<double>(nx);
                    const double y = static_cast<double>(j) / static_cast<double>(ny);
                    const double w =
                        0.05 * load * std::sin(3.14159265358979 * x) * std::sin(3.14159265358979 * y);
                    o.real(0.0);
                    o.real(0.0);
                    o.real(w);
                    o.real(100.0 * load * (std::cos(6.0 * x) + std::sin(5.0 * y)));
                    o.end_line();
                }
        }
    }
    if (std::fclose(f) != 0) {
        std::perror(out.c_str());
        return 1;
    }
    std::printf("%s: %ld nodes, %ld elements (%s), %ld result lists\n", out.c_str(), nnode, nelem,
                kind.c_str(), lists);
    return 0;
}
