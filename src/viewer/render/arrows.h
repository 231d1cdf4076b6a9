#pragma once
// Arrows ("Setas"): a three-component nodal field drawn as an arrow at each
// node, from the node (on the deformed shape when it is shown) along the
// node's vector. Plain C++: which vectors, how long, which nodes on a big
// model, and the segments of each arrow, handed to a sink that draws them.
//
// Lengths: one scale for all arrows, so that the longest is `fraction` x
// `factor` of the model's size (the diagonal of its undeformed box).
// Colour: each arrow's magnitude placed on the range of the magnitudes shown.

#include "viewer/legend/colour_scale.h"
#include "viewer/model/result_model.h"
#include "viewer/render/element_geometry.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace orv {

// Where the vectors come from.
struct ArrowSource {
    enum class Kind { None, Displacement, Lists };
    Kind kind = Kind::None;
    int list = 0;               // Displacement: of this list (0 the node's own columns 4..6)
    std::array<int, 3> lists{}; // Lists: the result lists of X, Y, Z
};

// The source for field `field` in the step of list k (1..nlista, or 0 with no
// list checked): "" is the displacement that list is drawn with; a named
// field is its X Y Z lists in that step (for k = 0 the first step that has
// it), None when that step lacks it.
// Throws std::invalid_argument naming the fields there are when the model
// has no three-component nodal field of that name in any step.
ArrowSource arrow_source(const ResultModel& m, const std::string& field, int k);

// The vector of node `node` (1..nnode); zero for Kind::None. The one place
// arrows read list values and displacements.
std::array<double, 3> arrow_vector(const ResultModel& m, const ArrowSource& s, std::int32_t node);

struct NodeArrow {
    std::int32_t node = 0;
    Point3 base;                    // file coordinates
    std::array<double, 3> vector{}; // the field's value, its own units
    double magnitude = 0;
};

// An arrow for every drawn node (nodes inside volumes left out) whose vector
// is finite and not zero, in node order, placed by `place`.
std::vector<NodeArrow> node_arrows(const ResultModel& m, const ArrowSource& s, NodePlacement place);

// Diagonal of the box of the undeformed drawn nodes; 0 for a model without them.
double model_size(const ResultModel& m);

// Model units per unit of the vector so that the longest arrow (magnitude
// `longest`) is fraction x factor x size long; 0 when any of these is not a
// positive finite number.
double arrow_length_scale(double longest, double size, double fraction, double factor);

// Smallest and largest magnitude of the arrows; (0, 0) for none. The second
// form takes them over the arrows node_arrows would give, without keeping them.
std::array<double, 2> magnitude_range(std::span<const NodeArrow> arrows);
std::array<double, 2> magnitude_range(const ResultModel& m, const ArrowSource& s);

// Colour of an arrow of this magnitude on the legend of `range`: the
// continuous map (reversed when `negative`), or with `banded` the colour of
// its band as the legend's bands draw it (1 - c when `negative`).
Rgb arrow_colour(double magnitude, std::array<double, 2> range, bool banded, bool negative);

// A node's position on the screen, pixels; `visible` false for a node behind
// the camera or outside the view.
struct ScreenPoint {
    double x = 0, y = 0;
    bool visible = true;
};

// Window position of p (pixels, origin at the bottom left, as gluProject)
// under column-major model-view and projection matrices and a viewport
// (x, y, width, height); not visible behind the camera or off the viewport.
ScreenPoint project_to_screen(const Point3& p, const std::array<double, 16>& modelview,
                              const std::array<double, 16>& projection, const std::array<int, 4>& viewport);

// Thinning of a big model: the indices (increasing) of the points kept, one
// per square of `cell` pixels of the screen, the one of largest magnitude
// (the first of equals) so that peaks stay shown. Points not visible or not
// finite are dropped; cell <= 0 keeps every visible point. `magnitudes`
// has one entry per point.
std::vector<std::size_t> thin_on_screen(std::span<const ScreenPoint> points,
                                        std::span<const double> magnitudes, double cell);

// The same choice made one point at a time, holding one entry per square.
class ScreenGrid {
  public:
    explicit ScreenGrid(double cell);
    void add(std::size_t index, const ScreenPoint& p, double magnitude);
    std::vector<std::size_t> kept() const; // increasing

  private:
    double cell_;
    std::unordered_map<std::uint64_t, std::pair<std::size_t, double>> best_; // square -> (index, magnitude)
    std::vector<std::size_t> all_;                                           // cell <= 0
};

// What a view draws: the arrows node_arrows gives, thinned on the screen
// (`project` places a base, thin_on_screen's rule with `cell`), and the
// range of the magnitudes of all of them, kept or not, so that colours and
// lengths do not change as the view turns. One sweep: on a big model no
// arrow is held but the kept ones.
struct ArrowChoice {
    std::vector<NodeArrow> arrows;
    std::array<double, 2> range{0, 0};
};
ArrowChoice choose_arrows(const ResultModel& m, const ArrowSource& s, NodePlacement place,
                          const std::function<ScreenPoint(const Point3&)>& project, double cell);

// Receives the segments of the arrows, file coordinates, with the magnitude
// of the arrow they belong to.
struct ArrowSink {
    virtual ~ArrowSink() = default;
    virtual void segment(const Point3& a, const Point3& b, double magnitude) = 0;
};

// The longest arrow at factor 1, as a fraction of the model's size, and the
// side in pixels of the screen squares that hold one arrow each.
inline constexpr double kArrowFraction = 0.1;
inline constexpr double kArrowSpacing = 8;

// Arrow shape, as fractions of an arrow's length.
inline constexpr double kArrowHeadLength = 0.25;
inline constexpr double kArrowHeadWidth = 0.08; // distance of a barb's end from the shaft

// Emits one arrow: the shaft from the base to the tip, then four barbs from
// the tip back to points around the shaft, in two planes at right angles
// through it. Nothing for a zero or non-finite length.
void arrow_segments(const NodeArrow& arrow, double scale, ArrowSink& sink);

} // namespace orv
