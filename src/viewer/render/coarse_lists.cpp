#include "viewer/render/coarse_lists.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace orv {

namespace {

constexpr std::uint64_t kEmpty = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint32_t kMaxClusters = 1u << 21;

// Open-addressing map from 64-bit keys (never kEmpty) to dense indices
// 0, 1, 2, ... in order of first insertion.
class IndexMap {
  public:
    IndexMap() { rehash(1024); }
    // The index of key, inserting it as the next one if new.
    std::uint32_t find_or_add(std::uint64_t key, bool& added) {
        if (4 * (count_ + 1) > 3 * keys_.size()) rehash(2 * keys_.size());
        std::size_t i = slot(key);
        while (keys_[i] != kEmpty) {
            if (keys_[i] == key) {
                added = false;
                return values_[i];
            }
            i = (i + 1) & (keys_.size() - 1);
        }
        keys_[i] = key;
        values_[i] = count_;
        added = true;
        return count_++;
    }
    std::uint32_t size() const { return count_; }

  private:
    std::size_t slot(std::uint64_t key) const {
        key ^= key >> 31;
        key *= 0x7fb5d329728ea185ULL;
        key ^= key >> 27;
        return static_cast<std::size_t>(key) & (keys_.size() - 1);
    }
    void rehash(std::size_t size) {
        std::vector<std::uint64_t> keys(size, kEmpty);
        std::vector<std::uint32_t> values(size);
        keys.swap(keys_);
        values.swap(values_);
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (keys[i] == kEmpty) continue;
            std::size_t j = slot(keys[i]);
            while (keys_[j] != kEmpty)
                j = (j + 1) & (keys_.size() - 1);
            keys_[j] = keys[i];
            values_[j] = values[i];
        }
    }
    std::vector<std::uint64_t> keys_;
    std::vector<std::uint32_t> values_;
    std::uint32_t count_ = 0;
};

struct Cluster {
    double x = 0, y = 0, z = 0;
    std::uint32_t count = 0;
};

// Coarse pieces of one style being gathered.
struct CoarseRun {
    PieceStyle style;
    IndexMap pieces;                   // sorted cluster ids -> coarse piece
    std::vector<std::uint32_t> corner; // cluster of each corner, vertices_per_piece per piece
    std::vector<float> colour_sum;     // 4 per corner
    std::vector<std::uint32_t> merged; // full pieces merged into each coarse piece
};

} // namespace

ClusterGrid ClusterGrid::over(const PieceChunks& chunks, int cells_across) {
    double lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
    for (const PieceChunk& c : chunks)
        for (std::size_t i = 0; i + 2 < c.xyz.size(); i += 3)
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], static_cast<double>(c.xyz[i + a]));
                hi[a] = std::max(hi[a], static_cast<double>(c.xyz[i + a]));
            }
    ClusterGrid g;
    double extent = 0;
    for (int a = 0; a < 3; ++a) {
        if (!(lo[a] <= hi[a])) lo[a] = hi[a] = 0; // no vertices, or not finite
        g.lo[a] = lo[a];
        extent = std::max(extent, hi[a] - lo[a]);
    }
    const int n = std::clamp(cells_across, 1, 1 << 20);
    g.cell = extent > 0 && std::isfinite(extent) ? extent / n : 1;
    return g;
}

std::uint64_t ClusterGrid::key(const float* xyz) const {
    std::uint64_t k = 0;
    for (int a = 0; a < 3; ++a) {
        const double c = std::floor((xyz[a] - lo[a]) / cell);
        const std::uint64_t i =
            c >= 0 ? (c < double(1 << 21) ? static_cast<std::uint64_t>(c) : (1u << 21) - 1) : 0;
        k |= i << (21 * a);
    }
    return k;
}

PieceChunks coarsen_chunks(const PieceChunks& full, const ClusterGrid& grid,
                           const std::atomic<bool>* cancel) {
    IndexMap cells;
    std::vector<Cluster> clusters;
    std::vector<CoarseRun> runs;
    std::size_t since_check = 0;

    for (const PieceChunk& chunk : full) {
        if (cancel && cancel->load(std::memory_order_relaxed)) return {};
        auto run = std::find_if(runs.begin(), runs.end(),
                                [&](const CoarseRun& r) { return r.style == chunk.style; });
        if (run == runs.end()) {
            runs.emplace_back();
            runs.back().style = chunk.style;
            run = runs.end() - 1;
        }
        const int per = vertices_per_piece(chunk.style.mode);
        const bool coloured = chunk.style.colour_per_vertex;
        const bool textured = chunk.style.textured;
        const std::size_t n = chunk.vertices() / static_cast<std::size_t>(per);
        std::uint32_t id[3];
        for (std::size_t p = 0; p < n; ++p) {
            const std::size_t v0 = p * static_cast<std::size_t>(per);
            for (int i = 0; i < per; ++i) {
                const float* xyz = &chunk.xyz[3 * (v0 + static_cast<std::size_t>(i))];
                bool added = false;
                id[i] = cells.find_or_add(grid.key(xyz), added);
                if (added) {
                    if (id[i] >= kMaxClusters) return {};
                    clusters.emplace_back();
                }
                Cluster& c = clusters[id[i]];
                c.x += xyz[0];
                c.y += xyz[1];
                c.z += xyz[2];
                ++c.count;
            }
            if (++since_check == 16384) {
                since_check = 0;
                if (cancel && cancel->load(std::memory_order_relaxed)) return {};
            }
            if ((per >= 2 && id[0] == id[1]) || (per == 3 && (id[1] == id[2] || id[0] == id[2]))) continue;
            std::uint32_t sorted[3] = {id[0], per >= 2 ? id[1] : 0, per == 3 ? id[2] : 0};
            std::sort(sorted, sorted + per);
            const std::uint64_t key =
                std::uint64_t(sorted[0]) | std::uint64_t(sorted[1]) << 21 | std::uint64_t(sorted[2]) << 42;
            bool added = false;
            const std::uint32_t q = run->pieces.find_or_add(key, added);
            if (added) {
                run->corner.insert(run->corner.end(), id, id + per);
                run->colour_sum.resize(run->colour_sum.size() + 4 * static_cast<std::size_t>(per), 0.0f);
                run->merged.push_back(0);
            }
            ++run->merged[q];
            if (!coloured && !textured) continue;
            const std::size_t base = static_cast<std::size_t>(q) * static_cast<std::size_t>(per);
            for (int i = 0; i < per; ++i) {
                // The coarse corner that this full corner's cluster became.
                int at = 0;
                while (run->corner[base + static_cast<std::size_t>(at)] != id[i])
                    ++at;
                float* sum = &run->colour_sum[4 * (base + static_cast<std::size_t>(at))];
                if (textured) {
                    // The mean texture coordinate: the colour of the mean value.
                    sum[0] += chunk.tex[v0 + static_cast<std::size_t>(i)];
                    continue;
                }
                const float* rgba = &chunk.rgba[4 * (v0 + static_cast<std::size_t>(i))];
                for (int k = 0; k < 4; ++k)
                    sum[k] += rgba[k];
            }
        }
    }

    PieceChunks coarse;
    for (const CoarseRun& run : runs) {
        PieceChunk out;
        out.style = run.style;
        const int per = vertices_per_piece(run.style.mode);
        out.xyz.reserve(3 * run.corner.size());
        if (run.style.colour_per_vertex) out.rgba.reserve(4 * run.corner.size());
        if (run.style.textured) out.tex.reserve(run.corner.size());
        for (std::size_t v = 0; v < run.corner.size(); ++v) {
            const Cluster& c = clusters[run.corner[v]];
            out.xyz.push_back(static_cast<float>(c.x / c.count));
            out.xyz.push_back(static_cast<float>(c.y / c.count));
            out.xyz.push_back(static_cast<float>(c.z / c.count));
            if (!run.style.colour_per_vertex && !run.style.textured) continue;
            const float m = static_cast<float>(run.merged[v / static_cast<std::size_t>(per)]);
            if (run.style.textured) {
                out.tex.push_back(run.colour_sum[4 * v] / m);
                continue;
            }
            for (int k = 0; k < 4; ++k)
                out.rgba.push_back(run.colour_sum[4 * v + static_cast<std::size_t>(k)] / m);
        }
        if (!out.xyz.empty()) coarse.push_back(std::move(out));
    }
    return coarse;
}

} // namespace orv
