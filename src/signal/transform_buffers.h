// SPDX-License-Identifier: Apache-2.0
// Buffers of the transforms: aligned so that vector loads of any width start on a boundary.
#pragma once

#include <complex>
#include <cstddef>
#include <limits>
#include <new>
#include <vector>

namespace quorvanta::detail {

// Every transform buffer starts on a 64-byte boundary, enough for any SIMD width.
inline constexpr std::size_t kTransformAlignment = 64;

template <typename T>
struct AlignedAllocator {
    using value_type = T;

    AlignedAllocator() = default;
    template <typename U>
    constexpr AlignedAllocator(const AlignedAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        if (count > std::numeric_limits<std::size_t>::max() / sizeof(T))
            throw std::bad_array_new_length();
        return static_cast<T*>(
            ::operator new (count * sizeof(T), std::align_val_t{kTransformAlignment}));
    }
    void deallocate(T* p, std::size_t) noexcept {
        ::operator delete (p, std::align_val_t{kTransformAlignment});
    }

    template <typename U>
    bool operator==(const AlignedAllocator<U>&) const noexcept {
        return true;
    }
};

using RealBuffer = std::vector<float, AlignedAllocator<float>>;
using TransformBuffer = std::vector<std::complex<float>, AlignedAllocator<std::complex<float>>>;

}  // namespace quorvanta::detail
