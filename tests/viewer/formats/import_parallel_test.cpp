// The text importers read big blocks of numbers on several threads: the
// result, the warnings and the errors (with their lines) must be those of a
// one-thread read, wherever the pieces are cut. Also the memory limit and the
// progress callback of the legacy VTK and Gmsh readers.
#include "../../../fuzz/import_same.h"
#include "viewer/formats/calculix_reader.h"
#include "viewer/formats/gmsh_reader.h"
#include "viewer/formats/import_mesh.h"
#include "viewer/formats/import_parallel.h"
#include "viewer/formats/importer.h"
#include "viewer/formats/model_writer.h"
#include "viewer/formats/vtk_legacy_reader.h"
#include "viewer/formats/vtk_xml_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using Import = std::function<orv::ImportData(const std::string&, const orv::ReaderOptions&)>;

const Import kVtk = [](const std::string& t, const orv::ReaderOptions& o) {
    return orv::import_bytes(orv::import_vtk_legacy, t.data(), t.size(), "plate.vtk", o);
};
const Import kMsh = [](const std::string& t, const orv::ReaderOptions& o) {
    return orv::import_bytes(orv::import_msh, t.data(), t.size(), "plate.msh", o);
};
const Import kFrd = [](const std::string& t, const orv::ReaderOptions& o) {
    return orv::import_bytes(orv::import_frd, t.data(), t.size(), "plate.frd", o);
};

std::string num(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%.9g", v);
    return b;
}

// An n x n grid of quadrilaterals in legacy VTK, `per_line` point
// coordinates to a line, with a scalar and a vector point field.
std::string vtk_plate(int n, int per_line = 3) {
    const int np = (n + 1) * (n + 1), nc = n * n;
    std::string s = "# vtk DataFile Version 3.0\nplate\nASCII\nDATASET UNSTRUCTURED_GRID\nPOINTS " +
                    std::to_string(np) + " double\n";
    int on_line = 0;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i)
            for (double c : {i / 3.0, j * 0.7, 0.001 * i * j}) {
                s += num(c) + (++on_line % per_line == 0 ? "\n" : " ");
            }
    s += "\nCELLS " + std::to_string(nc) + " " + std::to_string(5 * nc) + "\n";
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i;
            s += "4 " + std::to_string(a) + " " + std::to_string(a + 1) + " " + std::to_string(a + n + 2) +
                 " " + std::to_string(a + n + 1) + "\n";
        }
    s += "CELL_TYPES " + std::to_string(nc) + "\n";
    for (int c = 0; c < nc; ++c)
        s += "9\n";
    s += "POINT_DATA " + std::to_string(np) + "\nSCALARS T double 1\nLOOKUP_TABLE default\n";
    for (int p = 0; p < np; ++p)
        s += num(p * 1.25e-3 - 7) + "\n";
    s += "VECTORS U float\n";
    for (int p = 0; p < np; ++p)
        s += num(p * 1e-4) + " +" + num(-p * 2e-5) + " 0\n";
    return s;
}

// The same grid as Gmsh 4.1 text: two node blocks, quadrangles and the
// boundary's lines, two steps of a scalar view.
std::string msh_plate(int n) {
    const int np = (n + 1) * (n + 1), nc = n * n, half = np / 2;
    std::string s = "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n$Nodes\n2 " + std::to_string(np) + " 1 " +
                    std::to_string(np) + "\n";
    for (int b = 0; b < 2; ++b) {
        const int first = b ? half : 0, last = b ? np : half;
        s += "2 " + std::to_string(b + 1) + " 0 " + std::to_string(last - first) + "\n";
        for (int p = first; p < last; ++p)
            s += std::to_string(p + 1) + "\n";
        for (int p = first; p < last; ++p)
            s += num(p % (n + 1) / 3.0) + " " + num(p / (n + 1) * 0.7) + " 0\n";
    }
    s += "$EndNodes\n$Elements\n2 " + std::to_string(nc + n) + " 1 " + std::to_string(nc + n) + "\n2 1 3 " +
         std::to_string(nc) + "\n";
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i + 1;
            s += std::to_string(j * n + i + 1) + " " + std::to_string(a) + " " + std::to_string(a + 1) + " " +
                 std::to_string(a + n + 2) + " " + std::to_string(a + n + 1) + "\n";
        }
    s += "1 2 1 " + std::to_string(n) + "\n";
    for (int i = 0; i < n; ++i)
        s += std::to_string(nc + i + 1) + " " + std::to_string(i + 1) + " " + std::to_string(i + 2) + "\n";
    s += "$EndElements\n";
    for (int step = 0; step < 2; ++step) {
        s += "$NodeData\n1\n\"T\"\n1\n" + num(step * 0.5) + "\n3\n" + std::to_string(step) + "\n1\n" +
             std::to_string(np) + "\n";
        for (int p = np; p >= 1; --p) // any order of nodes
            s += std::to_string(p) + " " + num(p * 0.01 + step) + "\n";
        s += "$EndNodeData\n";
    }
    return s;
}

// `text` right-aligned in columns [from, from + width) of `line`.
void put(std::string& line, std::size_t from, std::size_t width, const std::string& text) {
    line.replace(from + width - text.size(), text.size(), text);
}

std::string e12(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%12.5E", v);
    return b;
}

// The same grid as CalculiX text (long records): nodes, quadrilaterals, a
// one-component block in each of two steps and a displacement in the second.
std::string frd_plate(int n) {
    const int np = (n + 1) * (n + 1), nc = n * n;
    std::string s = "    1C\n";
    std::string h(80, ' ');
    h.replace(0, 6, "    2C");
    put(h, 24, 12, std::to_string(np));
    put(h, 70, 5, "1");
    s += h + "\n";
    for (int p = 0; p < np; ++p)
        s += " -1" + std::string(10 - std::to_string(p + 1).size(), ' ') + std::to_string(p + 1) +
             e12(p % (n + 1) / 3.0) + e12(p / (n + 1) * 0.7) + e12(0) + "\n";
    s += " -3\n";
    h.replace(0, 6, "    3C");
    put(h, 24, 12, std::to_string(nc));
    s += h + "\n";
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i + 1;
            char b[96];
            std::snprintf(b, sizeof b, " -1%10d%5d%5d%5d\n -2%10d%10d%10d%10d\n", j * n + i + 1, 9, 0, 1, a,
                          a + 1, a + n + 2, a + n + 1);
            s += b;
        }
    s += " -3\n";
    for (int step = 1; step <= 2; ++step)
        for (const int comps : {1, step == 2 ? 3 : 0}) {
            if (!comps) continue;
            std::string r(80, ' ');
            r.replace(0, 11, "  100CL  101");
            put(r, 12, 12, e12(step));
            put(r, 24, 12, std::to_string(np));
            put(r, 58, 5, std::to_string(step));
            put(r, 70, 5, "1");
            s += r + "\n" +
                 (comps == 1 ? " -4  VALUE       1    1\n -5  V           1    1    0    0\n"
                             : " -4  DISP        3    1\n -5  D1          1    2    1    0\n"
                               " -5  D2          1    2    2    0\n -5  D3          1    2    3    0\n");
            for (int p = np; p >= 1; --p) {
                s += " -1" + std::string(10 - std::to_string(p).size(), ' ') + std::to_string(p);
                for (int k = 0; k < comps; ++k)
                    s += e12(p * 0.01 * (k + 1) + step);
                s += "\n";
            }
            s += " -3\n";
        }
    return s + " 9999\n";
}

std::string replaced(std::string s, const std::string& what, const std::string& by, int nth = 1) {
    std::size_t at = 0;
    for (int k = 0; k < nth; ++k)
        at = s.find(what, k ? at + 1 : 0);
    EXPECT_NE(at, std::string::npos) << what;
    return at == std::string::npos ? s : s.replace(at, what.size(), by);
}

struct Outcome {
    orv::ImportData data;
    std::string error; // empty: read
};

Outcome import(const Import& f, const std::string& text, int threads, std::size_t chunk) {
    orv::ReaderOptions o;
    o.threads = threads;
    o.chunk_bytes = chunk;
    Outcome out;
    try {
        out.data = f(text, o);
    } catch (const orv::ReadError& e) {
        out.error = e.what();
    }
    return out;
}

struct Case {
    const char* name;
    Import import;
    std::string text;
    const char* error; // part of the expected message; nullptr: reads
};

// `frd` with the first `n` records of its first result block taken out,
// so that the block ends before the count its header announces. The lines
// after its end (the next block's first records) name the nodes it lacks.
std::string frd_result_short(const std::string& frd, int n) {
    const std::size_t from = frd.find("\n -1", frd.find("\n -5", frd.find("  100CL"))) + 1;
    std::size_t end = from;
    for (int k = 0; k < n; ++k)
        end = frd.find('\n', end) + 1;
    return frd.substr(0, from) + frd.substr(end);
}

std::vector<Case> cases() {
    const std::string vtk = vtk_plate(12), msh = msh_plate(12), frd = frd_plate(12);
    return {
        {"vtk plate", kVtk, vtk, nullptr},
        {"vtk one coordinate a line", kVtk, vtk_plate(9, 1), nullptr},
        {"vtk seven coordinates a line", kVtk, vtk_plate(9, 7), nullptr},
        {"vtk bad real in points", kVtk, replaced(vtk, "\n3 ", "\n3x "), "a number expected, found '3x'"},
        {"vtk bad index in cells", kVtk, replaced(vtk, "\n4 ", "\n4 q", 90), "an integer expected, found 'q"},
        {"vtk overflowing real", kVtk, replaced(vtk, "\n-6.", "\n1e999 -6."), "a number expected"},
        {"vtk values cut short", kVtk, vtk.substr(0, vtk.size() - 700), nullptr},
        {"vtk keyword inside values", kVtk, replaced(vtk, "\n-6.9", "\nVECTORS -6.9", 30),
         "a number expected"},
        {"msh plate", kMsh, msh, nullptr},
        {"msh bad coordinate", kMsh, replaced(msh, " 0.7 0\n", " 0.7 0x\n", 40), "expected a coordinate"},
        {"msh element names a missing node", kMsh, replaced(msh, "\n100 ", "\n100 9999 ", 1),
         "names node 9999"},
        {"msh two records on a line", kMsh, replaced(msh, " 1.2\n", " 1.2 ", 2), nullptr},
        {"msh node given twice in a view", kMsh, replaced(msh, "\n17 ", "\n18 ", 3),
         "names node 18 a second time"},
        {"msh view names a missing node", kMsh, replaced(msh, "\n17 ", "\n1700 ", 3), "names node 1700"},
        {"msh cut inside a view", kMsh, msh.substr(0, msh.size() - 900), nullptr},
        {"frd plate", kFrd, frd, nullptr},
        {"frd bad coordinate", kFrd, replaced(frd, "E-01 0.00000E+00\n", "E-01 0.0000xE+00\n", 9),
         "expected a coordinate in columns"},
        {"frd element names a missing node", kFrd, replaced(frd, "\n -2        40 ", "\n -2      9999 "),
         "names node 9999"},
        {"frd element of another type", kFrd, replaced(frd, "    9    0    1\n", "    6    0    1\n", 70),
         "expected the nodes (-2)"},
        {"frd result names a missing node (skipped)", kFrd,
         replaced(frd, "\n -1        17 ", "\n -1      1700 ", 3), nullptr},
        {"frd node given twice in a result", kFrd, replaced(frd, "\n -1        17 ", "\n -1        18 ", 4),
         "names node 18 a second time"},
        {"frd values on a continuation line", kFrd,
         replaced(frd, "\n -1        17 1.17000E+00", "\n -1        17\n -2          1.17000E+00"), nullptr},
        {"frd result block shorter than announced", kFrd, frd_result_short(frd, 40), nullptr},
        {"frd cut inside a result", kFrd, frd.substr(0, frd.rfind('\n', frd.size() - 900) + 1), nullptr},
    };
}

TEST(ImportParallel, ThreadsReadExactlyWhatOneThreadReads) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        const Outcome one = import(c.import, c.text, 1, 0);
        if (c.error)
            EXPECT_NE(one.error.find(c.error), std::string::npos) << one.error;
        else
            EXPECT_EQ(one.error, "");
        for (const std::size_t chunk :
             {std::size_t{16}, std::size_t{37}, std::size_t{200}, std::size_t{4096}})
            for (const int threads : {2, 3}) {
                SCOPED_TRACE("chunk " + std::to_string(chunk) + ", threads " + std::to_string(threads));
                const Outcome many = import(c.import, c.text, threads, chunk);
                EXPECT_EQ(many.error, one.error);
                if (one.error.empty() && many.error.empty()) {
                    EXPECT_TRUE(orv::fuzz::same_import(one.data, many.data));
                }
            }
    }
}

// The fixtures of both formats read the same on threads in small pieces.
TEST(ImportParallel, FixturesReadTheSameOnThreads) {
    namespace fs = std::filesystem;
    const fs::path root = fs::path(ORVANEL_TEST_DATA) / "import";
    int files = 0;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string ext = e.path().extension();
        if (ext != ".vtk" && ext != ".msh" && ext != ".frd") continue;
        SCOPED_TRACE(e.path().string());
        std::ifstream in(e.path(), std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        const Import& f = ext == ".vtk" ? kVtk : ext == ".msh" ? kMsh : kFrd;
        const Outcome one = import(f, text, 1, 0), many = import(f, text, 3, 16);
        EXPECT_EQ(many.error, one.error);
        if (one.error.empty()) {
            EXPECT_TRUE(orv::fuzz::same_import(one.data, many.data));
        }
        ++files;
    }
    EXPECT_GT(files, 5);
}

// A compressed .vtu of many blocks (a converted plate: 64 KiB blocks) is
// decompressed on the threads: the same arrays, and a damaged block gives
// the same message, naming the same block, as on one thread.
TEST(ImportParallel, CompressedVtuBlocksReadTheSameOnThreads) {
    const Import vtu = [](const std::string& t, const orv::ReaderOptions& o) {
        return orv::import_bytes(orv::import_vtk_xml, t.data(), t.size(), "plate.vtu", o);
    };
    const std::string file =
        orv::vtu_of(orv::build_model(kVtk(vtk_plate(120), {}), "plate.vtk", 1).model).bytes;
    const std::size_t data = file.find("<AppendedData");
    ASSERT_NE(data, std::string::npos);
    std::string damaged = file;
    damaged[data + (file.size() - data) / 2] ^= 0x5a;
    for (const std::string& text : {file, damaged}) {
        const Outcome one = import(vtu, text, 1, 0), many = import(vtu, text, 3, 0);
        EXPECT_EQ(many.error, one.error);
        if (one.error.empty() && many.error.empty()) {
            EXPECT_TRUE(orv::fuzz::same_import(one.data, many.data));
        }
    }
    EXPECT_EQ(import(vtu, file, 1, 0).error, "");
    EXPECT_NE(import(vtu, damaged, 1, 0).error.find("does not decompress"), std::string::npos)
        << import(vtu, damaged, 1, 0).error;
}

TEST(ImportParallel, MemoryLimitIsRefusedBeforeTheArrays) {
    for (const auto& [import, text, place] :
         {std::tuple{kVtk, vtk_plate(12), "plate.vtk, line 6: 507 values of POINTS"},
          std::tuple{kMsh, msh_plate(12), "169 nodes announced at line 5 of plate.msh"},
          std::tuple{kFrd, frd_plate(12), "169 nodes announced at line 2 of plate.frd"}}) {
        orv::ReaderOptions o;
        o.memory_limit = 1000;
        try {
            import(text, o);
            ADD_FAILURE() << place << ": read within a limit of 1000 bytes";
        } catch (const orv::ReadError& e) {
            const std::string m = e.what();
            EXPECT_NE(m.find(place), std::string::npos) << m;
            EXPECT_NE(m.find(" MiB of memory; only 1 MiB are available"), std::string::npos) << m;
            EXPECT_EQ(m.find("Not enough memory to read plate."), 0u) << m;
        }
        o.memory_limit = 1 << 20;
        EXPECT_NO_THROW(import(text, o));
    }
}

TEST(ImportParallel, ProgressRisesToTheWholeFileAndCanCancel) {
    for (const auto& [import, text] : {std::pair{kVtk, vtk_plate(400)}, std::pair{kMsh, msh_plate(400)},
                                       std::pair{kFrd, frd_plate(300)}}) {
        for (const int threads : {1, 2}) {
            orv::ReaderOptions o;
            o.threads = threads;
            std::vector<std::uint64_t> seen;
            o.progress = [&](std::uint64_t done, std::uint64_t total) {
                EXPECT_EQ(total, text.size());
                seen.push_back(done);
                return true;
            };
            import(text, o);
            ASSERT_GT(seen.size(), 3u);
            EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
            EXPECT_EQ(seen.back(), text.size());
            o.progress = [](std::uint64_t done, std::uint64_t) { return done < (2u << 20); };
            EXPECT_THROW(import(text, o), orv::ReadCancelled);
        }
    }
}

} // namespace

// Pieces mark rows from several threads; a row marked twice (a node listed
// twice in a block) shows in the count, which sends the block to one thread.
TEST(ImportParallel, RowMarksTellARowGivenTwice) {
    for (const bool twice : {false, true}) {
        orv::import::RowMarks marks(100000);
        std::vector<std::thread> pool;
        for (int t = 0; t < 4; ++t)
            pool.emplace_back([&, t] {
                for (std::size_t r = static_cast<std::size_t>(t); r < 90000; r += 4)
                    marks.mark(twice && r == 89999 ? 3 : r);
            });
        for (auto& th : pool)
            th.join();
        EXPECT_EQ(marks.distinct(90000), !twice);
    }
}
