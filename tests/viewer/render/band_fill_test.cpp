#include "viewer/render/band_fill.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace orv {
namespace {

struct Piece {
    int band;
    std::vector<Point3> pts;
};

struct RecordingSink : BandSink {
    std::vector<Piece> pieces;
    void piece(int band, const Point3* pts, int count) override {
        pieces.push_back({band, std::vector<Point3>(pts, pts + count)});
    }
};

constexpr double tol = 1e-12;

bool near(const Point3& a, const Point3& b, double eps = 1e-12) {
    return std::abs(a.x - b.x) <= eps && std::abs(a.y - b.y) <= eps && std::abs(a.z - b.z) <= eps;
}

std::string show(const Point3& p) {
    return "(" + std::to_string(p.x) + "," + std::to_string(p.y) + "," + std::to_string(p.z) + ")";
}

void expect_piece(const Piece& got, int band, std::initializer_list<Point3> pts, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(got.band, band);
    ASSERT_EQ(got.pts.size(), pts.size());
    int i = 0;
    for (const Point3& p : pts) {
        EXPECT_TRUE(near(got.pts[i], p)) << "point " << i << ": " << show(got.pts[i]) << " want " << show(p);
        ++i;
    }
}

Point3 cross(const Point3& a, const Point3& b, const Point3& c) {
    const Point3 u{b.x - a.x, b.y - a.y, b.z - a.z}, v{c.x - a.x, c.y - a.y, c.z - a.z};
    return {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
}
double norm(const Point3& v) {
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}
double dot(const Point3& a, const Point3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// A triangle not in a coordinate plane, so that every coordinate is checked.
const Point3 P1{0, 0, 0}, P2{2, 0, 1}, P3{0, 2, -1};
const Point3 tri[3] = {P1, P2, P3};

Point3 mid(const Point3& a, const Point3& b) {
    return {(a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2};
}
Point3 along(const Point3& a, const Point3& b, double t) {
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
}

std::vector<Piece> cut(const double (&q)[3], double lo = 0, double hi = 9) {
    RecordingSink sink;
    band_triangle(tri, q, lo, hi, sink);
    return sink.pieces;
}

std::vector<int> bands(const std::vector<Piece>& pieces) {
    std::vector<int> out;
    for (const Piece& p : pieces)
        out.push_back(p.band);
    return out;
}

TEST(EdgePoint, ShapeFunctions) {
    const Point3 a{1, 2, 3}, b{5, -2, 7};
    EXPECT_EQ(edge_point(a, b, -1), a);
    EXPECT_EQ(edge_point(a, b, 1), b);
    EXPECT_EQ(edge_point(a, b, 0), (Point3{3, 0, 5}));
    EXPECT_EQ(edge_point(a, b, -0.5), (Point3{2, 1, 4}));
}

TEST(BandTriangle, OneBand) {
    const auto pieces = cut({0.2, 0.5, 0.9});
    ASSERT_EQ(pieces.size(), 1u);
    expect_piece(pieces[0], 2, {P1, P2, P3}, "whole triangle, red");
}

TEST(BandTriangle, OneLimitAcrossTwoEdges) {
    const auto pieces = cut({0.5, 1.5, 0.5});
    const Point3 m12 = mid(P1, P2), m23 = mid(P2, P3);
    ASSERT_EQ(pieces.size(), 3u);
    expect_piece(pieces[0], 2, {P1, m12, P3}, "first corner piece");
    expect_piece(pieces[1], 2, {P3, m12, m23}, "second corner piece");
    expect_piece(pieces[2], 3, {P2, m23, m12}, "orange corner");
}

TEST(BandTriangle, StripAndCorners) {
    const auto pieces = cut({0.5, 3.5, 0.5});
    EXPECT_EQ(bands(pieces), (std::vector<int>{3, 3, 4, 4, 2, 2, 5}));
    ASSERT_EQ(pieces.size(), 7u);
    // S: limits 1, 2, 3 on edge 1 (a sixth, half, five sixths along it), then 3, 2, 1 on edge 2.
    const Point3 s1 = along(P1, P2, 1 / 6.0), s2 = along(P1, P2, 0.5), s3 = along(P1, P2, 5 / 6.0);
    const Point3 s4 = along(P2, P3, 1 / 6.0), s5 = along(P2, P3, 0.5), s6 = along(P2, P3, 5 / 6.0);
    expect_piece(pieces[0], 3, {s1, s2, s6}, "strip k=1 a");
    expect_piece(pieces[1], 3, {s2, s5, s6}, "strip k=1 b");
    expect_piece(pieces[2], 4, {s2, s3, s5}, "strip k=2 a");
    expect_piece(pieces[3], 4, {s3, s4, s5}, "strip k=2 b");
    expect_piece(pieces[4], 2, {P1, s1, P3}, "d3 = 0 first");
    expect_piece(pieces[5], 2, {P3, s1, s6}, "d3 = 0 second");
    expect_piece(pieces[6], 5, {P2, s4, s3}, "d3 = 0 third");
}

// The two other single-zero cases and the all-edges case, with the corner
// pieces of each in table order.
TEST(BandTriangle, CornerCases) {
    { // d2 = 0: bands 2, 3, 3.
        const auto p = cut({0.5, 1.5, 1.5});
        ASSERT_EQ(p.size(), 3u);
        const Point3 e1 = mid(P1, P2), e3 = mid(P3, P1);
        expect_piece(p[0], 3, {P3, e1, P2}, "d2=0 first");
        expect_piece(p[1], 3, {P3, e3, e1}, "d2=0 second");
        expect_piece(p[2], 2, {P1, e1, e3}, "d2=0 third");
    }
    { // d1 = 0: bands 3, 3, 2.
        const auto p = cut({1.5, 1.5, 0.5});
        ASSERT_EQ(p.size(), 3u);
        const Point3 e2 = mid(P2, P3), e3 = mid(P3, P1);
        expect_piece(p[0], 3, {P2, e2, P1}, "d1=0 first");
        expect_piece(p[1], 3, {P1, e2, e3}, "d1=0 second");
        expect_piece(p[2], 2, {P3, e3, e2}, "d1=0 third");
    }
    { // No zero step: bands 2, 3, 4 -> crossings 1 on edge 1, 2 on edge 2, 2 and 1 on edge 3.
        const auto p = cut({0.5, 1.5, 2.5});
        ASSERT_EQ(p.size(), 5u);
        const Point3 a = mid(P1, P2), b = mid(P2, P3), c = along(P3, P1, 0.25), d = along(P3, P1, 0.75);
        expect_piece(p[0], 3, {a, b, d}, "strip a"); // limits 1, 2, 1
        expect_piece(p[1], 3, {b, c, d}, "strip b"); // limits 2, 2, 1 -> mean 5/3
        expect_piece(p[2], 2, {P1, a, d}, "corner 1");
        expect_piece(p[3], 3, {P2, b, a}, "corner 2");
        expect_piece(p[4], 4, {P3, c, b}, "corner 3");
    }
}

TEST(BandTriangle, CornerValuesOnLimits) {
    const auto pieces = cut({0, 5, 9});
    // 5 + 4 + 9 crossings: 16 strip pieces and 3 corner pieces.
    ASSERT_EQ(pieces.size(), 19u);
    EXPECT_EQ(pieces.back().band, 11); // the corner at P3 (value 9 = hi) is blue
    EXPECT_TRUE(near(pieces.back().pts[0], P3));
    int flat = 0;
    for (const Piece& p : pieces)
        flat += norm(cross(p.pts[0], p.pts[1], p.pts[2])) < tol;
    EXPECT_GE(flat, 2); // crossings on P2 and P3 leave empty pieces
}

TEST(BandTriangle, DegenerateRangeLoEqualsHi) {
    const auto pieces = cut({4, 6, 6}, 5, 5);
    ASSERT_EQ(pieces.size(), 18u + 3u);
    const Point3 m12 = mid(P1, P2), m31 = mid(P3, P1);
    for (std::size_t i = 0; i < 18; ++i) {
        EXPECT_LT(norm(cross(pieces[i].pts[0], pieces[i].pts[1], pieces[i].pts[2])), tol) << "strip " << i;
        EXPECT_EQ(band_color_row(pieces[i].band), 8);
    }
    expect_piece(pieces[18], 11, {P3, m12, P2}, "rest, first");
    expect_piece(pieces[19], 11, {P3, m31, m12}, "rest, second");
    expect_piece(pieces[20], 1, {P1, m12, m31}, "corner at P1, row 0");
}

TEST(BandTriangle, CornerOneBetweenTheOthers) {
    // Bands 3, 5, 1: corner 1 lies between; still a tiling.
    const auto pieces = cut({1.5, 3.5, -0.5});
    double area = 0;
    for (const Piece& p : pieces)
        area += norm(cross(p.pts[0], p.pts[1], p.pts[2])) / 2;
    EXPECT_NEAR(area, norm(cross(P1, P2, P3)) / 2, 1e-12);
}

// ----- Property test over random triangles and ranges -----

struct Field {
    Point3 p[3];
    double q[3];
    // Value at a point of the triangle's plane.
    double at(const Point3& x) const {
        const Point3 e1{p[1].x - p[0].x, p[1].y - p[0].y, p[1].z - p[0].z};
        const Point3 e2{p[2].x - p[0].x, p[2].y - p[0].y, p[2].z - p[0].z};
        const Point3 w{x.x - p[0].x, x.y - p[0].y, x.z - p[0].z};
        const double a11 = dot(e1, e1), a12 = dot(e1, e2), a22 = dot(e2, e2);
        const double r1 = dot(w, e1), r2 = dot(w, e2);
        const double det = a11 * a22 - a12 * a12;
        const double u = (r1 * a22 - r2 * a12) / det, v = (a11 * r2 - a12 * r1) / det;
        return q[0] + u * (q[1] - q[0]) + v * (q[2] - q[0]);
    }
};

TEST(BandTriangle, RandomTrianglesAreTiledAndPaintedByBand) {
    std::mt19937_64 rng(20240611);
    std::uniform_real_distribution<double> coord(-5, 5), unit(0, 1);
    int checked_inside = 0;
    for (int iter = 0; iter < 20000; ++iter) {
        // Range: ordinary, lo = hi, or reversed.
        double lo = coord(rng), hi = coord(rng);
        const int kind = iter % 4;
        if (kind == 0)
            hi = lo;
        else if (kind == 1 && lo < hi)
            std::swap(lo, hi);
        else if (kind >= 2 && lo > hi)
            std::swap(lo, hi);
        const BandLimits t = band_limits(lo, hi);
        const double span = std::max(std::abs(hi - lo), 1.0);

        Field f;
        for (int i = 0; i < 3; ++i) {
            f.p[i] = {coord(rng), coord(rng), coord(rng)};
            const double pick = unit(rng);
            if (pick < 0.3)
                f.q[i] = t[static_cast<std::size_t>(unit(rng) * 10)]; // on a limit
            else if (pick < 0.4 && i > 0)
                f.q[i] = f.q[i - 1]; // equal corners
            else
                f.q[i] = std::min(lo, hi) - span + unit(rng) * 3 * span; // often outside
        }
        const double full = norm(cross(f.p[0], f.p[1], f.p[2])) / 2;
        if (full < 0.5) continue; // keep the triangle well shaped for the barycentric check

        RecordingSink sink;
        band_triangle(f.p, f.q, lo, hi, sink);
        SCOPED_TRACE("iteration " + std::to_string(iter) + " lo " + std::to_string(lo) + " hi " +
                     std::to_string(hi) + " q " + std::to_string(f.q[0]) + " " + std::to_string(f.q[1]) +
                     " " + std::to_string(f.q[2]));
        const Point3 normal = cross(f.p[0], f.p[1], f.p[2]);
        double area = 0;
        const double eps = 1e-9 * (std::abs(lo) + std::abs(hi) + span);
        for (const Piece& piece : sink.pieces) {
            ASSERT_EQ(piece.pts.size(), 3u);
            ASSERT_GE(piece.band, 1);
            ASSERT_LE(piece.band, 11);
            const Point3 c = cross(piece.pts[0], piece.pts[1], piece.pts[2]);
            // Every piece turns the triangle's way, so areas cannot cancel.
            ASSERT_GE(dot(c, normal), -1e-9 * dot(normal, normal)) << "piece turned over";
            const double a = norm(c) / 2;
            area += a;
            if (a < 1e-9 * full) continue;

            // Strictly inside one band: its corner values and its centroid
            // value, a little inside, all fall in the same band.
            double vmin = INFINITY, vmax = -INFINITY;
            Point3 g{0, 0, 0};
            for (const Point3& x : piece.pts) {
                const double v = f.at(x);
                vmin = std::min(vmin, v);
                vmax = std::max(vmax, v);
                g = {g.x + x.x / 3, g.y + x.y / 3, g.z + x.z / 3};
            }
            const double vc = f.at(g);
            const int band = find_band(t, vc);
            bool one_band = find_band(t, vmin + eps) == band && find_band(t, vmax - eps) == band;
            for (double limit : t)
                one_band = one_band && std::abs(vc - limit) > eps;
            if (!one_band) continue;
            ++checked_inside;
            EXPECT_EQ(piece.band, band) << "piece values " << vmin << ".." << vmax << " centroid " << vc;
        }
        EXPECT_NEAR(area, full, 1e-9 * full);
    }
    EXPECT_GT(checked_inside, 10000);
}

TEST(BandTriangle, HugeValuesStayOnTheTriangle) {
    const double big = 1e308;
    for (auto [lo, hi] : {std::pair{-big, big}, {0.0, 9.0}, {big, -big}})
        for (const auto& q : {std::array<double, 3>{-big, big, 0}, {big, -big, big}, {0, big, -big}}) {
            RecordingSink sink;
            band_triangle(tri, q.data(), lo, hi, sink);
            double area = 0;
            for (const Piece& p : sink.pieces) {
                for (const Point3& x : p.pts)
                    ASSERT_TRUE(std::isfinite(x.x + x.y + x.z));
                area += norm(cross(p.pts[0], p.pts[1], p.pts[2])) / 2;
            }
            EXPECT_NEAR(area, norm(cross(P1, P2, P3)) / 2, 1e-9);
        }
}

// ----- Segments -----

const Point3 A{0, 0, 0}, B{4, 2, -2};

std::vector<Piece> cut_segment(double q1, double q2, double lo = 0, double hi = 9) {
    RecordingSink sink;
    const Point3 p[2] = {A, B};
    const double q[2] = {q1, q2};
    band_segment(p, q, lo, hi, sink);
    return sink.pieces;
}

TEST(BandSegment, OneBand) {
    const auto p = cut_segment(0.2, 0.8);
    ASSERT_EQ(p.size(), 1u);
    expect_piece(p[0], 2, {A, B}, "red line");
}

TEST(BandSegment, RisingAndFalling) {
    const Point3 x1 = along(A, B, 0.25), x2 = along(A, B, 0.75);
    {
        const auto p = cut_segment(0.5, 2.5);
        ASSERT_EQ(p.size(), 3u);
        expect_piece(p[0], 3, {x1, x2}, "inner, orange");
        expect_piece(p[1], 2, {A, x1}, "first end, red");
        expect_piece(p[2], 4, {x2, B}, "last end, yellow");
    }
    {
        const auto p = cut_segment(2.5, 0.5);
        ASSERT_EQ(p.size(), 3u);
        expect_piece(p[0], 3, {x1, x2}, "inner: limit 2 then limit 1");
        expect_piece(p[1], 4, {A, x1}, "first end");
        expect_piece(p[2], 2, {x2, B}, "last end");
    }
}

TEST(BandSegment, BeyondBothEndsOfTheRange) {
    const auto p = cut_segment(-5, 20);
    ASSERT_EQ(p.size(), 11u);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(band_color_row(p[i].band), i) << i;
        expect_piece(p[i], i + 2, {along(A, B, (5.0 + i) / 25), along(A, B, (6.0 + i) / 25)}, "inner");
    }
    EXPECT_EQ(band_color_row(p[9].band), 0);
    EXPECT_EQ(band_color_row(p[10].band), 8);
}

TEST(BandSegment, EndValueOnALimit) {
    { // Falling from a limit: the first crossing is P1 itself.
        const auto p = cut_segment(2.0, 0.5);
        ASSERT_EQ(p.size(), 3u);
        expect_piece(p[1], 4, {A, A}, "zero-length end piece");
    }
    { // Rising to a limit: the last crossing is P2 itself.
        const auto p = cut_segment(0.5, 3.0);
        ASSERT_EQ(p.size(), 4u);
        EXPECT_TRUE(near(p.back().pts[0], B));
        EXPECT_TRUE(near(p.back().pts[1], B));
    }
    { // Rising from a limit: the first crossing is limit 3, inside.
        const auto p = cut_segment(2.0, 3.5);
        ASSERT_EQ(p.size(), 2u);
        expect_piece(p[0], 4, {A, along(A, B, 1 / 1.5)}, "first end");
        expect_piece(p[1], 5, {along(A, B, 1 / 1.5), B}, "last end");
    }
}

TEST(BandSegment, ReversedAndDegenerateRanges) {
    { // lo = hi = 5: one cut at the value 5 (all ten limits there).
        const auto p = cut_segment(4, 6, 5, 5);
        ASSERT_EQ(p.size(), 11u);
        expect_piece(p[9], 1, {A, mid(A, B)}, "below");
        expect_piece(p[10], 11, {mid(A, B), B}, "above");
    }
    { // hi < lo: only rows 0 and 8, split where the value passes hi, on the segment.
        const auto p = cut_segment(-1, 3, 9, 0);
        double length = 0;
        for (const Piece& piece : p) {
            const int row = band_color_row(piece.band);
            EXPECT_TRUE(row == 0 || row == 8);
            for (const Point3& x : piece.pts) {
                EXPECT_GE(x.x, -1e-12);
                EXPECT_LE(x.x, 4 + 1e-12);
            }
            length += std::abs(piece.pts[1].x - piece.pts[0].x);
        }
        EXPECT_NEAR(length, 4, 1e-12);
        EXPECT_EQ(p[p.size() - 2].band, 1);
        EXPECT_TRUE(near(p[p.size() - 2].pts[1], along(A, B, 0.25)));
        EXPECT_EQ(p.back().band, 11);
    }
}

TEST(BandSegment, RandomSegmentsAreCoveredOnce) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> u(-12, 12);
    for (int iter = 0; iter < 5000; ++iter) {
        double lo = u(rng), hi = u(rng);
        if (iter % 3 == 0) hi = lo;
        const BandLimits t = band_limits(lo, hi);
        const double q1 = iter % 5 == 0 ? t[iter % 10] : u(rng), q2 = u(rng);
        const auto p = cut_segment(q1, q2, lo, hi);
        // The pieces, taken end to end (inner pieces first, then the two ends),
        // cover [0, 1] along the segment exactly once.
        std::vector<std::pair<double, double>> spans;
        for (const Piece& piece : p)
            spans.emplace_back(piece.pts[0].x / 4, piece.pts[1].x / 4);
        std::sort(spans.begin(), spans.end());
        double at = 0;
        for (auto [s0, s1] : spans) {
            EXPECT_NEAR(s0, at, 1e-12);
            EXPECT_GE(s1, s0 - 1e-15);
            at = s1;
        }
        EXPECT_NEAR(at, 1, 1e-12);
    }
}

} // namespace
} // namespace orv
