// The type of the sorted list: a vector of 32-bit numbers whose new elements
// are left as they are, so that the list can be sized before several threads
// write their parts of it.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <vector>

// std::allocator, except that an element made without a value is left
// uninitialised rather than zeroed: resize() then only sets the size, and
// the system supplies each page when it is first written, on whichever
// thread writes it. Elements given a value are made as usual.
template <typename T>
struct UninitialisedAllocator : std::allocator<T> {
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
