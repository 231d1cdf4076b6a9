#pragma once
// "Recarregar": what a viewer carries over when it reads its file again.
// The view (camera, pan, zoom) and every panel control stay as they are in
// the window; what depends on the model is worked out here, against the
// model just read (plain C++: no Qt, no OpenGL).
//
// Result lists are matched by name, never by number: a running analysis that
// appended steps, or a solver that added a field, shifts the numbers. The
// n-th list of a name in the old model is the n-th list of that name in the
// new one, so files that repeat a name keep their order. A checked list whose
// name the new file lacks is left unchecked.

#include "viewer/model/result_model.h"
#include "viewer/view/view_settings.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace orv::view {

// The lists of `fresh_names` to check again for the `checked` lists of
// `old_names` (both indexed as namelista: entry 0 unused). Lists out of
// range in `checked` are ignored. Ascending, each once.
std::vector<int> lists_checked_again(const std::vector<std::string>& old_names,
                                     const std::vector<int>& checked,
                                     const std::vector<std::string>& fresh_names);

// The same list `k` of the old model in the new one (0 when gone), by the
// pairing above: the lowest checked list, the generator's range, ...
int same_list_in(const std::vector<std::string>& old_names, int k,
                 const std::vector<std::string>& fresh_names);

struct ReloadCarry {
    std::vector<int> lists; // result lists of the new model to check
    // The common range ("> Valores Máximos"), applied again to the new
    // model: legmax and row 0 of maxlista. The fields' texts are read again
    // (0, 0 takes the new file's overall range); texts that no longer read
    // as numbers keep the row the old model had.
    int legmax = 0;
    std::array<double, 2> common_row{0, 0};
    // "Deslocamento": the chosen field when the new model still has it ("" for
    // none stays ""), else no value: the file's own displacement.
    std::optional<std::string> displacement_field;
    bool displacement_field_lost = false; // a field was chosen and is gone
};

// What to apply to `fresh` (the model just read) for a window that showed
// `old_model` (row 0 of its maxlista as the window's handlers left it) with
// `settings` (its view_settings()).
ReloadCarry carry_over(const ResultModel& old_model, const ViewSettings& settings, const ResultModel& fresh);

} // namespace orv::view
