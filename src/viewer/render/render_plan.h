#pragma once
// Bookkeeping of the render pass of the 3D view, without OpenGL: which
// display lists a pass compiles, deletes and replays, and the names they
// have in the view's OpenGL context.
//
// Plot item i (0-based) owns display list i + 1: lists 1..5 are the fixed
// items ("Nós", "Malha Indeformada", "Malha Deformada", "Numerção dos Nós",
// "Num. dos Elementos"), list 5 + k the colour list of result list k. A list
// is compiled only in a pass in which its item is checked:
//
//   list 1, 4, 5   when it does not exist yet (they depend on the undeformed
//                  mesh only);
//   list 2         when it does not exist, or changes1;
//   list 3         when it does not exist, or changes, or changes1;
//   list 5 + k     when it does not exist, or changes or changes1 while it is
//                  not current (its geometry was built with other settings:
//                  a change of range or colour scale alone keeps it); when the
//                  item is unchecked and changes is set, or its release was
//                  requested, the list is deleted.
//
// Lists 1..5 are handled first, then the result lists in order; afterwards
// the list of every checked item is replayed in plot-list order.

#include "viewer/render/extremes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orv {

// Result list k is plot item kFixList + k - 1 (items counted from 0) and
// display list kFixList + k.
inline constexpr int kFixList = 5;

// Number of display lists of a viewer with nlista result lists.
inline int display_list_count(int nlista) {
    return nlista + kFixList;
}

// True for the lists whose content reads the displacement scale (Edit7 and
// TrackBar3): the deformed mesh and the colour lists.
inline bool list_reads_displacement(int list) {
    return list == 3 || list > 5;
}

enum class ListAction { Compile, Delete };

struct ListStep {
    ListAction action = ListAction::Compile;
    int list = 0; // 1..nlista + 5
    friend bool operator==(const ListStep&, const ListStep&) = default;
};

struct RenderPlanInput {
    int nlista = 0;
    std::vector<bool> checked; // plot items 0..nlista + 4; missing entries count as unchecked
    std::vector<bool> exists;  // lists 1..nlista + 5 at index list - 1; missing entries: no list
    bool changes = false;
    bool changes1 = false;
    // Result lists (5 + k) to delete in this pass if their item is unchecked,
    // whatever the flags: a caller that unchecks a list it will not show again
    // frees its memory at once instead of at the next colour change.
    std::vector<int> release;
    // Result lists (index list - 1) whose content already matches the
    // settings of this pass; missing entries count as not current.
    std::vector<bool> current;
};

struct RenderPlan {
    std::vector<ListStep> steps; // compilations and deletions, in the order they run
    std::vector<int> calls;      // lists replayed afterwards, in this order
};

// The pass's decisions for the given checks, existing lists and flags.
// Deleting a list that does not exist does nothing, so no step is planned for it.
RenderPlan plan_render_pass(const RenderPlanInput& in);

// The fixed names 1..count of one viewer mapped onto a block of names that
// the OpenGL context handed out (glGenLists), so that they never collide with
// names used by anything else in that context; and which of them hold
// content. glGenLists already creates empty lists, so glIsList cannot tell a
// compiled list from a reserved one: existence is tracked here instead. A
// deleted list keeps its name in the block (it is emptied, not freed), so the
// block stays whole until the context goes.
class DisplayListBlock {
  public:
    // A new block: base is the first name glGenLists returned for count lists.
    void assign(std::uint32_t base, int count);
    // The context and its lists are gone; nothing is reserved any more.
    void clear();

    bool assigned() const { return base_ != 0; }
    int count() const { return static_cast<int>(exists_.size()); }
    std::uint32_t base() const { return base_; }
    // OpenGL name of fixed list `list` (1..count).
    std::uint32_t name(int list) const { return base_ + static_cast<std::uint32_t>(list - 1); }

    bool exists(int list) const;
    void set_exists(int list, bool value);
    const std::vector<bool>& existence() const { return exists_; }

  private:
    std::uint32_t base_ = 0;
    std::vector<bool> exists_;
};

// What the render pass did, for tests and diagnostics.
struct ListEvent {
    ListAction action = ListAction::Compile;
    int list = 0; // fixed name 1..nlista + 5
    friend bool operator==(const ListEvent&, const ListEvent&) = default;
};

// What a compiled list shows besides the model, recorded when it is compiled,
// so that the node pick sees the nodes where the list put them.
struct ListContent {
    int selector = 0;                        // displacement selector: chbox (list 3), 3k (list 5 + k)
    double factor = 1;                       // displacement factor f (displacement_factor(m, P))
    std::array<int, 3> filters{-1, -1, -1};  // colour lists: element-type filters of families 1..3
    bool deformed_outline = false;           // colour lists: the deformed outline is drawn inside
    std::vector<std::uint8_t> hidden_blocks; // colour lists: blocks not coloured (block filter)
};

// Per-viewer state of the render pass that lives as long as the view's context.
struct RenderState {
    // The log keeps the most recent events only: a viewer left open for a
    // long session must not grow it without bound.
    static constexpr std::size_t kLogLimit = 1024;

    DisplayListBlock lists;
    std::vector<ListEvent> log;      // recent compilations and deletions, oldest first
    std::vector<int> last_calls;     // lists replayed by the last complete pass
    long passes = 0;                 // passes that ran to the end
    long failed_passes = 0;          // passes ended by an error
    double last_compile_seconds = 0; // glNewList to glEndList, summed over the last pass's compilations
    // Colour lists draw from vertex buffers coloured by a scale texture: a
    // change of range, scale or legend changes only the texture (counted
    // here) or its matrix, never the buffers (counted in the log).
    long scale_texture_uploads = 0;
    std::size_t buffer_bytes = 0; // vertex bytes held in the colour lists' buffers
    // Level of detail: the last replay of full lists, to the finished
    // picture (0 before the first); whether the last complete pass replayed
    // any coarse list; the coarse lists' names; vertex bytes handed to the
    // full lists that have a coarse version and to those coarse versions.
    double last_full_replay_seconds = 0;
    bool last_replay_coarse = false;
    DisplayListBlock coarse_lists;
    std::size_t coarse_full_bytes = 0;
    std::size_t coarse_bytes = 0;
    std::string reported_error;   // message of the failure last reported; empty after a good pass
    std::vector<int> release;     // release requests for the next pass; a pass that ends well clears them
    bool context_watched = false; // the view's context-destruction signal is connected
    // Clip plane as last read; a pass that fails on a coefficient keeps the
    // ones read before it.
    std::array<double, 4> clip_plane{0, 0, 0, 0};
    // For the node pick: what each list held when last compiled (by list - 1),
    // and the clip plane of the last complete pass when it was on.
    std::vector<ListContent> content;
    std::optional<std::array<double, 4>> clip;
    // The extremes last found, by result list and the model's list store, so
    // that a repaint does not search the nodes again.
    struct Extremes {
        const void* values = nullptr;
        int list = 0;
        std::optional<ListExtremes> found;
    } extremes;

    // Appends to the log, dropping the oldest half once it reaches kLogLimit.
    void record(ListEvent event);
};

// "C3 D7": the log as short text (tests print it on failure).
std::string to_string(const std::vector<ListEvent>& log);

} // namespace orv
