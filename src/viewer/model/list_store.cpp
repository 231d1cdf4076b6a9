#include "viewer/model/list_store.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace orv {

void ListSource::load_displacement(int d, std::span<double>) {
    throw std::logic_error("this source has no shared displacement " + std::to_string(d));
}

std::optional<double> ListSource::value_at(int, std::int32_t) {
    return std::nullopt;
}

ListStore::ListStore(std::int32_t nnode, std::int32_t nlista)
    : nnode_(std::max(nnode, 0)), nlista_(std::max(nlista, 0)), refs_(static_cast<std::size_t>(nlista_) + 1) {
}

void ListStore::set_source(std::shared_ptr<ListSource> source) {
    source_ = std::move(source);
}

void ListStore::check_list(int k) const {
    if (k < 1 || k > nlista_)
        throw std::out_of_range("list " + std::to_string(k) + " outside 1.." + std::to_string(nlista_));
}

void ListStore::set_displacement(int k, DisplacementRef ref) {
    check_list(k);
    if (ref.kind == DisplacementRef::Kind::shared && (ref.field < 1 || ref.field > shared_count_))
        throw std::out_of_range("shared displacement " + std::to_string(ref.field) + " does not exist");
    if (ref.kind == DisplacementRef::Kind::lists)
        for (const int l : ref.lists)
            check_list(l);
    refs_[static_cast<std::size_t>(k)] = ref;
}

DisplacementRef ListStore::displacement_ref(int k) const {
    check_list(k);
    return refs_[static_cast<std::size_t>(k)];
}

int ListStore::add_shared_displacement() {
    return ++shared_count_;
}

std::vector<DisplacementRef> ListStore::displacement_plan() const {
    return refs_;
}

void ListStore::set_displacement_plan(const std::vector<DisplacementRef>& plan) {
    if (plan.size() != refs_.size()) throw std::logic_error("displacement plan of another model");
    refs_ = plan;
}

ListStore::Key ListStore::displacement_key(int k, const DisplacementRef& ref) const {
    switch (ref.kind) {
    case DisplacementRef::Kind::own:
        return {1, k, 0, 0};
    case DisplacementRef::Kind::shared:
        return {2, ref.field, 0, 0};
    case DisplacementRef::Kind::lists:
        return {3, ref.lists[0], ref.lists[1], ref.lists[2]};
    case DisplacementRef::Kind::none:
        break;
    }
    return {-1, 0, 0, 0};
}

std::span<double> ListStore::make_resident(const Key& key) {
    {
        std::lock_guard lock(mu_);
        const auto it = slots_.find(key);
        if (it != slots_.end() && it->second.resident) return *it->second.resident;
    }
    // Start from what the source has, when it has it; zeros otherwise.
    ListBlock start;
    const bool from_source = source_ && (key.kind != 2 || key.a <= shared_count_);
    if (from_source) {
        try {
            const Block b = get(key);
            start = *b;
        } catch (const std::logic_error&) {
            start.clear(); // the source has no such block: start from zeros
        }
    }
    const std::size_t n = (static_cast<std::size_t>(nnode_) + 1) * (key.kind == 0 ? 1 : 3);
    if (start.size() != n) start = ListBlock(n);
    auto block = std::make_shared<ListBlock>(std::move(start));
    std::lock_guard lock(mu_);
    Slot& s = slots_[key];
    if (s.block && !s.resident) {
        loaded_bytes_ -= s.block->size() * sizeof(double);
        lru_.erase(s.lru);
    }
    s.resident = block;
    s.block = block;
    return *block;
}

std::span<double> ListStore::resident_values(int k) {
    check_list(k);
    return make_resident({0, k, 0, 0});
}

std::span<double> ListStore::resident_own_displacement(int k) {
    check_list(k);
    auto& ref = refs_[static_cast<std::size_t>(k)];
    if (ref.kind == DisplacementRef::Kind::none) ref.kind = DisplacementRef::Kind::own;
    return make_resident({1, k, 0, 0});
}

std::span<double> ListStore::resident_shared_displacement(int d) {
    if (d < 1 || d > shared_count_)
        throw std::out_of_range("shared displacement " + std::to_string(d) + " does not exist");
    return make_resident({2, d, 0, 0});
}

std::vector<std::pair<ListStore::Key, ListStore::Block>> ListStore::load(const Key& key) const {
    const std::size_t rows = static_cast<std::size_t>(nnode_) + 1;
    std::vector<std::pair<Key, Block>> out;
    if (key.kind == 3) {
        // Made of three lists' values, node by node.
        const Block x = get({0, key.a, 0, 0}), y = get({0, key.b, 0, 0}), z = get({0, key.c, 0, 0});
        auto xyz = std::make_shared<ListBlock>(3 * rows);
        for (std::size_t i = 1; i < rows; ++i) {
            (*xyz)[3 * i] = (*x)[i];
            (*xyz)[3 * i + 1] = (*y)[i];
            (*xyz)[3 * i + 2] = (*z)[i];
        }
        out.emplace_back(key, std::move(xyz));
        return out;
    }
    if (!source_) {
        // Nothing was ever set: zeros, as a model that was only sized holds.
        out.emplace_back(key, std::make_shared<ListBlock>(rows * (key.kind == 0 ? 1 : 3)));
        return out;
    }
    if (key.kind == 2) {
        auto xyz = std::make_shared<ListBlock>(3 * rows);
        source_->load_displacement(key.a, *xyz);
        out.emplace_back(key, std::move(xyz));
        return out;
    }
    // A list's values, with its own displacement when it carries one.
    const int k = key.a;
    const bool own = refs_[static_cast<std::size_t>(k)].kind == DisplacementRef::Kind::own;
    auto values = std::make_shared<ListBlock>(rows);
    std::shared_ptr<ListBlock> xyz;
    if (own) xyz = std::make_shared<ListBlock>(3 * rows);
    source_->load_list(k, *values, xyz ? std::span<double>(*xyz) : std::span<double>());
    (*values)[0] = 0;
    out.emplace_back(Key{0, k, 0, 0}, std::move(values));
    if (xyz) out.emplace_back(Key{1, k, 0, 0}, std::move(xyz));
    return out;
}

ListStore::Block ListStore::get(const Key& key) const {
    for (;;) {
        std::unique_lock lock(mu_);
        auto it = slots_.find(key);
        if (it != slots_.end() && it->second.block) {
            Slot& s = it->second;
            if (!s.resident) lru_.splice(lru_.end(), lru_, s.lru);
            return s.block;
        }
        if (it != slots_.end() && it->second.pending.valid()) {
            const std::shared_future<void> wait = it->second.pending;
            lock.unlock();
            wait.get(); // rethrows the loader's failure
            continue;   // loaded (or, with a tiny budget, already dropped again)
        }
        // This thread loads. The keys one load fills (a list and its own
        // displacement) are marked together, so no other thread asks the
        // source for the same list meanwhile.
        std::vector<Key> keys{key};
        if ((key.kind == 0 || key.kind == 1) &&
            refs_[static_cast<std::size_t>(key.a)].kind == DisplacementRef::Kind::own)
            keys.push_back(Key{key.kind == 0 ? 1 : 0, key.a, 0, 0});
        bool busy = false;
        for (std::size_t i = 1; i < keys.size(); ++i) {
            const auto o = slots_.find(keys[i]);
            if (o != slots_.end() && o->second.pending.valid()) {
                const std::shared_future<void> wait = o->second.pending;
                lock.unlock();
                wait.get();
                busy = true;
                break;
            }
        }
        if (busy) continue;
        std::promise<void> done;
        const std::shared_future<void> marker = done.get_future().share();
        std::vector<Key> marked;
        for (const Key& k : keys) {
            Slot& s = slots_[k];
            if (s.block) continue; // the sibling is in memory already
            s.pending = marker;
            marked.push_back(k);
        }
        lock.unlock();

        std::vector<std::pair<Key, Block>> loaded;
        try {
            loaded = load(key);
        } catch (...) {
            lock.lock();
            for (const Key& k : marked)
                slots_.erase(k);
            lock.unlock();
            done.set_exception(std::current_exception());
            throw;
        }
        lock.lock();
        Block result;
        for (auto& [k, b] : loaded) {
            if (k == key) result = b;
            Slot& s = slots_[k];
            s.pending = {};
            if (s.block) continue; // resident or loaded meanwhile: keep that one
            s.block = std::move(b);
            lru_.push_back(k);
            s.lru = std::prev(lru_.end());
            loaded_bytes_ += s.block->size() * sizeof(double);
        }
        for (const Key& k : marked) {
            const auto m = slots_.find(k);
            if (m != slots_.end() && !m->second.block) slots_.erase(m);
        }
        const auto own = slots_.find(key);
        if (own != slots_.end() && own->second.block) result = own->second.block;
        evict();
        lock.unlock();
        done.set_value();
        return result;
    }
}

void ListStore::evict() const {
    // The default is looked up at the first load, not for every model made.
    if (!budget_) budget_ = default_budget();
    for (auto it = lru_.begin(); it != lru_.end() && loaded_bytes_ > *budget_;) {
        const auto s = slots_.find(*it);
        // Held by a handle (or by the caller about to return it): pinned.
        if (s == slots_.end() || s->second.block.use_count() > 1) {
            ++it;
            continue;
        }
        loaded_bytes_ -= s->second.block->size() * sizeof(double);
        slots_.erase(s);
        it = lru_.erase(it);
    }
}

ListValues ListStore::values(int k) const {
    check_list(k);
    return ListValues(get({0, k, 0, 0}));
}

ListValues ListStore::values_passing(int k) const {
    check_list(k);
    const Key key{0, k, 0, 0};
    bool held = false;
    {
        std::lock_guard lock(mu_);
        const auto it = slots_.find(key);
        held = it != slots_.end() && (it->second.block || it->second.pending.valid());
    }
    if (held || !source_) return values(k);
    for (auto& [loaded, block] : load(key))
        if (loaded == key) return ListValues(std::move(block));
    return values(k);
}

DisplacementValues ListStore::displacement(int k) const {
    check_list(k);
    const DisplacementRef ref = refs_[static_cast<std::size_t>(k)];
    if (ref.kind == DisplacementRef::Kind::none) return {};
    return DisplacementValues(get(displacement_key(k, ref)));
}

double ListStore::value_at(int k, std::int32_t node) const {
    check_list(k);
    if (node < 0 || node > nnode_)
        throw std::out_of_range("node " + std::to_string(node) + " outside the model");
    {
        std::lock_guard lock(mu_);
        const auto it = slots_.find(Key{0, k, 0, 0});
        if (it != slots_.end() && it->second.block)
            return (*it->second.block)[static_cast<std::size_t>(node)];
    }
    if (source_ && node > 0)
        if (const std::optional<double> v = source_->value_at(k, node)) return *v;
    return values(k)[static_cast<std::size_t>(node)];
}

void ListStore::set_budget(std::size_t bytes) {
    std::lock_guard lock(mu_);
    budget_ = bytes;
    evict();
}

std::size_t ListStore::budget() const {
    std::lock_guard lock(mu_);
    if (!budget_) budget_ = default_budget();
    return *budget_;
}

std::size_t ListStore::loaded_bytes() const {
    std::lock_guard lock(mu_);
    return loaded_bytes_;
}

std::size_t ListStore::bytes_held() const {
    std::lock_guard lock(mu_);
    std::size_t bytes = 0;
    for (const auto& [key, slot] : slots_)
        if (slot.block) bytes += slot.block->size() * sizeof(double);
    return bytes;
}

void ListStore::drop_unpinned() {
    std::lock_guard lock(mu_);
    const std::optional<std::size_t> keep = budget_;
    budget_ = 0;
    evict();
    budget_ = keep;
}

std::size_t ListStore::default_budget() {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    if (const char* env = std::getenv("ORVANEL_CACHE_MB"); env && *env) {
        char* end = nullptr;
        const unsigned long long mb = std::strtoull(env, &end, 10);
        if (end && *end == '\0' && mb < (std::size_t(-1) >> 21)) return static_cast<std::size_t>(mb) * kMiB;
    }
    const std::uint64_t quarter = machine_memory() / 4;
    return static_cast<std::size_t>(std::max<std::uint64_t>(quarter, 256 * kMiB));
}

} // namespace orv
