// The benchmark plate of make_result_file as a VTK XML UnstructuredGrid:
// every array appended raw (UInt64 headers), or zlib-compressed in 64 KiB
// blocks. Node i of the grid, coordinates and values are those of the native
// file; each result list becomes one Float64 point array "Step k".
#include "plate_vtu.h"

#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kBlock = 1 << 16;

// One appended array: its bytes, and the block header VTK expects.
std::string block(const std::vector<char>& raw, bool zlib) {
    std::string out;
    auto word = [&](std::uint64_t v) { out.append(reinterpret_cast<const char*>(&v), 8); };
    if (!zlib) {
        word(raw.size());
        out.append(raw.data(), raw.size());
        return out;
    }
    const std::size_t blocks = (raw.size() + kBlock - 1) / kBlock;
    std::vector<std::uint64_t> sizes;
    std::string data;
    std::vector<unsigned char> buf(compressBound(kBlock));
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t n = std::min(kBlock, raw.size() - b * kBlock);
        uLongf len = buf.size();
        if (compress2(buf.data(), &len, reinterpret_cast<const Bytef*>(raw.data() + b * kBlock), n, 1) !=
            Z_OK) {
            std::fprintf(stderr, "zlib failed\n");
            std::exit(1);
        }
        sizes.push_back(len);
        data.append(reinterpret_cast<const char*>(buf.data()), len);
    }
    word(blocks);
    word(kBlock);
    word(raw.size() % kBlock);
    for (const auto s : sizes)
        word(s);
    return out + data;
}

template <class T> std::vector<char> bytes_of(const std::vector<T>& v) {
    const auto* p = reinterpret_cast<const char*>(v.data());
    return std::vector<char>(p, p + v.size() * sizeof(T));
}

} // namespace

int write_plate_vtu(const std::string& out, const std::string& kind, long nx, long ny, long lists,
                    bool zlib) {
    std::uint8_t type = 0;
    int per = 0;
    if (kind == "quad1") {
        type = 9, per = 4;
    } else if (kind == "tri1") {
        type = 5, per = 3;
    } else if (kind == "line1") {
        type = 3, per = 2;
    } else {
        std::fprintf(stderr, "--format vtu writes quad1, tri1 or line1 plates\n");
        return 2;
    }
    const long nnode = nx * ny;
    auto id = [&](long i, long j) { return static_cast<std::int64_t>(j * nx + i); };
    std::vector<std::int64_t> conn;
    for (long j = 0; j + 1 < ny || (kind == "line1" && j == 0); ++j)
        for (long i = 0; i + 1 < nx; ++i) {
            if (kind == "quad1") {
                conn.insert(conn.end(), {id(i, j), id(i + 1, j), id(i + 1, j + 1), id(i, j + 1)});
            } else if (kind == "tri1") {
                conn.insert(conn.end(), {id(i, j), id(i + 1, j), id(i, j + 1)});
                conn.insert(conn.end(), {id(i + 1, j + 1), id(i, j + 1), id(i + 1, j)});
            } else {
                conn.insert(conn.end(), {id(i, 0), id(i + 1, 0)});
            }
        }
    const std::size_t ncell = conn.size() / static_cast<std::size_t>(per);
    std::vector<std::int64_t> offsets(ncell);
    for (std::size_t c = 0; c < ncell; ++c)
        offsets[c] = static_cast<std::int64_t>((c + 1) * static_cast<std::size_t>(per));
    const std::vector<std::uint8_t> types(ncell, type);
    std::vector<double> points(static_cast<std::size_t>(nnode) * 3);
    const double h = 1.0 / static_cast<double>(nx > 1 ? nx - 1 : 1);
    for (long j = 0; j < ny; ++j)
        for (long i = 0; i < nx; ++i) {
            points[3 * static_cast<std::size_t>(id(i, j))] = static_cast<double>(i) * h;
            points[3 * static_cast<std::size_t>(id(i, j)) + 1] = static_cast<double>(j) * h;
        }

    std::FILE* f = std::fopen(out.c_str(), "wb");
    if (!f) {
        std::perror(out.c_str());
        return 1;
    }
    std::string head = "<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\" version=\"1.0\" "
                       "byte_order=\"LittleEndian\" header_type=\"UInt64\"";
    if (zlib) head += " compressor=\"vtkZLibDataCompressor\"";
    head += ">\n<UnstructuredGrid>\n<Piece NumberOfPoints=\"" + std::to_string(nnode) +
            "\" NumberOfCells=\"" + std::to_string(ncell) + "\">\n<PointData>\n";
    std::vector<std::string> blocks;
    std::uint64_t offset = 0;
    auto array = [&](const std::string& attrs, std::string&& b) {
        head += "<DataArray " + attrs + " format=\"appended\" offset=\"" + std::to_string(offset) + "\"/>\n";
        offset += b.size();
        blocks.push_back(std::move(b));
    };
    for (long k = 1; k <= lists; ++k) {
        const double load = static_cast<double>(k) / static_cast<double>(lists);
        std::vector<double> v(static_cast<std::size_t>(nnode));
        for (long j = 0; j < ny; ++j)
            for (long i = 0; i < nx; ++i) {
                const double x = static_cast<double>(i) / static_cast<double>(nx);
                const double y = static_cast<double>(j) / static_cast<double>(ny);
                v[static_cast<std::size_t>(id(i, j))] =
                    100.0 * load * (std::cos(6.0 * x) + std::sin(5.0 * y));
            }
        array("type=\"Float64\" Name=\"Step " + std::to_string(k) + "\"", block(bytes_of(v), zlib));
    }
    head += "</PointData>\n<Points>\n";
    array("type=\"Float64\" NumberOfComponents=\"3\"", block(bytes_of(points), zlib));
    head += "</Points>\n<Cells>\n";
    array("type=\"Int64\" Name=\"connectivity\"", block(bytes_of(conn), zlib));
    array("type=\"Int64\" Name=\"offsets\"", block(bytes_of(offsets), zlib));
    array("type=\"UInt8\" Name=\"types\"", block(bytes_of(types), zlib));
    head += "</Cells>\n</Piece>\n</UnstructuredGrid>\n<AppendedData encoding=\"raw\">\n_";
    bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size();
    for (const auto& b : blocks)
        ok = ok && std::fwrite(b.data(), 1, b.size(), f) == b.size();
    const std::string tail = "\n</AppendedData>\n</VTKFile>\n";
    ok = ok && std::fwrite(tail.data(), 1, tail.size(), f) == tail.size();
    if (std::fclose(f) != 0 || !ok) {
        std::perror(out.c_str());
        return 1;
    }
    std::printf("%s: %ld nodes, %zu cells (%s), %ld point arrays, %s\n", out.c_str(), nnode, ncell,
                kind.c_str(), lists, zlib ? "zlib" : "raw");
    return 0;
}
