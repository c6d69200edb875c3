// The x87 precision guard. The modules do their arithmetic on the x87 unit,
// which rounds each sum, product and quotient to the precision its control
// word selects; the host may leave extended (0x037F) or single (0x007F)
// precision set. With extended precision 25 m would give a needle of 98
// degrees instead of 99; with single precision 1000 m a drum value of
// -18.000179290771484 instead of -18.000180001800018.
//
// InDoublePrecision(compute, inputs...) runs `compute(inputs...)` with the
// control word 0x027F (53-bit precision, round to nearest, every exception
// masked), so each step is rounded to double exactly once, then puts the
// caller's word back and returns what `compute` returned (a double or an
// integer). The caller's word is kept only to be restored. Comparisons and
// copies are exact under any word, so a function may choose its path first
// and guard only the arithmetic of that path.
//
// Rules for `compute`: take every input either as an argument (a value
// already loaded, say to choose the path) or by a read through memory inside
// it (a record, a module variable). Each argument passes through a statement
// after the one that sets the word, and the guard's statements clobber
// memory, so no arithmetic on an input can move before the word is set. The
// result passes through the closing statement, so it is complete before the
// caller's word is back.
//
// Inside the guard, TruncateTo<int32_t> and TruncateTo<int64_t> truncate
// toward zero with one store under a fixed chop word (0x0E7F) and then put
// the guard's word back: fewer steps than the compiler's casts, which read,
// modify and restore the current word around each conversion.
//
// Two cases the x87 could still round differently from double arithmetic:
// a result below the normal range (the register keeps a wider exponent, so
// the value is rounded twice when stored) and one above it (no overflow in
// the register). Every guarded function keeps its intermediates inside the
// normal range or sends tiny ones only into steps whose result they cannot
// change (a sum with 146.25, a truncation to 0); the module tests drive
// those inputs under every control word.
#pragma once

#include <cstdint>
#include <type_traits>

namespace precision_detail {
inline constexpr uint16_t kDoubleNearest = 0x027F;
inline constexpr uint16_t kDoubleChop = 0x0E7F;
}  // namespace precision_detail

// x truncated toward zero to Int (int32_t or int64_t), for use inside
// InDoublePrecision. A NaN or a value outside Int's range gives its lowest
// value (the x87's integer indefinite, the invalid operation being masked).
template <typename Int>
inline Int TruncateTo(double x) {
  static_assert(std::is_same_v<Int, int32_t> || std::is_same_v<Int, int64_t>);
  Int result;
  asm volatile("fldcw %2\n\tfistp%z0 %0\n\tfldcw %3"
               : "=m"(result)
               : "t"(x), "m"(precision_detail::kDoubleChop), "m"(precision_detail::kDoubleNearest)
               : "st");
  return result;
}

namespace precision_detail {
// An empty statement that the compiler must assume produces `value`: every
// use of it comes after this point.
template <typename T>
inline void Pin(T& value) {
  if constexpr (std::is_floating_point_v<T>) {
    asm volatile("" : "+t"(value));
  } else {
    asm volatile("" : "+r"(value));
  }
}
}  // namespace precision_detail

template <typename Compute, typename... Inputs>
inline auto InDoublePrecision(Compute compute, Inputs... inputs) {
  uint16_t caller;
  asm volatile("fnstcw %0\n\tfldcw %1"
               : "=m"(caller)
               : "m"(precision_detail::kDoubleNearest)
               : "memory");
  (precision_detail::Pin(inputs), ...);
  auto result = compute(inputs...);
  // The result is an operand of the restoring statement: it is complete,
  // on the x87 stack or in a register, before the caller's word is back.
  if constexpr (std::is_floating_point_v<decltype(result)>) {
    asm volatile("fldcw %1" : "+t"(result) : "m"(caller) : "memory");
  } else {
    asm volatile("fldcw %1" : "+r"(result) : "m"(caller) : "memory");
  }
  return result;
}
