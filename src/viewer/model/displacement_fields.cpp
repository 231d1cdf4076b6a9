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
    for (int k = 1; k <= m.nlista; ++k) {
        const auto it = of_step.find(split_step(m.namelista[static_cast<std::size_t>(k)]).second);
        const std::size_t col = 3 * static_cast<std::size_t>(k) + 4;
        for (std::size_t i = 0; i <= static_cast<std::size_t>(m.nnode); ++i)
            for (std::size_t c = 0; c < 3; ++c)
                m.coord(i, col + c) = it == of_step.end() || i == 0
                                          ? 0.0
                                          : m.listas(i, static_cast<std::size_t>(it->second[c]));
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

std::vector<double> saved_displacements(const ResultModel& m) {
    std::vector<double> saved;
    saved.reserve((static_cast<std::size_t>(m.nnode) + 1) * 3 * static_cast<std::size_t>(m.nlista));
    for (std::size_t i = 0; i <= static_cast<std::size_t>(m.nnode); ++i)
        for (std::size_t j = 7; j < m.coord_cols(); ++j)
            saved.push_back(m.coord(i, j));
    return saved;
}

void restore_displacements(ResultModel& m, const std::vector<double>& saved) {
    std::size_t at = 0;
    for (std::size_t i = 0; i <= static_cast<std::size_t>(m.nnode); ++i)
        for (std::size_t j = 7; j < m.coord_cols() && at < saved.size(); ++j)
            m.coord(i, j) = saved[at++];
}

} // namespace orv
