#include "viewer/model/volume_cells.h"

namespace orv {

namespace {

using P = std::array<double, 3>;
using Pairs = std::vector<std::array<int, 2>>;

const std::vector<P> kTet = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
const std::vector<P> kHex = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                             {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
const std::vector<P> kWedge = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {0, 1, 1}};
const std::vector<P> kPyramid = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.5, 0.5, 1}};

// VTK's edge order of the quadratic cells: mid-edge nodes follow the corners in it.
const Pairs kTetEdges = {{0, 1}, {1, 2}, {2, 0}, {0, 3}, {1, 3}, {2, 3}};
const Pairs kHexEdges = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                         {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
const Pairs kWedgeEdges = {{0, 1}, {1, 2}, {2, 0}, {3, 4}, {4, 5}, {5, 3}, {0, 3}, {1, 4}, {2, 5}};
const Pairs kPyramidEdges = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {0, 4}, {1, 4}, {2, 4}, {3, 4}};

std::vector<P> with_midpoints(std::vector<P> pts, const Pairs& edges) {
    for (const auto& e : edges) {
        const P& a = pts[static_cast<std::size_t>(e[0])];
        const P& b = pts[static_cast<std::size_t>(e[1])];
        pts.push_back({(a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2});
    }
    return pts;
}

} // namespace

int lagrange_hexa_order(std::int64_t count) {
    for (std::int64_t p = 1; p <= 99; ++p) {
        const std::int64_t c = (p + 1) * (p + 1) * (p + 1);
        if (c == count) return static_cast<int>(p);
        if (c > count) break;
    }
    return 0;
}

int lagrange_hex_index(int i, int j, int k, int p) {
    const bool ib = i == 0 || i == p, jb = j == 0 || j == p, kb = k == 0 || k == p;
    const int nb = ib + jb + kb;
    const int q = p - 1;
    if (nb == 3) return (i ? (j ? 2 : 1) : (j ? 3 : 0)) + (k ? 4 : 0);
    int offset = 8;
    if (nb == 2) {
        if (!ib) return (i - 1) + (j ? 2 * q : 0) + (k ? 4 * q : 0) + offset;
        if (!jb) return (j - 1) + (i ? q : 3 * q) + (k ? 4 * q : 0) + offset;
        offset += 8 * q;
        return (k - 1) + q * (i ? (j ? 2 : 1) : (j ? 3 : 0)) + offset;
    }
    offset += 12 * q;
    if (nb == 1) {
        if (ib) return (j - 1) + q * (k - 1) + (i ? q * q : 0) + offset;
        offset += 2 * q * q;
        if (jb) return (i - 1) + q * (k - 1) + (j ? q * q : 0) + offset;
        offset += 2 * q * q;
        return (i - 1) + q * (j - 1) + (k ? q * q : 0) + offset;
    }
    offset += 6 * q * q;
    return offset + (i - 1) + q * ((j - 1) + q * (k - 1));
}

int volume_order(VolumeType type, std::int64_t count) {
    switch (type) {
    case VolumeType::tetra4:
    case VolumeType::hexa8:
    case VolumeType::wedge6:
    case VolumeType::pyramid5:
    case VolumeType::pyramid13:
        return 1;
    case VolumeType::tetra10:
    case VolumeType::hexa20:
    case VolumeType::wedge15:
    case VolumeType::wedge18:
        return 2;
    case VolumeType::hexa_lagrange:
        return lagrange_hexa_order(count);
    default:
        return 0;
    }
}

std::vector<std::array<double, 3>> reference_nodes(VolumeType type, std::int64_t count) {
    std::vector<P> pts;
    switch (type) {
    case VolumeType::tetra4:
        pts = kTet;
        break;
    case VolumeType::tetra10:
        pts = with_midpoints(kTet, kTetEdges);
        break;
    case VolumeType::hexa8:
        pts = kHex;
        break;
    case VolumeType::hexa20:
        pts = with_midpoints(kHex, kHexEdges);
        break;
    case VolumeType::hexa_lagrange: {
        const int p = lagrange_hexa_order(count);
        if (!p) return {};
        pts.assign(static_cast<std::size_t>(count), P{});
        for (int k = 0; k <= p; ++k)
            for (int j = 0; j <= p; ++j)
                for (int i = 0; i <= p; ++i)
                    pts[static_cast<std::size_t>(lagrange_hex_index(i, j, k, p))] = {
                        double(i) / p, double(j) / p, double(k) / p};
        break;
    }
    case VolumeType::wedge6:
        pts = kWedge;
        break;
    case VolumeType::wedge15:
        pts = with_midpoints(kWedge, kWedgeEdges);
        break;
    case VolumeType::wedge18:
        pts = with_midpoints(kWedge, kWedgeEdges);
        pts.push_back({0.5, 0, 0.5});
        pts.push_back({0.5, 0.5, 0.5});
        pts.push_back({0, 0.5, 0.5});
        break;
    case VolumeType::pyramid5:
        pts = kPyramid;
        break;
    case VolumeType::pyramid13:
        pts = with_midpoints(kPyramid, kPyramidEdges);
        break;
    default:
        return {};
    }
    if (static_cast<std::int64_t>(pts.size()) != count) return {};
    return pts;
}

} // namespace orv
