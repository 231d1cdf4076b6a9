#include "viewer/view/volume_section.h"

#include "viewer/view/node_access.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace orv {

namespace {

// The sub-division lattice of one cell: integer points (a, b, c) in
// 0..n, each with the cell parameters it stands for, its placed position,
// its distance to the plane and the cell faces it lies on (bits).
struct Lattice {
    int n = 1;
    VolumeType type = VolumeType::none;
    std::vector<Local3> local;
    std::vector<Point3> at;
    std::vector<double> dist;
    std::vector<unsigned> faces;
    std::vector<char> ready;

    int index(int a, int b, int c) const { return a + (n + 1) * (b + (n + 1) * c); }
};

// Tetrahedra of a tetrahedron and a wedge come from the Freudenthal
// division of the cube of (a, b, c) restricted to a >= b >= c (tetrahedron:
// r = a - b, s = b - c, t = c) or a >= b (wedge: r = a - b, s = b, t = c).
bool kept(VolumeType type, int a, int b, int c) {
    switch (type) {
    case VolumeType::tetra4:
    case VolumeType::tetra10:
        return a >= b && b >= c;
    case VolumeType::wedge6:
    case VolumeType::wedge15:
    case VolumeType::wedge18:
        return a >= b;
    default:
        return true;
    }
}

Local3 local_of(VolumeType type, int n, int a, int b, int c) {
    const double h = 1.0 / n;
    switch (type) {
    case VolumeType::tetra4:
    case VolumeType::tetra10:
        return {(a - b) * h, (b - c) * h, c * h};
    case VolumeType::wedge6:
    case VolumeType::wedge15:
    case VolumeType::wedge18:
        return {(a - b) * h, b * h, c * h};
    default:
        return {a * h, b * h, c * h};
    }
}

unsigned faces_of(VolumeType type, int n, int a, int b, int c) {
    unsigned f = 0;
    const auto bit = [&f](bool on, unsigned b) {
        if (on) f |= b;
    };
    switch (type) {
    case VolumeType::tetra4:
    case VolumeType::tetra10:
        bit(a == b, 1);
        bit(b == c, 2);
        bit(c == 0, 4);
        bit(a == n, 8);
        break;
    case VolumeType::wedge6:
    case VolumeType::wedge15:
    case VolumeType::wedge18:
        bit(a == b, 1);
        bit(b == 0, 2);
        bit(a == n, 4);
        bit(c == 0, 8);
        bit(c == n, 16);
        break;
    default:
        bit(a == 0, 1);
        bit(a == n, 2);
        bit(b == 0, 4);
        bit(b == n, 8);
        bit(c == 0, 16);
        bit(c == n, 32);
        break;
    }
    return f;
}

Point3 lerp(const Point3& p, const Point3& q, double t) {
    return {p.x + t * (q.x - p.x), p.y + t * (q.y - p.y), p.z + t * (q.z - p.z)};
}

// Cuts cells, keeping the scratch of one cell for the next.
class Cutter {
  public:
    Cutter(const ResultModel& m, const CutPlane& plane, const NodePlacement& place, int list,
           SectionSink& sink)
        : m_(m), plane_(plane), place_(place), values_(values_of(m, list)), sink_(sink) {
        if (place_.deformed && (place_.selector < 0 || place_.selector > 3 * m.nlista)) place_.selector = 0;
    }

    void cell(std::size_t c) {
        const VolumeCells& v = m_.volumes;
        const VolumeType type = v.types[c];
        const std::int64_t count = v.node_count(c);
        if (!shape_ || shape_->type != type || shape_->count != count) shape_ = volume_shape(type, count);
        if (!shape_) return;
        const std::int32_t* nodes = v.nodes_of(c);
        pos_.resize(static_cast<std::size_t>(count));
        bool pos = false, neg = false;
        for (std::int64_t i = 0; i < count; ++i) {
            pos_[static_cast<std::size_t>(i)] = placed_.at(nodes[i]);
            (plane_.distance(pos_[static_cast<std::size_t>(i)]) > 0 ? pos : neg) = true;
        }
        if (!pos || !neg) return;
        vals_.resize(static_cast<std::size_t>(count));
        for (std::int64_t i = 0; i < count; ++i)
            vals_[static_cast<std::size_t>(i)] = values_[nodes[i]];
        cell_ = c;
        if (type == VolumeType::pyramid5 || type == VolumeType::pyramid13) {
            pyramid();
            return;
        }
        const int n = shape_->order;
        prepare(type, n);
        static constexpr int kPerm[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
        for (int cc = 0; cc < n; ++cc)
            for (int bb = 0; bb < n; ++bb)
                for (int aa = 0; aa < n; ++aa)
                    for (const auto& perm : kPerm) {
                        int p[3] = {aa, bb, cc};
                        int corner[4];
                        bool keep = true;
                        for (int k = 0; k < 4 && keep; ++k) {
                            if (k) ++p[perm[k - 1]];
                            keep = kept(type, p[0], p[1], p[2]);
                            corner[k] = lat_.index(p[0], p[1], p[2]);
                        }
                        if (!keep) continue;
                        tetrahedron(corner, [&](int q) { return point(q); });
                    }
    }

  private:
    void prepare(VolumeType type, int n) {
        lat_.n = n;
        lat_.type = type;
        const std::size_t size = static_cast<std::size_t>((n + 1) * (n + 1) * (n + 1));
        lat_.local.resize(size);
        lat_.at.resize(size);
        lat_.dist.resize(size);
        lat_.faces.resize(size);
        lat_.ready.assign(size, 0);
    }

    // Lattice point q placed by the shape functions, on first use.
    int point(int q) {
        if (lat_.ready[static_cast<std::size_t>(q)]) return q;
        const int n = lat_.n;
        const int a = q % (n + 1), b = (q / (n + 1)) % (n + 1), c = q / ((n + 1) * (n + 1));
        const Local3 l = local_of(lat_.type, n, a, b, c);
        double f[VolumeShape::kMaxNodes];
        shape_->values(l, f);
        Point3 x{};
        for (int i = 0; i < shape_->count; ++i) {
            const Point3& p = pos_[static_cast<std::size_t>(i)];
            x.x += f[i] * p.x;
            x.y += f[i] * p.y;
            x.z += f[i] * p.z;
        }
        const auto s = static_cast<std::size_t>(q);
        lat_.local[s] = l;
        lat_.at[s] = x;
        lat_.dist[s] = plane_.distance(x);
        lat_.faces[s] = faces_of(lat_.type, n, a, b, c);
        lat_.ready[s] = 1;
        return q;
    }

    // A pyramid: its five corners, the base split along 0-2.
    void pyramid() {
        lat_.n = 1;
        lat_.type = VolumeType::pyramid5;
        static constexpr unsigned kFaces[5] = {1 | 2 | 16, 1 | 2 | 4, 1 | 4 | 8, 1 | 8 | 16, 2 | 4 | 8 | 16};
        lat_.local.assign(shape_->nodes.begin(), shape_->nodes.begin() + 5);
        lat_.at.assign(pos_.begin(), pos_.begin() + 5);
        lat_.dist.resize(5);
        lat_.faces.assign(kFaces, kFaces + 5);
        for (std::size_t i = 0; i < 5; ++i)
            lat_.dist[i] = plane_.distance(lat_.at[i]);
        const int first[4] = {0, 1, 2, 4}, second[4] = {0, 2, 3, 4};
        tetrahedron(first, [](int q) { return q; });
        tetrahedron(second, [](int q) { return q; });
    }

    // Cuts the straight tetrahedron of lattice points `corner`.
    template <class Place> void tetrahedron(const int* corner, Place&& place) {
        int above[4], below[4], na = 0, nb = 0;
        for (int k = 0; k < 4; ++k) {
            const int q = place(corner[k]);
            (lat_.dist[static_cast<std::size_t>(q)] > 0 ? above[na++] : below[nb++]) = q;
        }
        if (na == 0 || nb == 0) return;
        // The corners as edges (above, below), in order round the polygon.
        std::array<std::array<int, 2>, 4> edge{};
        int count = 0;
        if (na == 1) {
            for (int k = 0; k < 3; ++k)
                edge[static_cast<std::size_t>(count++)] = {above[0], below[k]};
        } else if (nb == 1) {
            for (int k = 0; k < 3; ++k)
                edge[static_cast<std::size_t>(count++)] = {above[k], below[0]};
        } else {
            edge = {{{above[0], below[0]}, {above[0], below[1]}, {above[1], below[1]}, {above[1], below[0]}}};
            count = 4;
        }
        // A corner on a lattice point on the plane is that point alone
        // (`edge` {b, b}); two such in a row are one corner.
        for (int k = 0; k < count; ++k) {
            auto& e = edge[static_cast<std::size_t>(k)];
            if (lat_.dist[static_cast<std::size_t>(e[1])] == 0) e[0] = e[1];
        }
        int kept = 0;
        for (int k = 0; k < count; ++k)
            if (kept == 0 || edge[static_cast<std::size_t>(k)] != edge[static_cast<std::size_t>(kept - 1)])
                edge[static_cast<std::size_t>(kept++)] = edge[static_cast<std::size_t>(k)];
        while (kept > 1 && edge[static_cast<std::size_t>(kept - 1)] == edge[0])
            --kept;
        count = kept;
        if (count < 3) return;
        SectionPiece piece;
        piece.cell = cell_;
        piece.count = count;
        for (int k = 0; k < count; ++k) {
            const auto a = static_cast<std::size_t>(edge[static_cast<std::size_t>(k)][0]),
                       b = static_cast<std::size_t>(edge[static_cast<std::size_t>(k)][1]);
            const double t = a == b ? 0 : lat_.dist[a] / (lat_.dist[a] - lat_.dist[b]);
            SectionVertex& v = piece.v[k];
            v.at = lerp(lat_.at[a], lat_.at[b], t);
            for (std::size_t d = 0; d < 3; ++d)
                v.local[d] = lat_.local[a][d] + t * (lat_.local[b][d] - lat_.local[a][d]);
        }
        // Counter-clockwise seen from the positive side; nothing for a
        // piece without area.
        const Point3 &p0 = piece.v[0].at, &p1 = piece.v[1].at, &p2 = piece.v[2].at,
                     &p3 = piece.v[count == 4 ? 3 : 0].at;
        const Point3 u = count == 4 ? Point3{p2.x - p0.x, p2.y - p0.y, p2.z - p0.z}
                                    : Point3{p1.x - p0.x, p1.y - p0.y, p1.z - p0.z};
        const Point3 w = count == 4 ? Point3{p3.x - p1.x, p3.y - p1.y, p3.z - p1.z}
                                    : Point3{p2.x - p0.x, p2.y - p0.y, p2.z - p0.z};
        const Point3 cross{u.y * w.z - u.z * w.y, u.z * w.x - u.x * w.z, u.x * w.y - u.y * w.x};
        const double turn = cross.x * plane_.normal.x + cross.y * plane_.normal.y + cross.z * plane_.normal.z;
        if (turn == 0 || !std::isfinite(turn)) return;
        if (turn < 0) {
            std::reverse(piece.v + 1, piece.v + count);
            std::reverse(edge.begin() + 1, edge.begin() + count);
        }
        // An edge of the piece lies on a face of the cell when the lattice
        // points it runs between all lie on that face.
        for (int k = 0; k < count; ++k) {
            const auto& e = edge[static_cast<std::size_t>(k)];
            const auto& f = edge[static_cast<std::size_t>((k + 1) % count)];
            const unsigned on =
                lat_.faces[static_cast<std::size_t>(e[0])] & lat_.faces[static_cast<std::size_t>(e[1])] &
                lat_.faces[static_cast<std::size_t>(f[0])] & lat_.faces[static_cast<std::size_t>(f[1])];
            piece.on_boundary[k] = on != 0;
            SectionVertex& v = piece.v[k];
            v.value = shape_->interpolate(v.local, [&](int i) { return vals_[static_cast<std::size_t>(i)]; });
        }
        sink_.piece(piece);
    }

    const ResultModel& m_;
    CutPlane plane_;
    NodePlacement place_;
    PlacedNodes placed_{m_, place_};
    NodeValues values_;
    SectionSink& sink_;
    const VolumeShape* shape_ = nullptr;
    std::size_t cell_ = 0;
    std::vector<Point3> pos_;
    std::vector<double> vals_;
    Lattice lat_;
};

} // namespace

void section_of_cell(const ResultModel& m, std::size_t cell, const CutPlane& plane,
                     const NodePlacement& place, int list, SectionSink& sink) {
    if (cell >= m.volumes.size()) return;
    Cutter(m, plane, place, list, sink).cell(cell);
}

void section_of_volumes(const ResultModel& m, const CutPlane& plane, const NodePlacement& place, int list,
                        SectionSink& sink) {
    Cutter cut(m, plane, place, list, sink);
    for (std::size_t c = 0; c < m.volumes.size(); ++c)
        cut.cell(c);
}

void section_bands(const SectionPiece& piece, const BandCutter& cutter, BandSink& sink) {
    for (int k = 1; k + 1 < piece.count; ++k) {
        const Point3 p[3] = {piece.v[0].at, piece.v[k].at, piece.v[k + 1].at};
        const double q[3] = {piece.v[0].value, piece.v[k].value, piece.v[k + 1].value};
        cutter.triangle(p, q, sink);
    }
}

} // namespace orv
