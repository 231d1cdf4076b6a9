#pragma once
// Which node the user sees under the pointer in the 3D view.
//
// The pick sees what the render pass drew. Every replayed display list is a
// layer that shows nodes at its own positions (undeformed, or deformed by a
// result list's displacement with the factor the list was compiled with); the
// colour lists also fill their elements' sub-triangles, which hide whatever
// lies behind them. The clip plane and the depth range remove what they remove
// on screen.
//
// Algorithm. Positions are projected with the matrices the view loads
// (orthographic x look-at x the model object's translations and scales) to
// window pixels, origin top left. Once per camera or scene change:
//   - drawn nodes go into a grid of cells half the pick radius wide;
//   - the filled sub-triangles (the same sub-division the colour lists draw)
//     are rasterised into a depth buffer of the view's size, sampled at pixel
//     centres as OpenGL samples them, the clip plane and the depth range
//     applied; each pixel keeps the front-most depth and its slope.
// A probe then takes the surface under the pointer from the depth buffer and
// the nodes within the pick radius; a node is visible when the buffer at its
// pixel is not in front of it by more than the surface's own slope across
// that pixel. Of the visible nodes, those not lying behind the plane of the
// surface under the pointer come first, then the nearest on screen; among
// nodes nearly as near, the front-most wins.

#include "viewer/render/element_geometry.h"
#include "viewer/render/render_plan.h"
#include "viewer/view/camera.h"
#include "viewer/view/shape_functions.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace orv::pick {

// What one display list shows, as far as picking goes.
enum class LayerKind {
    Points,  // every node 1..nnode ("Nós", node numbers)
    Outline, // the nodes of every drawn element (mesh outlines)
    Fill,    // the sub-triangles and segments of the elements that pass the
             // filters, their nodes, and with `outline` every drawn element's nodes
};

struct PickLayer {
    LayerKind kind = LayerKind::Points;
    NodePlacement place;                     // where the list puts the nodes
    std::array<int, 3> filters{-1, -1, -1};  // Fill: element-type filters of families 1..3
    std::vector<std::uint8_t> hidden_blocks; // Fill: blocks not coloured (block_filter_passes)
    bool outline = false;                    // Fill: the deformed outline is drawn inside the list
};
bool operator==(const PickLayer& a, const PickLayer& b);

// Everything drawn that the pick depends on, besides the view.
struct PickScene {
    const ResultModel* model = nullptr;
    std::vector<PickLayer> layers;
    // Clip plane a, b, c, d in file coordinates when it is on: points with
    // a x + b y + c z + d >= 0 are kept (as glClipPlane does).
    std::optional<std::array<double, 4>> clip;
};

// The projection of the 3D view: file coordinates to normalised device
// coordinates, and the view's size in pixels.
struct PickView {
    view::Mat4 to_ndc{};
    int width = 0, height = 0;
    friend bool operator==(const PickView&, const PickView&) = default;
};

// The view's projection for a model drawn inside `object` (its translations
// and scales and those of its parents apply, as the view applies them), seen
// by `camera` in a view of w x h pixels.
PickView make_pick_view(const view::Camera& camera, const view::SceneObject& object, int w, int h);

// The layers the last complete render pass replayed: lists 1 and 4 show every
// node, 2 and 3 the mesh outline, 5 + k result list k's colours on its own
// displacement; list 5 (element numbers) shows no node. A list whose content
// was never recorded is taken with the default ListContent.
std::vector<PickLayer> layers_drawn(const RenderState& rs);

struct PickHit {
    std::int32_t node = 0; // 1..nnode
    int layer = 0;         // index into PickScene::layers of a layer showing it there
    Point3 drawn;          // the node's position as drawn, file coordinates
    double x = 0, y = 0;   // where it is on screen, pixels (top-left origin)
    double depth = 0;      // window depth 0 (near) .. 1 (far)
};

// A point of a drawn element under the pointer: the front-most colour fill
// there, or a coloured line within a few pixels of it in front of the fills.
struct ElementHit {
    std::size_t element = 0;       // 1..nelem
    int layer = 0;                 // index into PickScene::layers of the layer drawing it
    ElementParameters at;          // the point's parameters in the element
    Point3 drawn;                  // where it is drawn, file coordinates
    std::int32_t nearest_node = 0; // the element's node drawn nearest to it, 1..nnode
    double depth = 0;              // window depth 0 (near) .. 1 (far)
};

// Figures of the last index build, for benchmarks and diagnostics.
struct PickStats {
    long probes = 0;                 // probes answered since creation
    long builds = 0;                 // indexes built since creation
    double build_seconds = 0;        // time of the last build, and of its steps:
    double mark_seconds = 0;         //   which nodes each layer draws, where (cached per model)
    double project_seconds = 0;      //   projection of the drawn nodes
    double grid_seconds = 0;         //   node grid
    double depth_seconds = 0;        //   depth buffer of the fills
    double line_seconds = 0;         //   pixels of the coloured lines
    std::int64_t node_entries = 0;   // drawn nodes in the grid
    std::int64_t covered_pixels = 0; // pixels of the depth buffer a fill covers
    std::int64_t line_pixels = 0;    // pixels within reach of a visible coloured line
};

class NodePicker {
  public:
    NodePicker();
    ~NodePicker();
    NodePicker(const NodePicker&) = delete;
    NodePicker& operator=(const NodePicker&) = delete;

    // The node seen at pointer (x, y), in the view's pixels as the window
    // system reports them: pixel (i, j) spans [i, i + 1) x [j, j + 1), and
    // the probe looks from the centre of the pixel under the pointer. Only
    // nodes within `radius` pixels of it are candidates. Nothing for a pointer
    // outside the view, an empty view, a scene without model or layers, or
    // empty background. Rebuilds the index when scene or view differ from the
    // last probe's. The model must not change while the picker holds an index
    // of it without clear() being called.
    std::optional<PickHit> probe(const PickScene& scene, const PickView& view, double x, double y);

    // The element point seen at pointer (x, y) (as probe() takes it), on the
    // element's drawn, deformed, clipped and filtered shape: the point of the
    // flat sub-triangle (or segment) drawn there, whose parameters follow
    // from the lattice nodes' parameters. Lines count within kLineReach
    // pixels. Nothing over background or without colour fills.
    std::optional<ElementHit> probe_element(const PickScene& scene, const PickView& view, double x, double y);
    static constexpr double kLineReach = 3;

    // True when the next probe with these arguments would rebuild the index.
    bool stale(const PickScene& scene, const PickView& view) const;
    // Drops the index (and its memory); the next probe rebuilds it.
    void clear();

    double radius = 8; // pixels
    const PickStats& stats() const { return stats_; }

  private:
    void ensure_index(const PickScene& scene, const PickView& view);
    struct Index;
    struct Cache;
    std::unique_ptr<Index> index_;
    std::unique_ptr<Cache> cache_; // what no camera change alters: drawn nodes, positions
    PickStats stats_;
};

} // namespace orv::pick
