#pragma once
// Memory for the model's large arrays: mapped pages, zero-filled, touched
// only when written; and how much memory there is to be had.

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace orv {

// Memory for large arrays, zero-filled. Blocks of a MiB or more are mapped
// fresh from the system, aligned to 2 MiB and advised to be backed by 2 MiB
// pages where the system allows (transparent huge pages in "madvise" mode):
// where the first touch of every 4 KiB page is a costly trap (about 10 us in
// virtual machines with shadow paging), that is one fault per 2 MiB instead
// of 512. Smaller blocks come from calloc. `bytes` must be the same in both
// calls.
void* allocate_pages(std::size_t bytes);
void free_pages(void* p, std::size_t bytes) noexcept;

// Asks the system to back a fresh, untouched block of 4 MiB or more with
// 2 MiB pages where it allows them (one fault where there were 512); only
// advice, refused it changes nothing. Blocks from allocate_pages need none.
void advise_huge_pages(void* data, std::size_t bytes);

// Allocator for buffers of plain values that grow large: memory from
// allocate_pages, elements constructed as usual.
template <class T> struct PageAllocator {
    using value_type = T;
    PageAllocator() = default;
    template <class U> PageAllocator(const PageAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        return static_cast<T*>(allocate_pages((n ? n : 1) * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { free_pages(p, (n ? n : 1) * sizeof(T)); }
    template <class U> bool operator==(const PageAllocator<U>&) const noexcept { return true; }
};

// Allocator for the model's big arrays: memory comes zeroed (for large
// blocks, fresh pages that the system zeroes on first touch) and resize()
// leaves it untouched, so sizing a 400 MB model costs no pass over memory;
// the reader fills the pages while it parses.
template <class T> struct ZeroedAllocator : PageAllocator<T> {
    ZeroedAllocator() = default;
    template <class U> ZeroedAllocator(const ZeroedAllocator<U>&) noexcept {}
    template <class U> struct rebind { using other = ZeroedAllocator<U>; };
    template <class U> void construct(U*) noexcept {} // already zero
    template <class U, class... A> void construct(U* p, A&&... a) {
        ::new (static_cast<void*>(p)) U(static_cast<A&&>(a)...);
    }
    template <class U> bool operator==(const ZeroedAllocator<U>&) const noexcept { return true; }
};
template <class T> using ZeroedVector = std::vector<T, ZeroedAllocator<T>>;

// The one probe of this machine's memory, for every budget (readers, list
// store): what the system can give us now, MemAvailable (or the physical
// memory when /proc cannot be read), and no more than the address space
// left under the process's limit (ulimit -v). In bytes.
std::uint64_t machine_memory();

} // namespace orv
