#pragma once
// Logarithms and arctangents of whole arrays, through the C library's vector math where the
// processor has it. Every value depends on its own argument only, never on its neighbours or
// on its place in the array; the paths differ by a few units in the last place at most.
#include <cstddef>

namespace plattor {

// scalar: libm's log and atan, the same bits on every x86-64 machine. avx2 and avx512: four
// and eight values per call through glibc's libmvec.
enum class MathPath { scalar, avx2, avx512 };

const char* mathPathName(MathPath path);  // "scalar", "avx2", "avx512"

bool mathPathAvailable(MathPath path);  // whether this processor (and its operating system) runs it

// The path in use: the one PLATTOR_VECTOR_MATH names (scalar, avx2, avx512) if this processor
// runs it, otherwise the widest available one.
MathPath mathPath();

// Makes `path` the path in use if this processor runs it; returns whether it did.
bool useMathPath(MathPath path);

// v[i] = ln v[i] for i < n.
void logInPlace(double* v, std::size_t n);
// v[i] = atan v[i] (radians, in (−π/2, π/2)) for i < n.
void atanInPlace(double* v, std::size_t n);

}  // namespace plattor
