#pragma once
// The values of a model's result lists, and the displacement that moves
// each list, read when something needs them and kept in a cache with a
// memory budget.
//
// Lists are numbered 1..nlista as in the model. A list's values are nnode+1
// doubles, entry 0 zero, entry i the value at node i. A displacement is
// 3*(nnode+1) doubles, node i's X Y Z at 3i..3i+2 (entries 0..2 zero).
//
// A list's values come from one of two places: resident values set by code
// (tests, importers that read eagerly, the Python module), never evicted;
// or the store's ListSource, which reads them from the file when asked.
// Loaded blocks live in a cache: when the loaded bytes exceed the budget,
// the least recently used blocks that no handle holds are dropped first.
// A handle pins its block: it stays valid, and unchanged, while any copy of
// the handle lives, whatever the cache does.
//
// The accessors (values, displacement, value_at) are safe to call from
// several threads at once: two threads asking for one block load it once.
// The setup calls (set_source, set_*_displacement, resident_*) are not;
// make them before the store is shared between threads.

#include "viewer/model/page_memory.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <future>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace orv {

// One block of a list store: values or displacements, zero-filled pages.
using ListBlock = ZeroedVector<double>;

// Reads the lists of one file. Every call may come from any thread, and
// calls for different lists may run at the same time. A failure throws
// (the reader's own exception, e.g. ReadError, which reaches the caller of
// the store's accessor unchanged); the store then keeps nothing of it.
class ListSource {
  public:
    virtual ~ListSource() = default;
    // Fills list k's values: `values` has nnode+1 entries, all zero on
    // entry. `displacement` is empty, or, when list k carries its own
    // displacement (set_own_displacement), 3*(nnode+1) entries, all zero,
    // to fill with it.
    virtual void load_list(int k, std::span<double> values, std::span<double> displacement) = 0;
    // Fills shared displacement field d (see add_shared_displacement),
    // 3*(nnode+1) entries, all zero on entry. The default has none.
    virtual void load_displacement(int d, std::span<double> xyz);
    // Node `node`'s value in list k read without loading the whole list, or
    // nothing when the source cannot do that more cheaply than a load.
    virtual std::optional<double> value_at(int k, std::int32_t node);
};

// A pinned, read-only block of doubles; empty when there is nothing to
// read (a list without displacement: zeros).
class BlockHandle {
  public:
    BlockHandle() = default;
    explicit BlockHandle(std::shared_ptr<const ListBlock> block) : block_(std::move(block)) {}
    const double* data() const { return block_ ? block_->data() : nullptr; }
    std::size_t size() const { return block_ ? block_->size() : 0; }
    bool empty() const { return size() == 0; }
    double operator[](std::size_t i) const { return (*block_)[i]; }
    std::span<const double> span() const { return {data(), size()}; }

  private:
    std::shared_ptr<const ListBlock> block_;
};
using ListValues = BlockHandle;
using DisplacementValues = BlockHandle;

// Where a list's displacement comes from.
struct DisplacementRef {
    enum class Kind { none, own, shared, lists };
    Kind kind = Kind::none;
    int field = 0;              // shared: the field 1..shared_displacements()
    std::array<int, 3> lists{}; // lists: the lists whose values are X, Y, Z
    bool operator==(const DisplacementRef&) const = default;
};

class ListStore {
  public:
    explicit ListStore(std::int32_t nnode = 0, std::int32_t nlista = 0);
    ListStore(const ListStore&) = delete;
    ListStore& operator=(const ListStore&) = delete;

    std::int32_t nnode() const { return nnode_; }
    std::int32_t nlista() const { return nlista_; }

    // ---- setup ----
    // The source of every list that has no resident values.
    void set_source(std::shared_ptr<ListSource> source);
    bool has_source() const { return source_ != nullptr; }
    // List k's displacement: its own (loaded with its values), shared field
    // d of a step (loaded once for every list of the step), made of three
    // lists' values, or none.
    void set_displacement(int k, DisplacementRef ref);
    DisplacementRef displacement_ref(int k) const;
    // A new shared displacement field, numbered from 1; its values come from
    // the source, or from resident_shared_displacement.
    int add_shared_displacement();
    int shared_displacements() const { return shared_count_; }
    // Every list's displacement reference at once (to put back later).
    std::vector<DisplacementRef> displacement_plan() const;
    void set_displacement_plan(const std::vector<DisplacementRef>& plan);

    // Writable resident blocks, created zero-filled (or from the source's
    // values when it has them) on first call. For code that builds a model.
    std::span<double> resident_values(int k);
    // List k's own displacement, made resident (list k's reference becomes
    // "own" if it was "none").
    std::span<double> resident_own_displacement(int k);
    std::span<double> resident_shared_displacement(int d);

    // ---- access (thread-safe) ----
    // Throws std::out_of_range for k outside 1..nlista; a source's failure
    // passes through.
    ListValues values(int k) const;
    // List k's values as values() gives them, but read past the cache when
    // they are not in it: for a pass over every list (measuring ranges) that
    // should neither grow the memory in use nor push out the lists on show.
    ListValues values_passing(int k) const;
    // Empty when list k has no displacement (zeros).
    DisplacementValues displacement(int k) const;
    // One value, from the loaded list when it is in memory, else through the
    // source's single-value read when it has one, else by loading the list.
    double value_at(int k, std::int32_t node) const;

    // ---- cache ----
    void set_budget(std::size_t bytes);
    std::size_t budget() const;
    // Bytes of loaded (non-resident) blocks in the cache now, and of every
    // block the store holds, resident ones included.
    std::size_t loaded_bytes() const;
    std::size_t bytes_held() const;
    // Drops every loaded block no handle holds.
    void drop_unpinned();
    // ORVANEL_CACHE_MB (mebibytes, 0 allowed) when set, else a quarter of
    // machine_memory() (at least 256 MiB).
    static std::size_t default_budget();

  private:
    struct Key {
        int kind; // 0 values, 1 own displacement, 2 shared displacement, 3 from lists
        int a, b, c;
        auto operator<=>(const Key&) const = default;
    };
    using Block = std::shared_ptr<const ListBlock>;
    struct Slot {
        Block block;
        std::shared_ptr<ListBlock> resident; // set for resident blocks (then block == resident)
        std::list<Key>::iterator lru{};
        std::shared_future<void> pending; // valid while a thread loads the block
    };

    void check_list(int k) const;
    Key displacement_key(int k, const DisplacementRef& ref) const;
    Block get(const Key& key) const;
    std::vector<std::pair<Key, Block>> load(const Key& key) const;
    void evict() const; // with mu_ held
    std::span<double> make_resident(const Key& key);

    std::int32_t nnode_ = 0;
    std::int32_t nlista_ = 0;
    int shared_count_ = 0;
    std::shared_ptr<ListSource> source_;
    std::vector<DisplacementRef> refs_;

    mutable std::mutex mu_;
    mutable std::map<Key, Slot> slots_;
    mutable std::list<Key> lru_; // least recently used first
    mutable std::size_t loaded_bytes_ = 0;
    mutable std::optional<std::size_t> budget_; // unset: default_budget(), looked up when first needed
};

} // namespace orv
