// The type of the sorted list: a vector of 32-bit numbers whose new elements
// are left as they are, so that the list can be sized before several threads
// write their parts of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "system/largePages.h"

// std::allocator, except that an element made without a value is left
// uninitialised rather than zeroed: resize() then only sets the size, and
// the system supplies each page when it is first written, on whichever
// thread writes it. Elements given a value are made as usual. On a 64-bit
// system, storage of kAlignedFrom bytes or more starts on a large page's boundary,
// so that whole large pages can cover it; the alignment costs address space,
// never memory. A 32-bit one, which has no address space to spare (a list
// of 1 GiB would then want 1 GiB and 2 MiB in one piece), takes no large
// pages and no alignment.
template <typename T>
struct UninitialisedAllocator : std::allocator<T> {
    static constexpr std::size_t kAlignedFrom =
        sizeof(void*) >= 8 ? std::size_t{4} << 20 : SIZE_MAX;
    static constexpr std::align_val_t kAlignment{kLargePage};

    T* allocate(std::size_t n) {
        if (n < kAlignedFrom / sizeof(T)) {
            return std::allocator<T>::allocate(n);
        }
        if (n > std::allocator_traits<std::allocator<T>>::max_size(*this)) {
            throw std::bad_array_new_length();
        }
        return static_cast<T*>(::operator new(n * sizeof(T), kAlignment));
    }
    void deallocate(T* p, std::size_t n) noexcept {
        if (n < kAlignedFrom / sizeof(T)) {
            std::allocator<T>::deallocate(p, n);
        } else {
            ::operator delete(p, kAlignment);
        }
    }

    template <typename U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };

    UninitialisedAllocator() = default;
    template <typename U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}

    template <typename U>
    void construct(U* at) noexcept {
        ::new (static_cast<void*>(at)) U;
    }
    template <typename U, typename... Args>
    void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};

using NumberList = std::vector<std::int32_t, UninitialisedAllocator<std::int32_t>>;
