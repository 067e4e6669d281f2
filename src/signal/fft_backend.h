// The Fourier transform behind compute_spectrum, kept to one small interface so that the library
// providing it can be swapped. The buffer type carries the alignment the transform requires.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

namespace quorvanta::detail {

// Every transform buffer starts on a 64-byte boundary, enough for any SIMD width the transform
// library uses, so that plans made on one buffer run on any other.
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

// Forward, unnormalised transform of real samples: X[k] = sum_j x[j] e^(-2 pi i jk / N) with
// N = input.size(), a power of two of at least 2. Fills `output` with X[k] for k = 0 .. N/2 (the
// other half of a real input's spectrum mirrors these); `input` is left unchanged. Thread-safe for
// distinct buffers.
void forward_real_transform(const RealBuffer& input, TransformBuffer& output);

}  // namespace quorvanta::detail
