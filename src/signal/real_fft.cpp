// SPDX-License-Identifier: Apache-2.0
// real_fft: X[k] = sum_{j < n} x[j] W_N^(jk), W_N = e^(-2 pi i / N), for k = 0 .. N/2 - 1, with x
// zero beyond its n samples.
//   Pairs of samples make L = N/2 complex values z[j] = x[2j] + i x[2j+1], whose transform Z gives
//     X[k] = E[k] + W_N^k O[k],  E[k] = (Z[k] + conj Z[L-k]) / 2,  O[k] = (Z[k] - conj Z[L-k]) / 2i
//   (indices mod L): E and O are the transforms of the even and of the odd samples. Since
//   X[L-k] = conj(E[k] - W_N^k O[k]), each pair k, L-k costs one twiddle product.
//   Z is an iterative decimation-in-time FFT: z in bit-reversed order, then stages that each merge
//   transforms of size q into transforms of size 4q (the first merges size q into 2q when the
//   number of size doublings is odd).
//   Zero padding prunes the first stages: only m = ceil(n/2) values of z are nonzero, so with
//   P = L / bit_ceil(m) the first log2 P stages would merge every value with zeros only, which
//   leaves each block of P positions holding P copies of its one value. The first stage that runs
//   therefore reads its inputs as one value a block, straight from the samples. The heart-rate
//   spectrum (300 samples in 8192 points) runs 4 of 12 stages fewer.
//   Arithmetic is f32 in a fixed order without fused multiply-adds, the same in the vector loops
//   as in the scalar ones. Twiddles come from unit_root; each table depends on its size alone and
//   is computed once for the life of the process, so a result depends on nothing but its input.
//   n = 0 gives zeros; N = 2 gives X[0] = x[0] + x[1].
#include "signal/real_fft.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <type_traits>
#include <vector>

#include "signal/twiddles.h"

namespace quorvanta::detail {
namespace {

struct Twiddles {
    std::vector<float> re;
    std::vector<float> im;
};

// Tables by size s, a power of two: `half` holds W_2s^j and `triple` W_4s^3j for j < s. A merge of
// size q into 4q takes W_4q^j from half(2q), W_4q^2j from half(q) and W_4q^3j from triple(q); the
// merge of s into 2s takes half(s); the final split of N = 2L takes half(L).
class TwiddleCache {
public:
    const Twiddles& half(std::size_t s) { return table(half_, s, 2 * s, 1); }
    const Twiddles& triple(std::size_t s) { return table(triple_, s, 4 * s, 3); }

private:
    static constexpr std::size_t kSizes = 64;
    struct Tables {
        std::array<std::once_flag, kSizes> once;
        std::array<Twiddles, kSizes> tables;
    };

    // Table of W_n^(step j) for j < s, made on first use; later calls only read it.
    static const Twiddles& table(Tables& tables, std::size_t s, std::size_t n, std::size_t step) {
        const auto index = static_cast<std::size_t>(std::countr_zero(s));
        std::call_once(tables.once[index], [&] {
            Twiddles& t = tables.tables[index];
            t.re.resize(s);
            t.im.resize(s);
            for (std::size_t j = 0; j < s; ++j) {
                const UnitRoot w = unit_root(step * j, n);
                t.re[j] = w.re;
                t.im[j] = w.im;
            }
        });
        return tables.tables[index];
    }

    Tables half_;
    Tables triple_;
};

TwiddleCache& twiddles() {
    // Never destroyed, so that transforms run while the process exits still find their tables.
    static TwiddleCache& cache = *new TwiddleCache;
    return cache;
}

// Four floats as one value: GCC's and clang's vector extension, which becomes SSE on x86-64, NEON
// on Arm64 and scalar code where there is neither. Its arithmetic is elementwise IEEE, so the
// loops give the same bits whether they run on Float4 or on float.
using Float4 = float __attribute__((vector_size(16)));
constexpr std::size_t kLanes = 4;

// The floats one value of T holds.
template <class T>
constexpr std::size_t kLanesOf = std::is_same_v<T, Float4> ? kLanes : 1;

// Lane-many consecutive floats as one value T (float or Float4).
template <class T>
T load(const float* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T>
void store(float* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

template <class T>
T broadcast(float value) {
    if constexpr (std::is_same_v<T, float>) {
        return value;
    } else {
        return T{value, value, value, value};
    }
}

template <class T>
struct Complex {
    T re;
    T im;
};

template <class T>
Complex<T> operator+(Complex<T> a, Complex<T> b) {
    return {a.re + b.re, a.im + b.im};
}

template <class T>
Complex<T> operator-(Complex<T> a, Complex<T> b) {
    return {a.re - b.re, a.im - b.im};
}

template <class T>
Complex<T> operator*(Complex<T> w, Complex<T> x) {
    return {w.re * x.re - w.im * x.im, w.re * x.im + w.im * x.re};
}

// a - i b and a + i b.
template <class T>
Complex<T> minus_i_times(Complex<T> a, Complex<T> b) {
    return {a.re + b.im, a.im - b.re};
}

template <class T>
Complex<T> plus_i_times(Complex<T> a, Complex<T> b) {
    return {a.re - b.im, a.im + b.re};
}

// Split storage of the complex values being transformed.
struct Values {
    float* re;
    float* im;

    template <class T>
    Complex<T> get(std::size_t i) const {
        return {load<T>(re + i), load<T>(im + i)};
    }

    template <class T>
    void set(std::size_t i, Complex<T> value) const {
        store(re + i, value.re);
        store(im + i, value.im);
    }
};

template <class T>
Complex<T> twiddle(const Twiddles& w, std::size_t j) {
    return {load<T>(&w.re[j]), load<T>(&w.im[j])};
}

// out[0] = a + w b, out[1] = a - w b: the merge of size s into 2s with w = W_2s^j.
template <class T>
std::array<Complex<T>, 2> butterfly2(Complex<T> a, Complex<T> b, Complex<T> w) {
    const Complex<T> t = w * b;
    return {a + t, a - t};
}

// The merge of size q into 4q at offset j of a block, with W = W_4q and inputs at offsets 0, q,
// 2q, 3q: A = a, B = W^2j b, C = W^j c, D = W^3j d;
//   out = (A + B) + (C + D), (A - B) - i (C - D), (A + B) - (C + D), (A - B) + i (C - D).
template <class T>
std::array<Complex<T>, 4> butterfly4(Complex<T> a, Complex<T> b, Complex<T> c, Complex<T> d,
                                     Complex<T> w1, Complex<T> w2, Complex<T> w3) {
    const Complex<T> bw = w2 * b;
    const Complex<T> sum = a + bw;
    const Complex<T> difference = a - bw;
    const Complex<T> cw = w1 * c;
    const Complex<T> dw = w3 * d;
    const Complex<T> cd_sum = cw + dw;
    const Complex<T> cd_difference = cw - dw;
    return {sum + cd_sum, minus_i_times(difference, cd_difference), sum - cd_sum,
            plus_i_times(difference, cd_difference)};
}

// butterfly2 and butterfly4 where every twiddle is W^0 = 1: the first stage when nothing is pruned.
template <class T>
std::array<Complex<T>, 2> butterfly2(Complex<T> a, Complex<T> b) {
    return {a + b, a - b};
}

template <class T>
std::array<Complex<T>, 4> butterfly4(Complex<T> a, Complex<T> b, Complex<T> c, Complex<T> d) {
    const Complex<T> sum = a + b;
    const Complex<T> difference = a - b;
    const Complex<T> cd_sum = c + d;
    const Complex<T> cd_difference = c - d;
    return {sum + cd_sum, minus_i_times(difference, cd_difference), sum - cd_sum,
            plus_i_times(difference, cd_difference)};
}

// The values z[rev(b)] for b = 0, 1, 2 ..., rev reversing the log2(blocks) low bits of b: the
// one value of each block of the bit-reversed order.
class BitReversedValues {
public:
    BitReversedValues(std::span<const float> x, std::size_t blocks) : x_(x), blocks_(blocks) {}

    Complex<float> next() {
        const std::size_t n = x_.size();
        const Complex<float> value{2 * j_ < n ? x_[2 * j_] : 0.0f,
                                   2 * j_ + 1 < n ? x_[2 * j_ + 1] : 0.0f};
        // Add one to the reversed counter: the carry runs from the top bit down.
        std::size_t bit = blocks_ >> 1;
        while (bit != 0 && (j_ & bit) != 0) {
            j_ ^= bit;
            bit >>= 1;
        }
        j_ |= bit;
        return value;
    }

private:
    std::span<const float> x_;
    std::size_t blocks_;
    std::size_t j_ = 0;
};

template <class T>
Complex<T> broadcast(Complex<float> value) {
    return {broadcast<T>(value.re), broadcast<T>(value.im)};
}

// The first stage that runs, merging blocks of size s (each P copies of one value) into 2s.
template <class T>
void first_radix2(BitReversedValues& values, std::size_t s, std::size_t length, Values v) {
    constexpr std::size_t step = kLanesOf<T>;
    const Twiddles& w = twiddles().half(s);
    for (std::size_t base = 0; base < length; base += 2 * s) {
        const Complex<T> a = broadcast<T>(values.next());
        const Complex<T> b = broadcast<T>(values.next());
        if (s == 1) {
            const auto out = butterfly2(a, b);
            v.set(base, out[0]);
            v.set(base + 1, out[1]);
            continue;
        }
        for (std::size_t j = 0; j < s; j += step) {
            const auto out = butterfly2(a, b, twiddle<T>(w, j));
            v.set(base + j, out[0]);
            v.set(base + j + s, out[1]);
        }
    }
}

// The same into 4q.
template <class T>
void first_radix4(BitReversedValues& values, std::size_t q, std::size_t length, Values v) {
    constexpr std::size_t step = kLanesOf<T>;
    const Twiddles& w1 = twiddles().half(2 * q);
    const Twiddles& w2 = twiddles().half(q);
    const Twiddles& w3 = twiddles().triple(q);
    for (std::size_t base = 0; base < length; base += 4 * q) {
        const Complex<T> a = broadcast<T>(values.next());
        const Complex<T> b = broadcast<T>(values.next());
        const Complex<T> c = broadcast<T>(values.next());
        const Complex<T> d = broadcast<T>(values.next());
        if (q == 1) {
            const auto out = butterfly4(a, b, c, d);
            for (std::size_t k = 0; k < 4; ++k)
                v.set(base + k, out[k]);
            continue;
        }
        for (std::size_t j = 0; j < q; j += step) {
            const auto out =
                butterfly4(a, b, c, d, twiddle<T>(w1, j), twiddle<T>(w2, j), twiddle<T>(w3, j));
            for (std::size_t k = 0; k < 4; ++k)
                v.set(base + j + k * q, out[k]);
        }
    }
}

// A later stage, merging the transforms of size q in place into 4q.
template <class T>
void radix4(std::size_t q, std::size_t length, Values v) {
    constexpr std::size_t step = kLanesOf<T>;
    const Twiddles& w1 = twiddles().half(2 * q);
    const Twiddles& w2 = twiddles().half(q);
    const Twiddles& w3 = twiddles().triple(q);
    for (std::size_t base = 0; base < length; base += 4 * q) {
        for (std::size_t j = base; j < base + q; j += step) {
            const auto out = butterfly4(v.get<T>(j), v.get<T>(j + q), v.get<T>(j + 2 * q),
                                        v.get<T>(j + 3 * q), twiddle<T>(w1, j - base),
                                        twiddle<T>(w2, j - base), twiddle<T>(w3, j - base));
            for (std::size_t k = 0; k < 4; ++k)
                v.set(j + k * q, out[k]);
        }
    }
}

// Z, the transform of the L = `length` values z, into `v`.
void complex_fft(std::span<const float> x, std::size_t length, Values v) {
    const std::size_t nonzero = (x.size() + 1) / 2;
    const std::size_t blocks = std::bit_ceil(std::max<std::size_t>(nonzero, 1));
    std::size_t size = length / blocks;  // the size the runs of copies have reached
    BitReversedValues values(x, blocks);
    if (blocks == 1) {
        const Complex<float> only = values.next();
        std::fill_n(v.re, length, only.re);
        std::fill_n(v.im, length, only.im);
        return;
    }
    const bool vectors = size % kLanes == 0;
    if (std::countr_zero(blocks) % 2 == 1) {
        vectors ? first_radix2<Float4>(values, size, length, v)
                : first_radix2<float>(values, size, length, v);
        size *= 2;
    } else {
        vectors ? first_radix4<Float4>(values, size, length, v)
                : first_radix4<float>(values, size, length, v);
        size *= 4;
    }
    for (; size < length; size *= 4) {
        size % kLanes == 0 ? radix4<Float4>(size, length, v) : radix4<float>(size, length, v);
    }
}

// X[k] and X[L-k] from Z[k] and Z[L-k], with w = W_N^k:
//   E = (Z[k] + conj Z[L-k]) / 2, O = (Z[k] - conj Z[L-k]) / 2i, t = w O,
//   X[k] = E + t, X[L-k] = conj(E - t)
template <class T>
std::array<Complex<T>, 2> split_pair(Complex<T> z, Complex<T> mirror, Complex<T> w) {
    const Complex<T> even{(z.re + mirror.re) * 0.5f, (z.im - mirror.im) * 0.5f};
    const Complex<T> odd{(z.im + mirror.im) * 0.5f, (mirror.re - z.re) * 0.5f};
    const Complex<T> t = w * odd;
    return {even + t, Complex<T>{even.re - t.re, t.im - even.im}};
}

Float4 reversed(Float4 v) {
    return __builtin_shufflevector(v, v, 3, 2, 1, 0);
}

Complex<Float4> reversed(Complex<Float4> v) {
    return {reversed(v.re), reversed(v.im)};
}

// Stores four complex values, given as real and imaginary parts, interleaved.
void store_interleaved(std::complex<float>* out, Complex<Float4> value) {
    auto* floats = reinterpret_cast<float*>(out);
    store(floats, __builtin_shufflevector(value.re, value.im, 0, 4, 1, 5));
    store(floats + kLanes, __builtin_shufflevector(value.re, value.im, 2, 6, 3, 7));
}

void split_real(std::size_t length, Values z, TransformBuffer& bins) {
    bins.resize(length);
    bins[0] = {z.re[0] + z.im[0], 0.0f};
    const Twiddles& w = twiddles().half(length);
    std::size_t k = 1;
    // Four pairs at a time while the four mirrors lie wholly above the four forward indices.
    for (; 2 * k + 2 * kLanes - 2 < length; k += kLanes) {
        const std::size_t mirror = length - k - (kLanes - 1);
        const auto x =
            split_pair(z.get<Float4>(k), reversed(z.get<Float4>(mirror)), twiddle<Float4>(w, k));
        store_interleaved(&bins[k], x[0]);
        store_interleaved(&bins[mirror], reversed(x[1]));
    }
    for (; 2 * k <= length; ++k) {
        const std::size_t mirror = length - k;
        const auto x = split_pair(z.get<float>(k), z.get<float>(mirror), twiddle<float>(w, k));
        bins[k] = {x[0].re, x[0].im};
        bins[mirror] = {x[1].re, x[1].im};
    }
}

}  // namespace

void real_fft(std::span<const float> samples, std::size_t length, RealBuffer& scratch,
              TransformBuffer& bins) {
    const std::size_t half_length = length / 2;
    scratch.resize(length);
    const Values z{scratch.data(), scratch.data() + half_length};
    complex_fft(samples, half_length, z);
    split_real(half_length, z, bins);
}

}  // namespace quorvanta::detail
