#include "../model/list_dump.h"
#include "viewer/formats/model_writer.h"

#include "viewer/formats/importer.h"
#include "viewer/formats/reader.h"
#include "viewer/formats/vtk_legacy_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <regex>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

void expect_same_model(const orv::ResultModel& a, const orv::ResultModel& b) {
    EXPECT_EQ(a.nnode, b.nnode);
    EXPECT_EQ(a.nelem, b.nelem);
    ASSERT_EQ(a.nlista, b.nlista);
    // Bit for bit: memcmp also tells -0 from 0.
    ASSERT_EQ(a.coord_data.size(), b.coord_data.size());
    EXPECT_EQ(std::memcmp(a.coord_data.data(), b.coord_data.data(), a.coord_data.size() * sizeof(double)), 0);
    EXPECT_TRUE(orv::test::same_bits(orv::test::all_list_values(a), orv::test::all_list_values(b)));
    EXPECT_TRUE(
        orv::test::same_bits(orv::test::all_list_displacements(a), orv::test::all_list_displacements(b)));
    EXPECT_EQ(a.conec_data, b.conec_data);
    EXPECT_EQ(a.conec_start, b.conec_start);
    EXPECT_EQ(a.namelista, b.namelista);
    EXPECT_EQ(a.maxlista, b.maxlista);
    EXPECT_EQ(a.maxscale, b.maxscale);
    EXPECT_EQ(a.valmin, b.valmin);
    EXPECT_EQ(a.valmax, b.valmax);
}

TEST(ModelWriter, NativeTextReadsBackToTheIdenticalModel) {
    const std::string src = ORVANEL_SOURCE_DIR;
    const std::string data = ORVANEL_TEST_DATA;
    for (const std::string& path :
         {src + "/examples/viga.txt", src + "/examples/placa.txt", src + "/examples/casca.txt",
          data + "/reader/element_kinds.txt", data + "/reader/ranges.txt", data + "/reader/no_lists.txt",
          data + "/reader/all_zero.txt", data + "/import/block_binary_51.vtk",
          data + "/import/tet10_meshio_ascii.vtk"}) {
        SCOPED_TRACE(path);
        const bool vtk = path.ends_with(".vtk");
        const orv::ResultModel first =
            vtk ? orv::read_file(orv::import_vtk_legacy, path).model : orv::read_result_file(path);
        const std::string text = orv::native_text_of(first);
        const auto again = orv::read_result_bytes(text.data(), text.size(), "again.txt");
        EXPECT_TRUE(again.warnings.empty());
        expect_same_model(first, again.model);
        // And the model read back gives the same text, but for its title line.
        const std::string text2 = orv::native_text_of(again.model);
        EXPECT_TRUE(text2.substr(text2.find('\n')) == text.substr(text.find('\n')));
    }
}

TEST(ModelWriter, TrickyRealsAndNamesSurvive) {
    const std::string text = "t\n#\n2 1\n#\n-0 1e-310 3.141592653589793 0.1 -2.5e+300 0\n"
                             "1 2 3 0 0 0\n#\n1 1 1 2\n#\n  blanks kept  \n"
                             "0 0 0 0.30000000000000004\n1 1 1 -1e-320\n";
    const auto first = orv::read_result_bytes(text.data(), text.size(), "tricky.txt");
    ASSERT_EQ(first.model.nlista, 1);
    const std::string out = orv::native_text_of(first.model);
    const auto again = orv::read_result_bytes(out.data(), out.size(), "again.txt");
    expect_same_model(first.model, again.model);
    EXPECT_EQ(again.model.namelista[1], "  blanks kept  ");
}

// A value without a value (NaN, from an imported file) is kept by a .vtu,
// which reads it back as one; the native format, whose numbers are all
// finite, refuses it by name. A coordinate that is not finite no file holds.
TEST(ModelWriter, ValuesThatNoFileCanHoldAreRefused) {
    const std::string text = "t\n#\n1 0\n#\n0 0 0 0 0 0\n#\n#\nL\n0 0 0 1\n";
    auto m = orv::read_result_bytes(text.data(), text.size(), "nan.txt").model;
    m.listas_ref(1, 1) = std::numeric_limits<double>::quiet_NaN();
    try {
        orv::native_text_of(m);
        ADD_FAILURE() << "no error";
    } catch (const orv::ModelWriteError& e) {
        EXPECT_STREQ(e.what(),
                     "result list 1 has no value at node 1 (a number that is not finite), which the "
                     "native format cannot hold; write a .vtu instead");
    }
    const std::string vtu = orv::vtu_of(m).bytes;
    const orv::ReadResult back = orv::read_result_bytes(vtu.data(), vtu.size(), "nan.vtu");
    ASSERT_EQ(back.model.nlista, 1);
    EXPECT_TRUE(std::isnan(back.model.listas(1, 1)));
    m.coord(1, 2) = std::numeric_limits<double>::infinity();
    EXPECT_THROW(orv::vtu_of(m), orv::ModelWriteError);
}

// Decompresses the appended array at `offset` (64-bit headers, zlib blocks).
std::string inflate_array(const std::string& appended, std::size_t offset) {
    std::uint64_t h[3];
    std::memcpy(h, appended.data() + offset, sizeof h);
    const std::uint64_t blocks = h[0], block = h[1], last = h[2];
    std::vector<std::uint64_t> sizes(blocks);
    std::memcpy(sizes.data(), appended.data() + offset + 24, blocks * 8);
    std::string out;
    std::size_t at = offset + 24 + blocks * 8;
    for (std::uint64_t b = 0; b < blocks; ++b) {
        uLongf len = (b + 1 == blocks && last) ? last : block;
        std::string raw(len, '\0');
        EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(raw.data()), &len,
                             reinterpret_cast<const Bytef*>(appended.data() + at), sizes[b]),
                  Z_OK);
        out += raw.substr(0, len);
        at += sizes[b];
    }
    return out;
}

// The .vtu's arrays hold the model: each appended block decompresses to the
// size and values its XML announces. (Files written this way were also read
// back by VTK's own XML reader when the fixtures were made.)
TEST(ModelWriter, VtuArraysDecompressToTheModel) {
    const auto m = orv::read_result_file(std::string(ORVANEL_SOURCE_DIR) + "/examples/placa.txt");
    const auto vtu = orv::vtu_of(m);
    EXPECT_TRUE(vtu.warnings.empty());
    const std::string& s = vtu.bytes;
    const auto data_at = s.find("<AppendedData encoding=\"raw\">\n   _");
    ASSERT_NE(data_at, std::string::npos);
    const std::string appended = s.substr(s.find('_', data_at) + 1);
    const std::regex array("<DataArray type=\"(\\w+)\" Name=\"([^\"]*)\" NumberOfComponents=\"(\\d)\" "
                           "format=\"appended\" offset=\"(\\d+)\"/>");
    std::map<std::string, std::string> arrays;
    std::vector<std::string> lists; // the scalar arrays, in order
    for (auto it = std::sregex_iterator(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(data_at), array);
         it != std::sregex_iterator(); ++it) {
        arrays[(*it)[2]] = inflate_array(appended, std::stoul((*it)[4]));
        if ((*it)[1] == "Float64" && (*it)[3] == "1") lists.push_back((*it)[2]);
    }
    ASSERT_EQ(lists.size(), static_cast<std::size_t>(m.nlista));
    // Names of native files are Latin-1; XML wants UTF-8.
    EXPECT_NE(s.find("Tens\xC3\xA3o Sx - passo 1"), std::string::npos);
    ASSERT_GE(arrays.size(), static_cast<std::size_t>(m.nlista) + 4); // lists, points, 3 cell arrays
    const auto doubles = [](const std::string& b) {
        std::vector<double> v(b.size() / 8);
        std::memcpy(v.data(), b.data(), b.size());
        return v;
    };
    const auto points = doubles(arrays["Points"]);
    ASSERT_EQ(points.size(), 3u * m.nnode);
    for (int i = 1; i <= m.nnode; ++i)
        for (int d = 0; d < 3; ++d)
            EXPECT_EQ(points[3 * (i - 1) + d], m.coord(i, 1 + d));
    for (int k = 1; k <= m.nlista; ++k) {
        const auto v = doubles(arrays[lists[k - 1]]);
        ASSERT_EQ(v.size(), static_cast<std::size_t>(m.nnode)) << m.namelista[k];
        for (int i = 1; i <= m.nnode; ++i)
            EXPECT_EQ(v[i - 1], m.listas(i, k));
    }
    EXPECT_EQ(arrays["types"].size(), static_cast<std::size_t>(m.nelem));
    EXPECT_EQ(arrays["offsets"].size(), 8u * m.nelem);
}

} // namespace
