#include "viewer/model/displacement_fields.h"

#include <array>
#include <map>
#include <string_view>
#include <utility>

namespace orv {
namespace {

constexpr std::string_view kStepPart = " - passo ";
constexpr std::string_view kCellPart = " (média nos nós)";
constexpr std::string_view kMagnitude = " Magnitude";

// "F C - passo N ..." split at the step part: ("F C", " - passo N ...").
std::pair<std::string_view, std::string_view> split_step(std::string_view name) {
    const std::size_t at = name.rfind(kStepPart);
    if (at == std::string_view::npos) return {name, {}};
    return {name.substr(0, at), name.substr(at)};
}

// One field of one step: the lists of its three components.
struct FieldLists {
    std::string field;
    std::string_view step;
    std::array<int, 3> lists{};
};

std::vector<FieldLists> find_fields(const ResultModel& m) {
    std::vector<FieldLists> found;
    for (int k = 4; k <= m.nlista; ++k) {
        const auto [head, step] = split_step(m.namelista[static_cast<std::size_t>(k)]);
        if (!head.ends_with(kMagnitude) || head.ends_with(kCellPart)) continue;
        const std::string_view field = head.substr(0, head.size() - kMagnitude.size());
        if (field.empty()) continue;
        FieldLists f{std::string(field), step, {k - 3, k - 2, k - 1}};
        bool ok = true;
        for (const int c : f.lists) {
            const auto [h, s] = split_step(m.namelista[static_cast<std::size_t>(c)]);
            // "F C" with a component C of one word.
            ok = ok && s == step && h.size() > field.size() + 1 && h.starts_with(field) &&
                 h[field.size()] == ' ' && h.substr(field.size() + 1).find(' ') == std::string_view::npos;
        }
        if (ok) found.push_back(std::move(f));
    }
    return found;
}

} // namespace

std::vector<std::string> displacement_fields(const ResultModel& model) {
    std::vector<std::string> names;
    for (const FieldLists& f : find_fields(model)) {
        bool seen = false;
        for (const std::string& n : names)
            seen = seen || n == f.field;
        if (!seen) names.push_back(f.field);
    }
    return names;
}

void set_displacement_field(ResultModel& m, const std::string& field) {
    // The step part of each list and, per step, the field's three lists.
    std::map<std::string_view, std::array<int, 3>> of_step;
    if (!field.empty()) {
        for (const FieldLists& f : find_fields(m))
            if (f.field == field) of_step.emplace(f.step, f.lists);
        if (of_step.empty()) {
            std::string known;
            for (const std::string& n : displacement_fields(m))
                known += (known.empty() ? "" : ", ") + n;
            throw std::invalid_argument(
                "No three-component nodal field named '" + field + "'" +
                (known.empty() ? "; the file has none" : "; the fields are " + known));
        }
    }
    // Lists of one step share one displacement, made of the field's lists.
    for (int k = 1; k <= m.nlista; ++k) {
        const auto it = of_step.find(split_step(m.namelista[static_cast<std::size_t>(k)]).second);
        DisplacementRef ref;
        if (it != of_step.end()) ref = {DisplacementRef::Kind::lists, 0, it->second};
        m.store->set_displacement(k, ref);
    }
}

std::optional<std::array<int, 3>> field_lists_of_step(const ResultModel& m, const std::string& field, int k) {
    if (k < 0 || k > m.nlista) return std::nullopt;
    const std::string_view step = k > 0 ? split_step(m.namelista[static_cast<std::size_t>(k)]).second : "";
    for (const FieldLists& f : find_fields(m))
        if (f.field == field && (k == 0 || f.step == step)) return f.lists;
    return std::nullopt;
}

std::vector<int> same_list_every_step(const ResultModel& m, int k) {
    if (k < 1 || k > m.nlista) return {};
    const auto [head, step] = split_step(m.namelista[static_cast<std::size_t>(k)]);
    if (step.empty()) return {k};
    std::vector<int> lists;
    for (int j = 1; j <= m.nlista; ++j) {
        const auto [h, s] = split_step(m.namelista[static_cast<std::size_t>(j)]);
        if (h == head && !s.empty()) lists.push_back(j);
    }
    return lists;
}

std::vector<DisplacementRef> saved_displacements(const ResultModel& m) {
    return m.store->displacement_plan();
}

void restore_displacements(ResultModel& m, const std::vector<DisplacementRef>& saved) {
    m.store->set_displacement_plan(saved);
}

} // namespace orv
