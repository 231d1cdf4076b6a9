#include "viewer/render/band_fill.h"

#include <cmath>
#include <cstdlib>

namespace orv {

namespace {

// A point where a band limit meets an edge, with the limit's value.
struct Crossing {
    Point3 at;
    double value;
};

// Natural coordinate of the crossing of limit T on the edge from value qa
// (s = -1) to qb (s = +1). Mathematically the crossings of one edge come out
// in order and inside the edge; the clamp keeps that true when the values are
// so large that the arithmetic overflows, so pieces never leave the element.
inline double crossing_coordinate(double T, double qa, double qb, double previous) {
    double s = (2 * T - qa - qb) / (qb - qa);
    if (!(s >= previous))
        s = previous; // also NaN
    else if (s > 1)
        s = 1;
    return s;
}

} // namespace

BandCutter::BandCutter(double lo, double hi) : t_(band_limits(lo, hi)) {
    // Suffix minimum, NaN limits skipped: for limits without NaN, counting the
    // limits at or below x gives exactly find_band's "last test wins" answer,
    // and these are also the values at which the band of x changes.
    double next = INFINITY;
    for (int k = 9; k >= 0; --k) {
        if (std::isnan(t_[k])) {
            nan_free_ = false;
            cut_[k] = next;
            continue;
        }
        cut_[k] = t_[k] < next ? t_[k] : next;
        next = cut_[k];
    }
}

int BandCutter::band_of(double x) const {
    if (!nan_free_) return find_band(t_, x);
    int below = 0; // NaN compares false everywhere and lands in band 1
    for (int k = 0; k < 10; ++k)
        below += cut_[k] <= x;
    return 1 + below;
}

void BandCutter::triangle(const Point3* p, const double* q, BandSink& sink) const {
    const int b[3] = {band_of(q[0]), band_of(q[1]), band_of(q[2])};
    const int d[3] = {b[1] - b[0], b[2] - b[1], b[0] - b[2]};
    if (d[0] == 0 && d[1] == 0 && d[2] == 0) {
        sink.piece(band_of((q[0] + q[1] + q[2]) / 3), p, 3);
        return;
    }

    // Boundary sequence: the crossings of edge 1 (P1-P2), edge 2 (P2-P3) and
    // edge 3 (P3-P1), each ordered from its start corner. At most 10 per edge
    // and, since the steps sum to zero, at most 20 in all.
    Crossing S[20];
    int first[4];
    int n = 0;
    for (int e = 0; e < 3; ++e) {
        first[e] = n;
        const int A = e, B = e == 2 ? 0 : e + 1;
        const int steps = std::abs(d[e]);
        double previous = -1;
        for (int j = 1; j <= steps; ++j) {
            const int m = d[e] > 0 ? b[A] + (j - 1) : b[A] - 1 - (j - 1);
            const double T = crossing_limit(m);
            previous = crossing_coordinate(T, q[A], q[B], previous);
            S[n++] = {edge_point(p[A], p[B], previous), T};
        }
    }
    first[3] = n;

    Point3 pts[3];
    const auto emit = [&](const Point3& a, const Point3& b2, const Point3& c, double mean) {
        pts[0] = a;
        pts[1] = b2;
        pts[2] = c;
        sink.piece(band_of(mean), pts, 3);
    };

    // Zigzag strip across the polygon of the crossings (1-based S[k] is S[k-1]).
    for (int k = 1; k <= (n - 2) / 2; ++k) {
        const Crossing& sk = S[k - 1];
        const Crossing& sk1 = S[k];
        const Crossing& snk1 = S[n - k];    // S[n - k + 1]
        const Crossing& snk = S[n - k - 1]; // S[n - k]
        emit(sk.at, sk1.at, snk1.at, (sk.value + sk1.value + snk1.value) / 3);
        emit(sk1.at, snk.at, snk1.at, (snk.value + sk1.value + snk1.value) / 3);
    }

    // Corner pieces. Ee[1] and Ee[last]: the crossings of edge e nearest its
    // start and its end corner.
    const auto e_first = [&](int e) -> const Crossing& { return S[first[e - 1]]; };
    const auto e_last = [&](int e) -> const Crossing& { return S[first[e] - 1]; };
    if (d[0] != 0 && d[1] != 0 && d[2] != 0) {
        emit(p[0], e_first(1).at, e_last(3).at, (q[0] + e_first(1).value + e_last(3).value) / 3);
        emit(p[1], e_first(2).at, e_last(1).at, (q[1] + e_first(2).value + e_last(1).value) / 3);
        emit(p[2], e_first(3).at, e_last(2).at, (q[2] + e_first(3).value + e_last(2).value) / 3);
    } else if (d[2] == 0) {
        emit(p[0], e_first(1).at, p[2], (q[0] + e_first(1).value + q[2]) / 3);
        emit(p[2], e_first(1).at, e_last(2).at, (q[2] + e_first(1).value + e_last(2).value) / 3);
        emit(p[1], e_first(2).at, e_last(1).at, (q[1] + e_first(2).value + e_last(1).value) / 3);
    } else if (d[1] == 0) {
        emit(p[2], e_last(1).at, p[1], (q[2] + e_last(1).value + q[1]) / 3);
        emit(p[2], e_first(3).at, e_last(1).at, (q[2] + e_first(3).value + e_last(1).value) / 3);
        emit(p[0], e_first(1).at, e_last(3).at, (q[0] + e_first(1).value + e_last(3).value) / 3);
    } else { // d[0] == 0
        emit(p[1], e_first(2).at, p[0], (q[1] + e_first(2).value + q[0]) / 3);
        emit(p[0], e_first(2).at, e_last(3).at, (q[0] + e_first(2).value + e_last(3).value) / 3);
        emit(p[2], e_first(3).at, e_last(2).at, (q[2] + e_first(3).value + e_last(2).value) / 3);
    }
}

void BandCutter::segment(const Point3* p, const double* q, BandSink& sink) const {
    const int b1 = band_of(q[0]), b2 = band_of(q[1]);
    const int d = b2 - b1;
    if (d == 0) {
        sink.piece(band_of((q[0] + q[1]) / 2), p, 2);
        return;
    }
    const int n = std::abs(d);
    Crossing S[10];
    double previous = -1;
    for (int j = 1; j <= n; ++j) {
        const int m = d > 0 ? b1 + (j - 1) : b1 - 1 - (j - 1);
        const double T = crossing_limit(m);
        previous = crossing_coordinate(T, q[0], q[1], previous);
        S[j - 1] = {edge_point(p[0], p[1], previous), T};
    }

    Point3 pts[2];
    const auto emit = [&](const Point3& a, const Point3& b, double mean) {
        pts[0] = a;
        pts[1] = b;
        sink.piece(band_of(mean), pts, 2);
    };
    for (int k = 1; k <= n - 1; ++k)
        emit(S[k - 1].at, S[k].at, (S[k - 1].value + S[k].value) / 2);
    emit(p[0], S[0].at, (q[0] + S[0].value) / 2);
    emit(S[n - 1].at, p[1], (q[1] + S[n - 1].value) / 2);
}

void band_triangle(const Point3* p, const double* q, double lo, double hi, BandSink& sink) {
    BandCutter(lo, hi).triangle(p, q, sink);
}

void band_segment(const Point3* p, const double* q, double lo, double hi, BandSink& sink) {
    BandCutter(lo, hi).segment(p, q, sink);
}

} // namespace orv
