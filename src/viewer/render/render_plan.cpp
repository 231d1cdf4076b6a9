#include "viewer/render/render_plan.h"

#include <algorithm>
#include <cstddef>

namespace orv {

namespace {

bool at(const std::vector<bool>& v, int index) {
    return index >= 0 && static_cast<std::size_t>(index) < v.size() && v[static_cast<std::size_t>(index)];
}

} // namespace

RenderPlan plan_render_pass(const RenderPlanInput& in) {
    RenderPlan plan;
    const int count = display_list_count(in.nlista < 0 ? 0 : in.nlista);
    const auto checked = [&](int list) { return at(in.checked, list - 1); };
    const auto exists = [&](int list) { return at(in.exists, list - 1); };

    for (int list = 1; list <= 5; ++list) {
        bool stale = !exists(list);
        if (list == 2) stale = stale || in.changes1;
        if (list == 3) stale = stale || in.changes || in.changes1;
        if (stale && checked(list)) plan.steps.push_back({ListAction::Compile, list});
    }
    const auto released = [&](int list) {
        return std::find(in.release.begin(), in.release.end(), list) != in.release.end();
    };
    for (int list = 6; list <= count; ++list) {
        if (checked(list)) {
            const bool current = static_cast<std::size_t>(list - 1) < in.current.size() &&
                                 in.current[static_cast<std::size_t>(list - 1)];
            if (!exists(list) || ((in.changes || in.changes1) && !current))
                plan.steps.push_back({ListAction::Compile, list});
        } else if (exists(list) && (in.changes || released(list))) {
            plan.steps.push_back({ListAction::Delete, list});
        }
    }
    for (int list = 1; list <= count; ++list)
        if (checked(list)) plan.calls.push_back(list);
    return plan;
}

void DisplayListBlock::assign(std::uint32_t base, int count) {
    base_ = base;
    exists_.assign(static_cast<std::size_t>(count < 0 ? 0 : count), false);
}

void DisplayListBlock::clear() {
    base_ = 0;
    exists_.clear();
}

bool DisplayListBlock::exists(int list) const {
    return at(exists_, list - 1);
}

void DisplayListBlock::set_exists(int list, bool value) {
    if (list >= 1 && static_cast<std::size_t>(list) <= exists_.size())
        exists_[static_cast<std::size_t>(list - 1)] = value;
}

void RenderState::record(ListEvent event) {
    if (log.size() >= kLogLimit)
        log.erase(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(kLogLimit / 2));
    log.push_back(event);
}

std::string to_string(const std::vector<ListEvent>& log) {
    std::string s;
    for (const ListEvent& e : log) {
        if (!s.empty()) s += ' ';
        s += e.action == ListAction::Compile ? 'C' : 'D';
        s += std::to_string(e.list);
    }
    return s;
}

} // namespace orv
