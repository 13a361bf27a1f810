// Overflow-reporting integer arithmetic for the value types: each helper
// returns std::nullopt instead of wrapping, e.g. checked_mul(INT64_MAX, 2) -> nullopt.
#pragma once

#include <cstdint>
#include <optional>

namespace hourloom {

constexpr std::optional<std::int64_t> checked_add(std::int64_t a, std::int64_t b) {
  std::int64_t r;
  if (__builtin_add_overflow(a, b, &r)) return std::nullopt;
  return r;
}

constexpr std::optional<std::int64_t> checked_sub(std::int64_t a, std::int64_t b) {
  std::int64_t r;
  if (__builtin_sub_overflow(a, b, &r)) return std::nullopt;
  return r;
}

constexpr std::optional<std::int64_t> checked_mul(std::int64_t a, std::int64_t b) {
  std::int64_t r;
  if (__builtin_mul_overflow(a, b, &r)) return std::nullopt;
  return r;
}

// floor_div / floor_mod: division rounding toward negative infinity; b > 0.
constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  return (a % b < 0) ? q - 1 : q;
}
constexpr std::int64_t floor_mod(std::int64_t a, std::int64_t b) {
  std::int64_t m = a % b;
  return m < 0 ? m + b : m;
}

}  // namespace hourloom
