// Importers index the fields of each step at the first pass and read their
// values when they are needed (ImportField::load). What comes through load
// must be exactly what a read of everything at once gives: the same values,
// the same warnings, and the same error (with its line) where that read
// fails; a file rewritten after the first pass must be refused, never mixed.
#include "../../../fuzz/import_same.h"
#include "import_test_util.h"
#include "viewer/formats/calculix_reader.h"
#include "viewer/formats/exodus_reader.h"
#include "viewer/formats/gmsh_reader.h"
#include "viewer/formats/importer.h"
#include "viewer/formats/reader.h"
#include "viewer/formats/vtk_xml_reader.h"
#include "viewer/formats/xdmf_reader.h"

#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Import = std::function<orv::ImportData(const std::string& path, const orv::ReaderOptions&)>;

struct Outcome {
    orv::ImportData data;
    std::string error;    // empty: read
    bool indexed = false; // some field came through load
};

// Imports `path`; with `on_demand`, then reads every indexed field through
// its load into a fresh array, as the model's store does.
Outcome import(const Import& f, const std::string& path, bool on_demand, int threads, std::size_t chunk = 0) {
    orv::ReaderOptions o;
    o.threads = threads;
    o.chunk_bytes = chunk;
    o.values_on_demand = on_demand;
    Outcome out;
    try {
        out.data = f(path, o);
        for (auto& step : out.data.steps)
            for (auto& field : step.fields) {
                if (!field.load) continue;
                EXPECT_TRUE(field.values.empty()) << field.name << ": the first pass kept its values";
                out.indexed = true;
                orv::ZeroedVector<double> values;
                field.load(values);
                field.values = std::move(values);
            }
    } catch (const orv::ReadError& e) {
        out.error = e.what();
    }
    return out;
}

const Import kFrd = [](const std::string& path, const orv::ReaderOptions& o) {
    return orv::import_file(orv::import_frd, path, o);
};

const Import kMsh = [](const std::string& path, const orv::ReaderOptions& o) {
    return orv::import_file(orv::import_msh, path, o);
};

const Import kVtkXml = [](const std::string& path, const orv::ReaderOptions& o) {
    return orv::import_file(orv::import_vtk_xml, path, o);
};

const Import kExodus = [](const std::string& path, const orv::ReaderOptions& o) {
    return orv::import_file(orv::import_exodus, path, o);
};

const Import kXdmf = [](const std::string& path, const orv::ReaderOptions& o) {
    return orv::import_file(orv::import_xdmf, path, o);
};

// The importer of each extension whose fields can be read on demand.
const Import* importer_of(const fs::path& p) {
    const std::string ext = p.extension();
    if (ext == ".frd") return &kFrd;
    if (ext == ".msh") return &kMsh;
    if (ext == ".exo" || ext == ".e") return &kExodus;
    if (ext == ".xdmf" || ext == ".xmf") return &kXdmf;
    if (ext == ".vtu" || ext == ".vtp" || ext == ".pvd" || ext == ".pvtu") return &kVtkXml;
    return nullptr;
}

void write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// --- A transient CalculiX result: a grid of n x n quadrilaterals, `steps`
// steps of DISP (3), STRESS (6) and an 8-component block (a continuation
// line in text), in block format `format` (0 short, 1 long, 2 and 3 binary).

void put(std::string& line, std::size_t from, std::size_t width, const std::string& text) {
    line.replace(from + width - text.size(), text.size(), text);
}

std::string e12(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%12.5E", v);
    return b;
}

template <class T> void raw(std::string& s, T v) {
    char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    s.append(b, sizeof(T));
}

std::string header(const char* key, std::size_t count, int format, int step = 0) {
    std::string h(75, ' ');
    h.replace(0, std::strlen(key), key);
    if (step) {
        put(h, 12, 12, e12(0.25 * step));
        put(h, 58, 5, std::to_string(step));
    }
    put(h, 24, 12, std::to_string(count));
    put(h, 74, 1, std::to_string(format));
    return h + "\n";
}

std::string label(int v, int format) {
    char b[16];
    std::snprintf(b, sizeof b, format == 0 ? "%5d" : "%10d", v);
    return b;
}

// Records run from the last node to the first, or in the node block's
// order as CalculiX writes them.
std::string frd_series(int n, int steps, int format, bool node_order = false) {
    const int np = (n + 1) * (n + 1), ne = n * n;
    const bool binary = format >= 2;
    std::string s = "    1C\n" + header("    2C", static_cast<std::size_t>(np), format);
    for (int p = 0; p < np; ++p) {
        const double x = p % (n + 1) / 3.0, y = p / (n + 1) * 0.7, z = 0.01 * (p % 7);
        if (binary) {
            raw<std::int32_t>(s, p + 1);
            for (const double c : {x, y, z})
                format == 2 ? raw<float>(s, static_cast<float>(c)) : raw<double>(s, c);
        } else {
            s += " -1" + label(p + 1, format) + e12(x) + e12(y) + e12(z) + "\n";
        }
    }
    if (!binary) s += " -3\n";
    s += header("    3C", static_cast<std::size_t>(ne), format);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i + 1, e = j * n + i + 1;
            const int nodes[4] = {a, a + 1, a + n + 2, a + n + 1};
            if (binary) {
                for (const int v : {e, 9, 0, 1})
                    raw<std::int32_t>(s, v);
                for (const int v : nodes)
                    raw<std::int32_t>(s, v);
            } else {
                s += " -1" + label(e, format) + "    9    0    1\n -2";
                for (const int v : nodes)
                    s += label(v, format);
                s += "\n";
            }
        }
    if (!binary) s += " -3\n";
    struct Block {
        const char* name;
        int components;
        int type; // columns 19-23 of the component records
    };
    const Block blocks[] = {{"DISP", 3, 2}, {"STRESS", 6, 4}, {"ERRS", 8, 1}};
    for (int step = 1; step <= steps; ++step)
        for (const Block& b : blocks) {
            s += header("  100CL  101", static_cast<std::size_t>(np), format, step);
            char line[64];
            std::snprintf(line, sizeof line, " -4  %-8s%5d    1\n", b.name, b.components);
            s += line;
            for (int k = 0; k < b.components; ++k) {
                std::snprintf(line, sizeof line, " -5  %c%-7d%5d%5d%5d%5d\n", b.name[0], k + 1, 1, b.type,
                              k + 1, 0);
                s += line;
            }
            for (int r = 0; r < np; ++r) {
                const int p = node_order ? r + 1 : np - r;
                const auto value = [&](int k) { return p * 0.01 * (k + 1) + step - 0.5 * b.components; };
                if (binary) {
                    raw<std::int32_t>(s, p);
                    for (int k = 0; k < b.components; ++k)
                        format == 2 ? raw<float>(s, static_cast<float>(value(k))) : raw<double>(s, value(k));
                    continue;
                }
                s += " -1" + label(p, format);
                for (int k = 0; k < b.components; ++k)
                    s += (k == 6 ? "\n -2" + std::string(format == 0 ? 5 : 10, ' ') : "") + e12(value(k));
                s += "\n";
            }
            if (!binary) s += " -3\n";
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

// `text` with `by` in place of its bytes from `at`.
std::string overwritten(std::string text, std::size_t at, const std::string& by) {
    return text.replace(at, by.size(), by);
}

// Where the `nth` result block's records start.
std::size_t records_of_block(const std::string& frd, int nth) {
    std::size_t at = 0;
    for (int k = 0; k < nth; ++k)
        at = frd.find("  100CL", at + 1);
    return frd.find("\n -1", at) + 1;
}

// --- A transient Gmsh 2.2 result: an n x n grid of quadrilaterals, `steps`
// steps of a scalar view T, given in two sections per step (as partitioned
// output gives it), and a vector view U.
std::string msh_series(int n, int steps) {
    const int np = (n + 1) * (n + 1);
    std::string s = "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n" + std::to_string(np) + "\n";
    for (int p = 0; p < np; ++p)
        s += std::to_string(p + 1) + " " + std::to_string(p % (n + 1)) + " " + std::to_string(p / (n + 1)) +
             " 0\n";
    s += "$EndNodes\n$Elements\n" + std::to_string(n * n) + "\n";
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i + 1;
            s += std::to_string(j * n + i + 1) + " 3 2 0 1 " + std::to_string(a) + " " +
                 std::to_string(a + 1) + " " + std::to_string(a + n + 2) + " " + std::to_string(a + n + 1) +
                 "\n";
        }
    s += "$EndElements\n";
    const auto section = [&](const char* name, int step, int comps, int from, int to) {
        std::string t = "$NodeData\n1\n\"" + std::string(name) + "\"\n1\n" + std::to_string(0.5 * step) +
                        "\n3\n" + std::to_string(step) + "\n" + std::to_string(comps) + "\n" +
                        std::to_string(to - from) + "\n";
        for (int p = to; p > from; --p) { // any order of nodes
            t += std::to_string(p);
            for (int k = 0; k < comps; ++k)
                t += " " + std::to_string(p * 0.125 * (k + 1) + step);
            t += "\n";
        }
        return t + "$EndNodeData\n";
    };
    for (int step = 0; step < steps; ++step)
        s += section("T", step, 1, 0, np / 2) + section("U", step, 3, 0, np) +
             section("T", step, 1, np / 2, np);
    return s;
}

// Where the `nth` $NodeData section's records start.
std::size_t records_of_section(const std::string& msh, int nth) {
    std::size_t at = 0;
    for (int k = 0; k < nth; ++k)
        at = msh.find("$NodeData", at + 1);
    for (int line = 0; line < 9; ++line)
        at = msh.find('\n', at) + 1;
    return at;
}

class OnDemand : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("orvanel_on_demand_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

// Each read on demand, on one thread and on two in small pieces, against
// the read of everything at once on one thread.
void expect_same_on_demand(const Import& f, const std::string& path, bool warnings_at_open = true) {
    Outcome eager = import(f, path, false, 1);
    for (const int threads : {1, 2}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        const Outcome lazy = import(f, path, true, threads, threads == 1 ? 0 : 64);
        EXPECT_EQ(lazy.error, eager.error);
        if (!eager.error.empty() || !lazy.error.empty()) continue;
        if (warnings_at_open) {
            EXPECT_TRUE(orv::fuzz::same_import(eager.data, lazy.data));
        } else {
            EXPECT_NE(eager.data.warnings, lazy.data.warnings);
            auto warnings = std::exchange(eager.data.warnings, lazy.data.warnings);
            EXPECT_TRUE(orv::fuzz::same_import(eager.data, lazy.data));
            eager.data.warnings = std::move(warnings);
        }
    }
}

TEST_F(OnDemand, FixturesReadTheSame) {
    for (const char* folder : {"import", "reader"})
        for (const auto& e : fs::recursive_directory_iterator(fs::path(ORVANEL_TEST_DATA) / folder)) {
            const Import* f = importer_of(e.path());
            if (!f) continue;
            SCOPED_TRACE(e.path().string());
            expect_same_on_demand(*f, e.path().string());
        }
}

TEST_F(OnDemand, CalculixBlocksReadTheSame) {
    const std::string text = frd_series(6, 3, 1);
    const std::size_t second_stress = records_of_block(text, 5);
    struct Case {
        const char* name;
        std::string bytes;
        bool indexed;          // some block is left for later
        bool warnings_at_open; // false: a warning only a full read can give
    };
    const Case cases[] = {
        {"short records", frd_series(6, 3, 0), true, true},
        {"long records", text, true, true},
        {"binary floats", frd_series(6, 3, 2), true, true},
        {"binary doubles", frd_series(6, 3, 3), true, true},
        {"blocks large enough for threads", frd_series(40, 2, 1), true, true},
        {"records of uneven length (skipped line by line)",
         replaced(text, "E+00\n -1        30", "E+00  \n -1        30", 4), true, true},
        {"bad value in a later step", overwritten(text, second_stress + 13, " 3.2x000E+00"), true, true},
        {"node given twice in a later step",
         text.substr(0, second_stress) +
             replaced(text.substr(second_stress), " -1        48", " -1        47"),
         true, true},
        {"result block shorter than announced",
         text.substr(0, second_stress) + text.substr(text.find('\n', second_stress) + 1), true, true},
        {"file cut inside the last block", text.substr(0, text.rfind('\n', text.size() - 300) + 1), true,
         true},
        {"binary file cut inside the last block",
         [] {
             const std::string b = frd_series(6, 2, 3);
             return b.substr(0, b.size() - 100);
         }(),
         true, true},
        // Nodes that the node block lacks, in a block of one record per
        // node: skipped alike, but only a full read can name them.
        {"result names a missing node",
         text.substr(0, second_stress) +
             replaced(text.substr(second_stress), " -1        48", " -1      4800"),
         true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = dir_ / "series.frd";
        write(path, c.bytes);
        expect_same_on_demand(kFrd, path.string(), c.warnings_at_open);
        EXPECT_EQ(import(kFrd, path.string(), true, 1).indexed, c.indexed);
    }
}

TEST_F(OnDemand, GmshViewsReadTheSame) {
    const std::string text = msh_series(8, 3);
    const std::size_t fourth = records_of_section(text, 4); // step 1's first part of T
    struct Case {
        const char* name;
        std::string bytes;
        bool indexed; // false: the read fails at open
    };
    const Case cases[] = {
        {"views in sections", text, true},
        {"blocks large enough for threads", msh_series(70, 2), true},
        {"bad value in a later step", overwritten(text, text.find(' ', fourth), " 1.x"), true},
        {"node given twice in a later step",
         text.substr(0, fourth) + replaced(text.substr(fourth), "\n39 ", "\n38 "), true},
        // The last part of a view cut short: its first part, left in the
        // file, is read then, and the rest as a full read reads it.
        {"file cut inside the last section", text.substr(0, text.size() - 60), true},
        {"a count that is wrong", replaced(text, "\n3\n2\n3\n81\n", "\n3\n2\n3\n80\n"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = dir_ / "series.msh";
        write(path, c.bytes);
        expect_same_on_demand(kMsh, path.string());
        EXPECT_EQ(import(kMsh, path.string(), true, 1).indexed, c.indexed);
    }
}

// The errors a full read gives at open come, through load, from the one
// block that holds them, with the same line.
TEST_F(OnDemand, ErrorsOfALaterBlockComeWithItsLoad) {
    const std::string text = frd_series(6, 3, 1);
    const fs::path path = dir_ / "bad.frd";
    write(path, overwritten(text, records_of_block(text, 5) + 13, " 3.2x000E+00"));
    std::string full;
    try {
        orv::ReaderOptions o;
        o.values_on_demand = false;
        orv::import_file(orv::import_frd, path.string(), o);
    } catch (const orv::ReadError& e) {
        full = e.what();
    }
    EXPECT_NE(full.find("Invalid input at line "), std::string::npos) << full;
    orv::ImportData d = orv::import_file(orv::import_frd, path.string());
    std::vector<std::string> errors;
    for (auto& step : d.steps)
        for (auto& field : step.fields) {
            orv::ZeroedVector<double> v;
            try {
                field.load(v);
            } catch (const orv::ReadError& e) {
                errors.push_back(e.what());
            }
        }
    EXPECT_EQ(errors, std::vector<std::string>{full});
}

TEST_F(OnDemand, AFileRewrittenAfterOpeningIsRefused) {
    const std::string text = frd_series(6, 2, 1);
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> change;
    };
    const Case cases[] = {
        {"grew (a step appended)",
         [&](const fs::path& p) { write(p, text + text.substr(text.find("  100CL"))); }},
        {"same size, other values, later time",
         [&](const fs::path& p) {
             write(p, overwritten(text, records_of_block(text, 4) + 13, " 9.26000E+00"));
             fs::last_write_time(p, fs::last_write_time(p) + std::chrono::seconds(2));
         }},
        {"cut short", [&](const fs::path& p) { fs::resize_file(p, text.size() / 2); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = dir_ / "running.frd";
        write(path, text);
        orv::ImportData d = orv::import_file(orv::import_frd, path.string());
        ASSERT_FALSE(d.steps.empty());
        auto& field = d.steps.back().fields.front();
        orv::ZeroedVector<double> before;
        field.load(before);
        c.change(path);
        orv::ZeroedVector<double> after;
        try {
            field.load(after);
            ADD_FAILURE() << "read a changed file";
        } catch (const orv::ReadError& e) {
            EXPECT_STREQ(e.what(), "running.frd changed since it was opened; reopen it");
        }
    }
}

// Every format refuses a file changed after opening; the message names the
// file that changed (a step file of a collection, an HDF5 file).
TEST_F(OnDemand, AFileOfAnyFormatRewrittenAfterOpeningIsRefused) {
    struct Case {
        const char* folder;
        std::vector<const char*> files; // the first is opened
        const Import* import;
        const char* changed;
        std::size_t step;                      // whose first field reads the changed file
        std::optional<std::size_t> other_step; // one that does not
    };
    const Case cases[] = {
        {"vtk_xml",
         {"series.pvd", "series_0.vtu", "series_1.vtu", "series_2.vtu"},
         &kVtkXml,
         "series_1.vtu",
         1,
         2},
        {"gmsh", {"plate_41.msh"}, &kMsh, "plate_41.msh", 1, std::nullopt},
        {"exodus", {"classic_hex.exo"}, &kExodus, "classic_hex.exo", 2, std::nullopt},
        {"xdmf", {"meshio_series.xdmf", "meshio_series.h5"}, &kXdmf, "meshio_series.h5", 1, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.files.front());
        for (const char* f : c.files)
            fs::copy_file(fs::path(ORVANEL_TEST_DATA) / "import" / c.folder / f, dir_ / f,
                          fs::copy_options::overwrite_existing);
        orv::ImportData d = (*c.import)((dir_ / c.files.front()).string(), {});
        ASSERT_GT(d.steps.size(), c.step);
        ASSERT_FALSE(d.steps[c.step].fields.empty());
        auto& field = d.steps[c.step].fields.front();
        ASSERT_TRUE(field.load);
        const fs::path changed = dir_ / c.changed;
        fs::last_write_time(changed, fs::last_write_time(changed) + std::chrono::seconds(2));
        orv::ZeroedVector<double> values;
        try {
            field.load(values);
            ADD_FAILURE() << "read a changed file";
        } catch (const orv::ReadError& e) {
            EXPECT_EQ(e.what(), std::string(c.changed) + " changed since it was opened; reopen it");
        }
        if (c.other_step) {
            d.steps[*c.other_step].fields.front().load(values);
            EXPECT_FALSE(values.empty());
        }
    }
}

// Loads run on any thread, several at once.
TEST_F(OnDemand, LoadsOnSeveralThreadsAtOnce) {
    write(dir_ / "series.frd", frd_series(30, 4, 0));
    write(dir_ / "series.msh", msh_series(30, 4));
    const fs::path data = fs::path(ORVANEL_TEST_DATA) / "import";
    for (const fs::path& path : {dir_ / "series.frd", dir_ / "series.msh", data / "vtk_xml" / "series.pvd",
                                 data / "exodus" / "classic_hex.exo", data / "xdmf" / "meshio_series.xdmf"}) {
        SCOPED_TRACE(path.string());
        const Import& f = *importer_of(path);
        const Outcome eager = import(f, path.string(), false, 1);
        ASSERT_EQ(eager.error, "");
        orv::ImportData d = f(path.string(), {});
        std::vector<orv::ImportField*> fields;
        for (auto& step : d.steps)
            for (auto& field : step.fields)
                if (field.load) fields.push_back(&field);
        EXPECT_FALSE(fields.empty());
        std::vector<std::string> errors(3);
        {
            std::vector<std::jthread> threads;
            for (std::size_t t = 0; t < 3; ++t)
                threads.emplace_back([&, t] {
                    try {
                        for (std::size_t k = t; k < fields.size(); k += 3)
                            fields[k]->load(fields[k]->values);
                    } catch (const orv::ReadError& e) {
                        errors[t] = e.what();
                    }
                });
        }
        EXPECT_EQ(errors, std::vector<std::string>(3));
        EXPECT_TRUE(orv::fuzz::same_import(eager.data, d));
    }
}

// --- The model: lists of indexed fields stay in the file and come through
// the store. Every value, displacement, range and warning must be the one
// the model read all at once has, on any thread count, with a cache that
// keeps nothing, and a single node's value read alone must be its list's.

struct ModelOutcome {
    orv::ReadResult result;
    std::string error;
};

ModelOutcome read_model(const std::string& path, bool on_demand, int threads, bool defer = false) {
    orv::ReaderOptions o;
    o.threads = threads;
    o.values_on_demand = on_demand;
    o.defer_ranges = defer;
    ModelOutcome out;
    try {
        out.result = orv::read_result(path, o);
        out.result.model.store->set_budget(0);
    } catch (const orv::ReadError& e) {
        out.error = e.what();
    }
    return out;
}

bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) ||
           (std::isnan(a) && std::isnan(b));
}

// Up to `n` nodes spread over 1..nnode, the last one included.
std::vector<std::int32_t> some_nodes(std::int32_t nnode, std::int32_t n) {
    std::vector<std::int32_t> out;
    const std::int32_t step = std::max(1, nnode / n);
    for (std::int32_t i = 1; i <= nnode; i += step)
        out.push_back(i);
    if (nnode > 0 && out.back() != nnode) out.push_back(nnode);
    return out;
}

void expect_same_model(const std::string& path, bool expect_on_demand = false) {
    const ModelOutcome eager = read_model(path, false, 1);
    for (const int threads : {1, 2}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        const ModelOutcome lazy = read_model(path, true, threads);
        ASSERT_EQ(lazy.error, eager.error);
        if (!eager.error.empty()) continue;
        const orv::ResultModel& a = eager.result.model;
        const orv::ResultModel& b = lazy.result.model;
        if (expect_on_demand) {
            EXPECT_TRUE(b.store->has_source());
            EXPECT_EQ(b.store->bytes_held(), 0u) << "lists were kept in memory";
        }
        EXPECT_EQ(lazy.result.warnings, eager.result.warnings);
        ASSERT_EQ(b.nnode, a.nnode);
        ASSERT_EQ(b.nlista, a.nlista);
        EXPECT_EQ(b.namelista, a.namelista);
        EXPECT_EQ(b.coord_data.size(), a.coord_data.size());
        EXPECT_TRUE(std::equal(a.coord_data.begin(), a.coord_data.end(), b.coord_data.begin(), same_bits));
        for (std::size_t k = 0; k < a.maxlista.size(); ++k)
            EXPECT_TRUE(same_bits(a.maxlista[k][0], b.maxlista[k][0]) &&
                        same_bits(a.maxlista[k][1], b.maxlista[k][1]))
                << "range of list " << k;
        EXPECT_TRUE(same_bits(a.valmin, b.valmin) && same_bits(a.valmax, b.valmax));
        EXPECT_EQ(b.store->displacement_plan(), a.store->displacement_plan());
        const std::vector<std::int32_t> nodes = some_nodes(a.nnode, 40);
        for (int k = 1; k <= a.nlista; ++k) {
            // A node alone first, before the list is in the cache.
            for (const std::int32_t i : nodes)
                ASSERT_TRUE(same_bits(b.store->value_at(k, i),
                                      a.listas(static_cast<std::size_t>(i), static_cast<std::size_t>(k))))
                    << "list " << k << " node " << i;
            const orv::ListValues va = a.values(k), vb = b.values(k);
            ASSERT_EQ(vb.size(), va.size());
            EXPECT_TRUE(std::equal(va.span().begin(), va.span().end(), vb.span().begin(), same_bits))
                << "list " << k;
            const orv::DisplacementValues da = a.displacement(k), db = b.displacement(k);
            ASSERT_EQ(db.size(), da.size()) << "list " << k;
            EXPECT_TRUE(std::equal(da.span().begin(), da.span().end(), db.span().begin(), same_bits))
                << "displacement of list " << k;
        }
        // Deferred, the ranges of those lists wait; nothing else changes.
        const ModelOutcome deferred = read_model(path, true, threads, true);
        ASSERT_EQ(deferred.error, "");
        const orv::ResultModel& c = deferred.result.model;
        EXPECT_EQ(c.nlista, a.nlista);
        for (int k = 1; k <= c.nlista; ++k) {
            const bool pending = !c.range_pending.empty() && c.range_pending[static_cast<std::size_t>(k)];
            if (!pending) {
                EXPECT_TRUE(same_bits(a.maxlista[static_cast<std::size_t>(k)][0],
                                      c.maxlista[static_cast<std::size_t>(k)][0]))
                    << "range of list " << k;
            }
            const orv::ListValues va = a.values(k), vc = c.values(k);
            EXPECT_TRUE(std::equal(va.span().begin(), va.span().end(), vc.span().begin(), same_bits))
                << "list " << k;
        }
        if (expect_on_demand) {
            EXPECT_FALSE(c.range_pending.empty());
        }
    }
}

TEST_F(OnDemand, ModelsOfFixturesReadTheSame) {
    for (const char* folder : {"import", "reader"})
        for (const auto& e : fs::recursive_directory_iterator(fs::path(ORVANEL_TEST_DATA) / folder)) {
            if (!importer_of(e.path())) continue;
            SCOPED_TRACE(e.path().string());
            expect_same_model(e.path().string());
        }
}

// Generated series in every CalculiX block form, and Gmsh views in two
// sections: every list and displacement from the file when needed.
TEST_F(OnDemand, ModelsOfSeriesReadTheSame) {
    for (const int format : {0, 1, 2, 3})
        for (const bool node_order : {false, true}) {
            SCOPED_TRACE("frd format " + std::to_string(format) + (node_order ? ", node order" : ""));
            const fs::path p = dir_ / ("series" + std::to_string(format) + ".frd");
            write(p, frd_series(6, 3, format, node_order));
            expect_same_model(p.string(), true);
        }
    write(dir_ / "series.msh", msh_series(6, 3));
    expect_same_model((dir_ / "series.msh").string(), true);
}

// A history reads one record per list where the records keep the node
// order: no list is loaded for it.
TEST_F(OnDemand, ANodeOfAnOrderedBlockIsReadAlone) {
    for (const int format : {0, 1, 2, 3}) {
        SCOPED_TRACE("frd format " + std::to_string(format));
        const fs::path p = dir_ / "series.frd";
        write(p, frd_series(6, 3, format, true));
        orv::ReaderOptions o;
        o.defer_ranges = true;
        const orv::ResultModel m = orv::read_result(p.string(), o).model;
        ASSERT_TRUE(m.store->has_source());
        for (int k = 1; k <= m.nlista; ++k)
            (void)m.store->value_at(k, 20);
        EXPECT_EQ(m.store->loaded_bytes(), 0u);
    }
}

// A node's value read alone never mixes two versions of the file.
TEST_F(OnDemand, ANodeReadAloneFromARewrittenFileIsRefused) {
    const fs::path p = dir_ / "series.frd";
    const std::string frd = frd_series(6, 2, 0);
    write(p, frd);
    const ModelOutcome m = read_model(p.string(), true, 1, true);
    ASSERT_EQ(m.error, "");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    write(p, replaced(frd, "  100CL", "  100CL", 1) + " ");
    try {
        (void)m.result.model.store->value_at(1, 3);
        ADD_FAILURE() << "no error";
    } catch (const orv::ReadError& e) {
        EXPECT_NE(std::string(e.what()).find("changed since it was opened"), std::string::npos) << e.what();
    }
}

} // namespace
