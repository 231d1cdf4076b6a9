#pragma once
// Which volume cell holds a point, and where in it: a uniform grid of the
// cells' bounding boxes, built once per model (undeformed positions), then
// the cell's shape functions inverted by Newton's method at each candidate.
// Values along a line are sampled through it.

#include "viewer/model/result_model.h"
#include "viewer/render/element_geometry.h"
#include "viewer/view/volume_shape.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orv {

struct CellPoint {
    std::size_t cell = 0; // 0-based into model.volumes
    Local3 local{};       // its reference parameters there
};

class VolumeLocator {
  public:
    // Indexes the model's volume cells; the model must outlive the locator
    // and keep its cells and positions.
    explicit VolumeLocator(const ResultModel& m);

    // The first cell (in cell order) that holds `x` within a relative
    // tolerance of its reference cell; none outside every cell.
    std::optional<CellPoint> locate(const Point3& x) const;

    // Result list k (1..nlista) at a located point, by the cell's shape functions.
    double value(const CellPoint& at, int k) const;

    std::size_t bytes() const;

  private:
    bool invert(std::size_t cell, const Point3& x, Local3& out) const;
    const ResultModel& m_;
    Point3 lo_{}, hi_{};
    int n_[3] = {0, 0, 0};
    double inv_step_[3] = {0, 0, 0};
    std::vector<std::uint32_t> bucket_start_; // buckets + 1 entries
    std::vector<std::uint32_t> bucket_cells_;
    std::vector<float> boxes_; // 6 per cell: min x y z, max x y z
};

// N samples (N >= 2) from `a` to `b`, both ends included: the distance from
// `a`, the point, and each list's value (NaN where the point lies in no cell).
struct LineSample {
    double distance = 0;
    Point3 at;
    std::vector<double> values;
};
std::vector<LineSample> sample_line(const VolumeLocator& index, const Point3& a, const Point3& b, int samples,
                                    const std::vector<int>& lists);

// The samples as CSV: "distance,x,y,z,<list names>" (names in UTF-8; a name holding a comma,
// a quote or a line break quoted, quotes doubled), then one row per sample
// with 17 significant digits and '.' as decimal point; an empty field where
// there is no value.
std::string line_csv(const ResultModel& m, const std::vector<int>& lists,
                     const std::vector<LineSample>& samples);

} // namespace orv
