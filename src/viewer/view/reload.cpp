#include "viewer/view/reload.h"

#include "viewer/legend/common_range.h"
#include "viewer/model/displacement_fields.h"

#include <algorithm>
#include <map>

namespace orv::view {
namespace {

// (name, occurrence) of every list: the key a list keeps across a reread.
using ListKey = std::pair<std::string, int>;

std::vector<ListKey> keys_of(const std::vector<std::string>& names) {
    std::vector<ListKey> keys(names.size());
    std::map<std::string, int> seen;
    for (std::size_t k = 1; k < names.size(); ++k)
        keys[k] = {names[k], seen[names[k]]++};
    return keys;
}

} // namespace

std::vector<int> lists_checked_again(const std::vector<std::string>& old_names,
                                     const std::vector<int>& checked,
                                     const std::vector<std::string>& fresh_names) {
    const std::vector<ListKey> old_keys = keys_of(old_names);
    std::map<ListKey, int> fresh;
    const std::vector<ListKey> fresh_keys = keys_of(fresh_names);
    for (std::size_t k = 1; k < fresh_keys.size(); ++k)
        fresh.emplace(fresh_keys[k], static_cast<int>(k));
    std::vector<int> again;
    for (const int k : checked) {
        if (k < 1 || static_cast<std::size_t>(k) >= old_keys.size()) continue;
        const auto it = fresh.find(old_keys[static_cast<std::size_t>(k)]);
        if (it != fresh.end()) again.push_back(it->second);
    }
    std::sort(again.begin(), again.end());
    again.erase(std::unique(again.begin(), again.end()), again.end());
    return again;
}

int same_list_in(const std::vector<std::string>& old_names, int k,
                 const std::vector<std::string>& fresh_names) {
    const std::vector<int> found = lists_checked_again(old_names, {k}, fresh_names);
    return found.empty() ? 0 : found.front();
}

ReloadCarry carry_over(const ResultModel& old_model, const ViewSettings& settings, const ResultModel& fresh) {
    ReloadCarry carry;
    carry.lists = lists_checked_again(old_model.namelista, settings.lists, fresh.namelista);

    const std::array<double, 2> old_row0 =
        old_model.maxlista.empty() ? std::array<double, 2>{0, 0} : old_model.maxlista[0];
    carry.common_row = fresh.maxlista.empty() ? std::array<double, 2>{0, 0} : fresh.maxlista[0];
    if (settings.common_range) {
        CommonRangeInput in;
        in.checked = true;
        in.minimum = settings.range[0];
        in.maximum = settings.range[1];
        in.valmin = fresh.valmin;
        in.valmax = fresh.valmax;
        std::array<double, 2> row = carry.common_row;
        int legmax = 0;
        try {
            apply_common_range(in, {legmax, row});
            carry.common_row = row;
        } catch (const std::exception&) {
            // The fields were edited into something unreadable after the
            // range was applied: the range the user saw stays.
            carry.common_row = old_row0;
        }
        carry.legmax = 1;
    }

    if (settings.displacement_field) {
        const std::string& field = *settings.displacement_field;
        const std::vector<std::string> fields = displacement_fields(fresh);
        if (field.empty() || std::find(fields.begin(), fields.end(), field) != fields.end()) {
            carry.displacement_field = field;
        } else {
            carry.displacement_field_lost = true;
        }
    }
    return carry;
}

} // namespace orv::view
