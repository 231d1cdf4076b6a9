#pragma once
// Which field displaces the mesh ("Deslocamento", --displacement-field), and
// the lists of one field and component over the steps ("▶").
//
// The readers name the lists of a three-component nodal field F of a step
// "F C1 - passo N", "F C2 - passo N", "F C3 - passo N" and
// "F Magnitude - passo N" (the step part may end in " (t = T)"), one after
// the other; lists of cell data carry " (média nos nós)" and are not nodal.
// That naming is what these functions find fields by, so they work on any
// model, native files included (a native file whose names follow it). A
// step is the set of lists with the same step part; lists without one form
// one step of their own.

#include "viewer/model/result_model.h"

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orv {

// The names of the three-component nodal fields of the model, each once,
// in the order of their first list.
std::vector<std::string> displacement_fields(const ResultModel& model);

// Makes `field` the displacement of every list: the lists of a step share
// that step's X Y Z values of the field (read from its lists when needed),
// those of a step without the field have none. An empty `field` means no displacement
// (every list undeformed). Throws std::invalid_argument naming the fields
// there are when the model has no such field, before changing anything.
void set_displacement_field(ResultModel& model, const std::string& field);

// The lists holding the X Y Z components of the three-component nodal field
// `field` in the step of list k (1..nlista), in the first step that has it
// for k = 0; nothing when that step lacks the field or k is out of range.
std::optional<std::array<int, 3>> field_lists_of_step(const ResultModel& model, const std::string& field,
                                                      int k);

// The lists that show what list k shows (the same field and component, the
// same name before its step part) in every step, in list order; k itself
// alone when it has no step part or no other step has it.
std::vector<int> same_list_every_step(const ResultModel& model, int k);

// Where every list's displacement comes from, to be put back by
// restore_displacements (the file's own displacement, before a choice).
std::vector<DisplacementRef> saved_displacements(const ResultModel& model);
void restore_displacements(ResultModel& model, const std::vector<DisplacementRef>& saved);

} // namespace orv
