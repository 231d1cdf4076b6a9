#include "viewer/model/result_model.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <sys/mman.h>

namespace orv {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kMapFrom = std::size_t{1} << 20;

std::size_t mapped_bytes(std::size_t bytes) {
    return (bytes + kHugePage - 1) & ~(kHugePage - 1);
}

} // namespace

void* allocate_pages(std::size_t bytes) {
    if (bytes < kMapFrom) {
        if (void* p = std::calloc(bytes, 1)) return p;
        throw std::bad_alloc();
    }
    if (bytes > static_cast<std::size_t>(-1) / 2) throw std::bad_alloc();
    // One huge page more than needed, so that an aligned block fits; the
    // untouched ends go back at once.
    const std::size_t size = mapped_bytes(bytes);
    void* raw = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    const auto begin = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (begin + kHugePage - 1) & ~static_cast<std::uintptr_t>(kHugePage - 1);
    if (aligned > begin) ::munmap(raw, aligned - begin);
    if (const std::uintptr_t tail = begin + size + kHugePage - (aligned + size))
        ::munmap(reinterpret_cast<void*>(aligned + size), tail);
    // Only advice: refused, the pages are 4 KiB as usual.
    ::madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

void free_pages(void* p, std::size_t bytes) noexcept {
    if (!p) return;
    if (bytes < kMapFrom)
        std::free(p);
    else
        ::munmap(p, mapped_bytes(bytes));
}

void advise_huge_pages(void* data, std::size_t bytes) {
    constexpr std::uintptr_t kPage = 4096;
    if (bytes < (4u << 20)) return;
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kPage - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

std::int64_t element_node_count(int family, int order) {
    if (order < 0) return 0;
    const std::int64_t p = order;
    switch (family) {
    case 1:
        return p + 1;
    case 2:
        return (p + 1) * (p + 2) / 2; // the product is always even
    case 3:
        return (p + 1) * (p + 1);
    default:
        return 0;
    }
}

std::uint64_t ResultModel::bytes_needed(std::int64_t nnode, std::int64_t nelem, std::int64_t nlista) {
    // Sizes come straight from the file and may be absurd: compute in long
    // double so that no product overflows, then saturate.
    const long double nodes = static_cast<long double>(nnode) + 1;
    const long double elems = static_cast<long double>(nelem) + 1;
    const long double lists = static_cast<long double>(nlista) + 1;
    long double bytes = nodes * (3 * (lists - 1) + 7) * sizeof(double)          // coord
                        + nodes * lists * sizeof(double)                        // listas
                        + elems * (sizeof(std::int32_t) + sizeof(std::int64_t)) // codes + row starts
                        + lists * (sizeof(std::string) + 2 * sizeof(double));   // names + ranges
    if (bytes > 1.8e19L) return UINT64_MAX;
    return static_cast<std::uint64_t>(bytes);
}

std::int32_t ResultModel::node_with_label(std::int64_t label) const {
    if (node_labels.empty()) return label >= 1 && label <= nnode ? static_cast<std::int32_t>(label) : 0;
    for (std::int32_t i = 1; i <= nnode; ++i)
        if (node_labels[static_cast<std::size_t>(i)] == label) return i;
    return 0;
}

void finish_model(ResultModel& m, const FoundRanges* found) {
    const auto fits = [](const std::vector<std::int64_t>& labels, std::int32_t n) {
        return labels.empty() || labels.size() == static_cast<std::size_t>(n) + 1;
    };
    if (!fits(m.node_labels, m.nnode) || !fits(m.element_labels, m.nelem))
        throw std::logic_error("labels do not match the model's sizes");
    if (!m.element_blocks.empty() && m.element_blocks.size() != static_cast<std::size_t>(m.nelem) + 1)
        throw std::logic_error("element blocks do not match the model's sizes");
    for (std::size_t e = 1; e < m.element_blocks.size(); ++e)
        if (m.element_blocks[e] != ResultModel::kNoBlock && m.element_blocks[e] >= m.block_names.size())
            throw std::logic_error("an element's block is not among the model's blocks");
    const std::size_t lists = static_cast<std::size_t>(m.nlista) + 1;
    if (found && found->lists.size() != lists)
        throw std::logic_error("ranges do not match the model's lists");
    if (!m.range_pending.empty() && m.range_pending.size() != lists)
        throw std::logic_error("pending ranges do not match the model's lists");
    const auto pending = [&](std::size_t k) { return !m.range_pending.empty() && m.range_pending[k]; };
    m.maxlista.assign(lists, {0.0, 0.0});
    m.maxscale = 0;
    if (m.nnode > 0) {
        if (found) {
            m.maxscale = found->maxscale;
        } else {
            for (std::int32_t i = 1; i <= m.nnode; ++i) {
                const double* row = m.coord_row(static_cast<std::size_t>(i));
                for (int j = 1; j <= 6; ++j)
                    if (std::fabs(row[j]) > m.maxscale) m.maxscale = std::fabs(row[j]);
            }
        }
        const auto nnode = static_cast<std::size_t>(m.nnode);
        if (found) {
            for (std::size_t k = 1; k < lists; ++k)
                if (!pending(k)) m.maxlista[k] = found->lists[k];
        } else {
            // List by list, each read once through a handle. A NaN (a node
            // without a value, imported files only) is left out by the
            // comparisons; a list of nothing else has range (0, 0).
            constexpr double inf = std::numeric_limits<double>::infinity();
            for (std::size_t k = 1; k < lists; ++k) {
                if (pending(k)) continue; // measured later, without reading it now
                const ListValues v = m.values(static_cast<int>(k));
                auto& range = m.maxlista[k];
                range =
                    std::isnan(v[1]) ? std::array<double, 2>{inf, -inf} : std::array<double, 2>{v[1], v[1]};
                for (std::size_t i = 2; i <= nnode; ++i) {
                    if (v[i] < range[0]) range[0] = v[i];
                    if (v[i] > range[1]) range[1] = v[i];
                }
                if (range[0] > range[1]) range = {0.0, 0.0};
            }
        }
    }
    if (std::find(m.range_pending.begin(), m.range_pending.end(), std::uint8_t{1}) == m.range_pending.end())
        m.range_pending.clear();
    fold_common_range(m);
}

void fold_common_range(ResultModel& m) {
    const std::size_t lists = static_cast<std::size_t>(m.nlista) + 1;
    if (m.maxlista.size() != lists) throw std::logic_error("ranges do not match the model's lists");
    auto& all = m.maxlista[0];
    all = {0.0, 0.0};
    if (m.nnode > 0) {
        // The common range folds in each list's range as a running update
        // per node would, where the first list's common range restarts at
        // every node (so it ends at the last node's value when tied). Lists
        // still pending are left out; the first known one starts the fold.
        const auto nnode = static_cast<std::size_t>(m.nnode);
        bool any = false;
        for (std::size_t k = 1; k < lists; ++k) {
            if (!m.range_pending.empty() && m.range_pending[k]) continue;
            const std::array<double, 2> range = m.maxlista[k];
            if (k == 1) {
                const double last = m.listas(nnode, 1);
                if (std::isnan(last)) // a node without a value (imported files only) stays out
                    all = range;
                else
                    all = {range[0] < last ? range[0] : last, range[1] > last ? range[1] : last};
            } else if (!any) {
                all = range;
            } else {
                if (range[0] < all[0]) all[0] = range[0];
                if (range[1] > all[1]) all[1] = range[1];
            }
            any = true;
        }
    }
    m.valmin = all[0];
    m.valmax = all[1];
}

} // namespace orv
