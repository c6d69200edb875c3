// The x87 precision guard. The modules do their arithmetic on the x87 unit,
// which rounds each sum, product and quotient to the precision its control
// word selects; the host may leave extended (0x037F) or single (0x007F)
// precision set. With extended precision 25 m would give a needle of 98
// degrees instead of 99; with single precision 1000 m a drum value of
// -18.000179290771484 instead of -18.000180001800018.
//
// InDoublePrecision(compute) runs `compute` with the control word 0x027F
// (53-bit precision, round to nearest, every exception masked), so each
// step is rounded to double exactly once, then puts the caller's word back
// and returns what `compute` returned (a double, or an integer). The truncations toward zero that the compiler emits
// for float-to-integer casts set their own rounding around each conversion
// and restore this word. The caller's word is kept only to be restored.
//
// Rules for `compute`: read every input through memory inside it (a record,
// a module variable): the guard's asm statements clobber memory, so those
// reads, and the arithmetic on them, cannot move outside the guard. The
// result passes through the closing statement, so it is complete before the
// caller's word is back.
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
}

template <typename Compute>
inline auto InDoublePrecision(Compute compute) {
  uint16_t caller;
  asm volatile("fnstcw %0\n\tfldcw %1"
               : "=m"(caller)
               : "m"(precision_detail::kDoubleNearest)
               : "memory");
  auto result = compute();
  // The result is an operand of the restoring statement: it is complete,
  // on the x87 stack or in a register, before the caller's word is back.
  if constexpr (std::is_floating_point_v<decltype(result)>) {
    asm volatile("fldcw %1" : "+t"(result) : "m"(caller) : "memory");
  } else {
    asm volatile("fldcw %1" : "+r"(result) : "m"(caller) : "memory");
  }
  return result;
}
