#pragma once
// Cutting of straight triangles and segments into flat colour bands.
//
// The value is taken to vary linearly between the corners. Each edge is cut
// where it crosses the band limits t1..t10 of the range [lo, hi]; the
// crossings of the three edges, in turn, run once round the triangle (the
// boundary sequence S, starting at P1). The convex polygon of the crossings is
// triangulated as a zigzag strip from the chord S[1]-S[n] inwards, and what is
// left at the corners is cut into at most three corner pieces. Every piece is
// painted with the band that holds the mean of the values at its corners.
// Pieces are handed to a BandSink in drawing order: strip pieces first, then
// the corner pieces; for a segment, the inner pieces, then the two end pieces.
//
// Limits that do not increase (hi < lo, or an overflowing range) would put
// crossings off the element; crossings are then placed at the limits of the
// band lookup that decide the same bands, so that the pieces always tile the
// element and are painted as find_band paints their values.

#include "viewer/legend/colour_scale.h"
#include "viewer/render/element_geometry.h"

namespace orv {

// Receives the pieces of a band fill: band index 1..11 (see find_band) and the
// piece's corners in drawing order, 3 for a triangle piece, 2 for a line piece.
// The pointer is valid only during the call.
struct BandSink {
    virtual ~BandSink() = default;
    virtual void piece(int band, const Point3* pts, int count) = 0;
};

// The point at natural coordinate s (-1 at a, +1 at b) of the edge from a to b.
inline Point3 edge_point(const Point3& a, const Point3& b, double s) {
    const double n1 = (1 - s) / 2, n2 = (1 + s) / 2;
    return {n1 * a.x + n2 * b.x, n1 * a.y + n2 * b.y, n1 * a.z + n2 * b.z};
}

// Band cutting against one range, with the limits computed once; the render
// pass builds one per result list and cuts every piece with it.
class BandCutter {
  public:
    BandCutter(double lo, double hi);

    const BandLimits& limits() const { return t_; }
    // find_band(limits(), x), faster when the limits increase.
    int band_of(double x) const;

    // p: corners P1, P2, P3 in emission order; q: their values.
    void triangle(const Point3* p, const double* q, BandSink& sink) const;
    // p: ends P1, P2; q: their values.
    void segment(const Point3* p, const double* q, BandSink& sink) const;

  private:
    double crossing_limit(int m) const { return cut_[m - 1]; }

    BandLimits t_;         // the limits of find_band
    BandLimits cut_;       // where crossings are placed: t_ made non-decreasing
    bool nan_free_ = true; // no limit is NaN: band_of can count cut_ limits
};

// One-off forms: compute the limits of [lo, hi] and cut one triangle or segment.
void band_triangle(const Point3* p, const double* q, double lo, double hi, BandSink& sink);
void band_segment(const Point3* p, const double* q, double lo, double hi, BandSink& sink);

} // namespace orv
