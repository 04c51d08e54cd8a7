#include "matrix/vector_math.hpp"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace plattor {

// glibc's vector math exists on x86-64 alone; elsewhere (WebAssembly) the scalar path is the one.
#if defined(__x86_64__) && defined(__GLIBC__)
#define PLATTOR_LIBMVEC 1
#endif

#if PLATTOR_LIBMVEC
namespace {

typedef double Vec4 __attribute__((vector_size(4 * sizeof(double))));
typedef double Vec8 __attribute__((vector_size(8 * sizeof(double))));

}  // namespace

// glibc's vector math (libmvec, x86-64 vector function ABI): 'd' takes and returns four
// doubles in one AVX2 register, 'e' eight in one AVX-512 register.
extern "C" {
[[gnu::target("avx2,fma")]] Vec4 _ZGVdN4v_log(Vec4);
[[gnu::target("avx2,fma")]] Vec4 _ZGVdN4v_atan(Vec4);
[[gnu::target("avx512f")]] Vec8 _ZGVeN8v_log(Vec8);
[[gnu::target("avx512f")]] Vec8 _ZGVeN8v_atan(Vec8);
}
#endif  // PLATTOR_LIBMVEC

namespace {

#if PLATTOR_LIBMVEC
// Whole vectors straight from the array; the last, partial one through a padded copy, so every
// value (wherever it sits) comes from the same vector function. One body per register width:
// the vector functions pass their arguments in registers that exist only under the target.
#define PLATTOR_APPLY_VECTORS(Vec)                                                       \
    constexpr std::size_t width = sizeof(Vec) / sizeof(double);                          \
    std::size_t i = 0;                                                                   \
    for (; i + width <= n; i += width) {                                                 \
        Vec x;                                                                           \
        std::memcpy(&x, v + i, sizeof x);                                                \
        x = F(x);                                                                        \
        std::memcpy(v + i, &x, sizeof x);                                                \
    }                                                                                    \
    if (i < n) {                                                                         \
        double padded[width];                                                            \
        for (std::size_t k = 0; k < width; ++k) padded[k] = i + k < n ? v[i + k] : 1.0;  \
        Vec x;                                                                           \
        std::memcpy(&x, padded, sizeof x);                                               \
        x = F(x);                                                                        \
        std::memcpy(padded, &x, sizeof x);                                               \
        std::memcpy(v + i, padded, (n - i) * sizeof(double));                            \
    }

template <Vec4 (*F)(Vec4)>
[[gnu::target("avx2,fma")]] void applyAvx2(double* v, std::size_t n) {
    PLATTOR_APPLY_VECTORS(Vec4)
}

template <Vec8 (*F)(Vec8)>
[[gnu::target("avx512f")]] void applyAvx512(double* v, std::size_t n) {
    PLATTOR_APPLY_VECTORS(Vec8)
}

#undef PLATTOR_APPLY_VECTORS
#endif  // PLATTOR_LIBMVEC

MathPath widestAvailable() {
    if (mathPathAvailable(MathPath::avx512)) return MathPath::avx512;
    if (mathPathAvailable(MathPath::avx2)) return MathPath::avx2;
    return MathPath::scalar;
}

MathPath initialPath() {
    const char* named = std::getenv("PLATTOR_VECTOR_MATH");
    if (named != nullptr)
        for (MathPath p : {MathPath::scalar, MathPath::avx2, MathPath::avx512})
            if (std::strcmp(named, mathPathName(p)) == 0 && mathPathAvailable(p)) return p;
    return widestAvailable();
}

MathPath& currentPath() {
    static MathPath path = initialPath();
    return path;
}

// v[i] = f(v[i]) through the vector function of the path in use, or libm's scalar one.
#if PLATTOR_LIBMVEC
template <Vec4 (*F4)(Vec4), Vec8 (*F8)(Vec8), double (*F1)(double)>
void applyInPlace(double* v, std::size_t n) {
    switch (currentPath()) {
    case MathPath::avx2: return applyAvx2<F4>(v, n);
    case MathPath::avx512: return applyAvx512<F8>(v, n);
    case MathPath::scalar: break;
    }
    for (std::size_t i = 0; i < n; ++i) v[i] = F1(v[i]);
}
#else
template <double (*F1)(double)>
void applyInPlace(double* v, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) v[i] = F1(v[i]);
}
#endif

}  // namespace

const char* mathPathName(MathPath path) {
    switch (path) {
    case MathPath::avx2: return "avx2";
    case MathPath::avx512: return "avx512";
    case MathPath::scalar: break;
    }
    return "scalar";
}

bool mathPathAvailable(MathPath path) {
#if PLATTOR_LIBMVEC
    switch (path) {
    case MathPath::avx2: return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    case MathPath::avx512: return __builtin_cpu_supports("avx512f");
    case MathPath::scalar: break;
    }
    return true;
#else
    return path == MathPath::scalar;
#endif
}

MathPath mathPath() { return currentPath(); }

bool useMathPath(MathPath path) {
    if (!mathPathAvailable(path)) return false;
    currentPath() = path;
    return true;
}

#if PLATTOR_LIBMVEC
void logInPlace(double* v, std::size_t n) { applyInPlace<_ZGVdN4v_log, _ZGVeN8v_log, std::log>(v, n); }
void atanInPlace(double* v, std::size_t n) { applyInPlace<_ZGVdN4v_atan, _ZGVeN8v_atan, std::atan>(v, n); }
#else
void logInPlace(double* v, std::size_t n) { applyInPlace<std::log>(v, n); }
void atanInPlace(double* v, std::size_t n) { applyInPlace<std::atan>(v, n); }
#endif

}  // namespace plattor
