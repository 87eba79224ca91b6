#include "view/Canvas.h"

#include <cstdint>
#include <limits>

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const int64_t product = static_cast<int64_t>(a) * b;  // |a·b| <= 2^62
  const bool negative = (product < 0) != (c < 0);
  // Magnitudes in unsigned arithmetic so that doubling the product for the rounding cannot
  // overflow.
  const uint64_t p =
      product < 0 ? 0 - static_cast<uint64_t>(product) : static_cast<uint64_t>(product);
  const uint64_t d =
      c < 0 ? 0 - static_cast<uint64_t>(static_cast<int64_t>(c)) : static_cast<uint64_t>(c);
  const uint64_t q = (2 * p + d) / (2 * d);  // nearest, halves away from zero
  // Like the Win32 call, a result that does not fit in 32 bits is reported as -1.
  if (q > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return -1;
  const int result = static_cast<int>(q);
  return negative ? -result : result;
}
