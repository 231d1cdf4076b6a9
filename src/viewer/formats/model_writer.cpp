#include "viewer/formats/model_writer.h"

#include "viewer/formats/import_mesh.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <zlib.h>

namespace orv {
namespace {

using input::base_name; // the one helper of every reader

void put_real(std::string& out, double v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void put_int(std::string& out, std::int64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

// Coordinates and displacements are finite in every model; values may be
// NaN (no value, read from an imported file), which a .vtu keeps and the
// native format, whose numbers are all finite, cannot hold.
// The lowest node at fault is named, and at one node a coordinate or
// displacement before a value; lists are read one at a time.
void check_finite(const ResultModel& m, bool values) {
    const auto nnode = static_cast<std::size_t>(m.nnode);
    std::size_t bad_coord = nnode + 1, bad_value = nnode + 1;
    int bad_list = 0;
    for (std::size_t i = 1; i <= nnode && bad_coord > nnode; ++i)
        for (std::size_t j = 1; j < m.coord_cols(); ++j)
            if (!std::isfinite(m.coord(i, j))) bad_coord = i;
    for (int k = 1; k <= m.nlista; ++k) {
        const DisplacementValues d = m.displacement(k);
        for (std::size_t i = 1; i < std::min(bad_coord, d.size() / 3); ++i)
            if (!std::isfinite(d[3 * i]) || !std::isfinite(d[3 * i + 1]) || !std::isfinite(d[3 * i + 2]))
                bad_coord = i;
        if (!values) continue;
        const ListValues v = m.values(k);
        for (std::size_t i = 1; i < bad_value && i <= nnode; ++i)
            if (!std::isfinite(v[i])) {
                bad_value = i;
                bad_list = k;
            }
    }
    if (bad_coord <= nnode && bad_coord <= bad_value)
        throw ModelWriteError("node " + std::to_string(bad_coord) +
                              " has a coordinate or displacement that is not a finite number");
    if (bad_value <= nnode)
        throw ModelWriteError("result list " + std::to_string(bad_list) + " has no value at node " +
                              std::to_string(bad_value) +
                              " (a number that is not finite), which the native format cannot hold; "
                              "write a .vtu instead");
}

// A name as one line: line breaks become blanks, and a name that would start
// with '#' (a marker line) gets a blank in front.
std::string name_line(const std::string& name) {
    std::string s = name;
    for (char& c : s)
        if (c == '\n' || c == '\r') c = ' ';
    if (!s.empty() && s[0] == '#') s.insert(s.begin(), ' ');
    return s;
}

// Valid UTF-8 stays; anything else is taken as Latin-1, the code page of
// native files, and re-encoded; then escaped for an XML attribute.
std::string xml_attribute(const std::string& s) {
    bool utf8 = true;
    for (std::size_t k = 0; k < s.size() && utf8;) {
        const auto c = static_cast<unsigned char>(s[k]);
        const std::size_t extra = c < 0x80             ? 0
                                  : (c & 0xE0) == 0xC0 ? 1
                                  : (c & 0xF0) == 0xE0 ? 2
                                  : (c & 0xF8) == 0xF0 ? 3
                                                       : 9;
        if (extra == 9 || k + extra >= s.size() + (extra == 0 ? 1 : 0)) {
            utf8 = false;
            break;
        }
        for (std::size_t e = 1; e <= extra; ++e)
            utf8 = utf8 && (static_cast<unsigned char>(s[k + e]) & 0xC0) == 0x80;
        k += 1 + extra;
    }
    std::string text;
    if (utf8) {
        text = s;
    } else {
        for (const char ch : s) {
            const auto c = static_cast<unsigned char>(ch);
            if (c < 0x80) {
                text += ch;
            } else {
                text += static_cast<char>(0xC0 | (c >> 6));
                text += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
    }
    std::string out;
    for (const char ch : text) {
        switch (ch) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            if (static_cast<unsigned char>(ch) < 32)
                out += ' ';
            else
                out += ch;
        }
    }
    return out;
}

// One appended array: the 64-bit zlib header ([blocks][block size][last
// partial block size][compressed size of each block]) and the blocks.
void append_compressed(std::string& out, const void* data, std::size_t size) {
    constexpr std::size_t kBlock = 1 << 16;
    const std::size_t blocks = (size + kBlock - 1) / kBlock;
    std::vector<std::uint64_t> header{blocks, kBlock, size % kBlock};
    std::string body;
    const auto* p = static_cast<const Bytef*>(data);
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t len = std::min(kBlock, size - b * kBlock);
        uLongf dest = compressBound(static_cast<uLong>(len));
        const std::size_t at = body.size();
        body.resize(at + dest);
        if (compress2(reinterpret_cast<Bytef*>(body.data() + at), &dest, p + b * kBlock,
                      static_cast<uLong>(len), Z_DEFAULT_COMPRESSION) != Z_OK)
            throw ModelWriteError("zlib could not compress the data");
        body.resize(at + dest);
        header.push_back(dest);
    }
    out.append(reinterpret_cast<const char*>(header.data()), header.size() * sizeof(std::uint64_t));
    out += body;
}

} // namespace

std::string native_text_of(const ResultModel& m) {
    check_finite(m, true);
    std::string out;
    out.reserve(static_cast<std::size_t>(m.nnode + 1) * (6 + 4 * static_cast<std::size_t>(m.nlista)) * 12);
    out += "Orvanel: " + name_line(base_name(m.namefile)) + "\n#\n";
    put_int(out, m.nnode);
    out += ' ';
    put_int(out, m.nelem);
    out += "\n#\n";
    for (std::int64_t i = 1; i <= m.nnode; ++i) {
        for (std::size_t j = 1; j <= 6; ++j) {
            if (j > 1) out += ' ';
            put_real(out, m.coord(static_cast<std::size_t>(i), j));
        }
        out += '\n';
    }
    out += "#\n";
    for (std::int64_t e = 1; e <= m.nelem; ++e) {
        const auto row = m.conec(static_cast<std::size_t>(e));
        const std::int32_t code = row[0];
        const std::int32_t family = code / 100;
        put_int(out, family);
        out += ' ';
        put_int(out, code - 100 * family);
        for (std::size_t k = 1; k < row.size(); ++k) {
            out += ' ';
            put_int(out, row[k]);
        }
        out += '\n';
    }
    for (std::int64_t k = 1; k <= m.nlista; ++k) {
        out += "#\n" + name_line(m.namelista[static_cast<std::size_t>(k)]) + "\n";
        const ListValues values = m.values(static_cast<int>(k));
        const DisplacementValues d = m.displacement(static_cast<int>(k));
        for (std::size_t i = 1; i <= static_cast<std::size_t>(m.nnode); ++i) {
            for (std::size_t j = 0; j < 3; ++j) {
                put_real(out, d.empty() ? 0.0 : d[3 * i + j]);
                out += ' ';
            }
            put_real(out, values[i]);
            out += '\n';
        }
    }
    return out;
}

bool numbered_in_order(const ResultModel& m) {
    for (std::int32_t i = 1; i <= m.nnode; ++i)
        if (m.node_label(static_cast<std::size_t>(i)) != i) return false;
    for (std::int32_t e = 1; e <= m.nelem; ++e)
        if (m.element_label(static_cast<std::size_t>(e)) != e) return false;
    return true;
}

VtuBytes vtu_of(const ResultModel& m) {
    static_assert(std::endian::native == std::endian::little, "the .vtu says LittleEndian");
    check_finite(m, false);
    VtuBytes result;
    const std::size_t nnode = static_cast<std::size_t>(m.nnode);

    // Cells.
    std::vector<std::int64_t> connectivity, offsets;
    std::vector<std::uint8_t> types;
    std::vector<std::int64_t> cell_labels; // the kept elements' labels
    std::int64_t skipped = 0;
    for (std::int64_t e = 1; e <= m.nelem; ++e) {
        const auto row = m.conec(static_cast<std::size_t>(e));
        const ElementType t = decode_element(row[0]);
        const std::vector<int> order = vtk_node_order(t.family, t.order);
        if (order.empty() || order.size() + 1 != row.size()) {
            ++skipped;
            continue;
        }
        const std::size_t at = connectivity.size();
        connectivity.resize(at + order.size());
        for (std::size_t k = 0; k < order.size(); ++k)
            connectivity[at + static_cast<std::size_t>(order[k])] = row[k + 1] - 1;
        offsets.push_back(static_cast<std::int64_t>(connectivity.size()));
        cell_labels.push_back(m.element_label(static_cast<std::size_t>(e)));
        const bool linear = t.order == 1;
        types.push_back(t.family == 1   ? (linear ? vtk_line : vtk_lagrange_curve)
                        : t.family == 2 ? (linear ? vtk_triangle : vtk_lagrange_triangle)
                                        : (linear ? vtk_quad : vtk_lagrange_quadrilateral));
    }
    if (skipped)
        result.warnings.push_back(
            std::to_string(skipped) +
            " elements of a family or order VTK cannot hold are left out of the .vtu file.");

    // Displacements: one array when all lists share theirs.
    const std::size_t nlista = static_cast<std::size_t>(m.nlista);
    const auto same_displacement = [&](std::size_t k, std::size_t l) {
        const auto a = static_cast<int>(k), b = static_cast<int>(l);
        if (m.store->displacement_ref(a) == m.store->displacement_ref(b) &&
            m.store->displacement_ref(a).kind != DisplacementRef::Kind::own)
            return true; // one block
        const DisplacementValues x = m.displacement(a), y = m.displacement(b);
        for (std::size_t i = 3; i < 3 * (nnode + 1); ++i)
            if ((x.empty() ? 0.0 : x[i]) != (y.empty() ? 0.0 : y[i])) return false;
        return true;
    };
    const auto displaced = [&](std::size_t k) {
        const DisplacementValues d = m.displacement(static_cast<int>(k));
        for (std::size_t i = 3; i < d.size(); ++i)
            if (d[i] != 0) return true;
        return false;
    };
    bool shared = true;
    bool any = false;
    for (std::size_t k = 1; k <= nlista; ++k) {
        any = any || displaced(k);
        shared = shared && same_displacement(k, 1);
    }
    // Lists of an imported model end with their step (" - passo N"). When
    // every list does and the lists of each step share one displacement,
    // the arrays keep those names and each step's displacement goes as one
    // array "deslocamento - passo N", which the .vtu reader takes back as
    // that step's: the file reopens with the same lists, steps and
    // deformed shapes.
    std::vector<std::size_t> step_first; // per list: the first list of its step
    std::vector<std::string> step_suffix_of(nlista + 1);
    if (any) {
        bool by_step = true;
        for (std::size_t k = 1; k <= nlista && by_step; ++k) {
            const auto st = step_of_name(m.namelista[k]);
            by_step = st.has_value();
            if (by_step) step_suffix_of[k] = step_suffix(st->step, st->time);
        }
        if (by_step) {
            step_first.assign(nlista + 1, 0);
            for (std::size_t k = 1; k <= nlista && by_step; ++k) {
                std::size_t first = k;
                for (std::size_t l = 1; l < k; ++l)
                    if (step_suffix_of[l] == step_suffix_of[k]) {
                        first = step_first[l];
                        break;
                    }
                step_first[k] = first;
                by_step = first == k || same_displacement(k, first);
            }
        }
        if (!by_step) step_first.clear();
    }

    struct Array {
        std::string name;
        int components;
        const char* type;
        std::string data;
    };
    std::vector<Array> point_arrays;
    const auto column = [&](auto value, int comps) {
        std::string data(nnode * static_cast<std::size_t>(comps) * sizeof(double), '\0');
        auto* d = reinterpret_cast<double*>(data.data());
        for (std::size_t i = 0; i < nnode; ++i)
            for (int c = 0; c < comps; ++c) {
                const double v = value(i + 1, c);
                std::memcpy(d + i * static_cast<std::size_t>(comps) + static_cast<std::size_t>(c), &v,
                            sizeof v);
            }
        return data;
    };
    const auto displacement_of = [&](std::size_t k) {
        const DisplacementValues d = m.displacement(static_cast<int>(k));
        return column(
            [&](std::size_t i, int c) { return d.empty() ? 0.0 : d[3 * i + static_cast<std::size_t>(c)]; },
            3);
    };
    for (std::size_t k = 1; k <= nlista; ++k) {
        const ListValues values = m.values(static_cast<int>(k));
        point_arrays.push_back(
            {m.namelista[k], 1, "Float64", column([&](std::size_t i, int) { return values[i]; }, 1)});
        if (!step_first.empty()) {
            if (step_first[k] == k && displaced(k))
                point_arrays.push_back(
                    {kDisplacementArray + step_suffix_of[k], 3, "Float64", displacement_of(k)});
        } else if (any && !shared)
            point_arrays.push_back({m.namelista[k] + " (deslocamento)", 3, "Float64", displacement_of(k)});
    }
    if (any && shared && step_first.empty())
        point_arrays.push_back({kDisplacementArray, 3, "Float64", displacement_of(1)});

    // Labels other than 1..n go as VTK's global id arrays, which our reader
    // takes back as labels and other VTK tools keep as integer arrays.
    const bool numbered = numbered_in_order(m);
    std::vector<std::int64_t> node_labels;
    if (!numbered)
        for (std::size_t i = 1; i <= nnode; ++i)
            node_labels.push_back(m.node_label(i));

    // The appended block and the XML that points into it.
    std::string appended;
    std::string xml;
    const auto data_array = [&](const std::string& name, const char* type, int comps, const void* data,
                                std::size_t size) {
        xml += "        <DataArray type=\"";
        xml += type;
        xml += "\"";
        if (!name.empty()) xml += " Name=\"" + xml_attribute(name) + "\"";
        xml += " NumberOfComponents=\"" + std::to_string(comps) + "\" format=\"appended\" offset=\"" +
               std::to_string(appended.size()) + "\"/>\n";
        append_compressed(appended, data, size);
    };
    xml += "<?xml version=\"1.0\"?>\n"
           "<VTKFile type=\"UnstructuredGrid\" version=\"1.0\" byte_order=\"LittleEndian\" "
           "header_type=\"UInt64\" "
           "compressor=\"vtkZLibDataCompressor\">\n"
           "  <UnstructuredGrid>\n"
           "    <Piece NumberOfPoints=\"" +
           std::to_string(nnode) + "\" NumberOfCells=\"" + std::to_string(types.size()) + "\">\n";
    xml += "      <PointData>\n";
    for (const Array& a : point_arrays)
        data_array(a.name, a.type, a.components, a.data.data(), a.data.size());
    if (!numbered)
        data_array("GlobalNodeId", "Int64", 1, node_labels.data(), node_labels.size() * sizeof(std::int64_t));
    xml += "      </PointData>\n";
    if (!numbered) {
        xml += "      <CellData>\n";
        data_array("GlobalElementId", "Int64", 1, cell_labels.data(),
                   cell_labels.size() * sizeof(std::int64_t));
        xml += "      </CellData>\n";
    }
    xml += "      <Points>\n";
    const std::string points =
        column([&](std::size_t i, int c) { return m.coord(i, 1 + static_cast<std::size_t>(c)); }, 3);
    data_array("Points", "Float64", 3, points.data(), points.size());
    xml += "      </Points>\n      <Cells>\n";
    data_array("connectivity", "Int64", 1, connectivity.data(), connectivity.size() * sizeof(std::int64_t));
    data_array("offsets", "Int64", 1, offsets.data(), offsets.size() * sizeof(std::int64_t));
    data_array("types", "UInt8", 1, types.data(), types.size());
    xml += "      </Cells>\n    </Piece>\n  </UnstructuredGrid>\n  <AppendedData encoding=\"raw\">\n   _";
    result.bytes = std::move(xml);
    result.bytes += appended;
    result.bytes += "\n  </AppendedData>\n</VTKFile>\n";
    return result;
}

} // namespace orv
