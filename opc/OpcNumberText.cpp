#include "OpcNumberText.h"

#include <cstring>

namespace {

// A 128-bit product, for the exact scaling below on both architectures.
struct U128 {
  uint64_t hi, lo;
};

U128 Multiply(uint64_t a, uint64_t b) {
  const uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32, b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
  const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const uint64_t mid = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
  return {p11 + (p01 >> 32) + (p10 >> 32) + (mid >> 32), (mid << 32) | (p00 & 0xFFFFFFFFu)};
}

bool Bit(const U128& x, unsigned i) {
  return i < 64 ? (x.lo >> i) & 1 : (x.hi >> (i - 64)) & 1;
}

// Whether any of the bits below i is set.
bool AnyBelow(const U128& x, unsigned i) {
  if (i == 0) return false;
  if (i <= 64) return (x.lo & (i == 64 ? ~uint64_t{0} : (uint64_t{1} << i) - 1)) != 0;
  return x.lo != 0 || (x.hi & ((uint64_t{1} << (i - 64)) - 1)) != 0;
}

// x >> s for 0 < s < 128, where the result fits 64 bits.
uint64_t ShiftRight(const U128& x, unsigned s) {
  if (s >= 64) return x.hi >> (s - 64);
  return (x.lo >> s) | (x.hi << (64 - s));
}

constexpr uint64_t kPow10[] = {1,       10,       100,       1000,       10000,      100000,
                               1000000, 10000000, 100000000, 1000000000, 10000000000};

// mantissa * 2^-shift * 10^k rounded to an integer, ties to even: what the runtime does
// with the exact value of a double.
uint64_t RoundScaled(uint64_t mantissa, unsigned shift, unsigned k) {
  const U128 p = Multiply(mantissa, kPow10[k]);
  uint64_t q = ShiftRight(p, shift);
  if (Bit(p, shift - 1) && (AnyBelow(p, shift - 1) || (q & 1))) ++q;
  return q;
}

}  // namespace

size_t FormatInteger(int64_t value, char* out) {
  const uint64_t u = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  return FormatMagnitude(value < 0, u, out);
}

size_t FormatUnsigned(uint64_t value, char* out) {
  return FormatMagnitude(false, value, out);
}

size_t FormatMagnitude(bool negative, uint64_t u, char* out) {
  char digits[24];
  size_t n = 0;
  do {
    digits[n++] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u);
  size_t len = 0;
  if (negative) out[len++] = '-';
  while (n) out[len++] = digits[--n];
  return len;
}

size_t FormatShortG(double value, char* out) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const bool negative = bits >> 63;
  const unsigned biased = static_cast<unsigned>((bits >> 52) & 0x7FF);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  size_t len = 0;
  if (negative) out[len++] = '-';
  if (biased == 0 && fraction == 0) {  // "0" and "-0"
    out[len++] = '0';
    return len;
  }
  // Subnormals, infinities and NaN are far outside the fixed range.
  if (biased == 0 || biased == 0x7FF) return 0;
  const double a = negative ? -value : value;
  if (!(a >= 1e-5 && a < 1e6)) return 0;
  // value = mantissa * 2^-shift exactly; below 1e6 the shift is at least 33.
  const uint64_t mantissa = fraction | (uint64_t{1} << 52);
  const unsigned shift = 1075 - biased;
  // The decimal exponent x of the value rounded to six digits: a guess from the
  // magnitude, put right by the digits themselves.
  int x = -5;
  for (double p = 1e-4; x < 5 && a >= p; p *= 10) ++x;
  uint64_t n = 0;
  for (int tries = 0; tries < 3; ++tries) {
    const int k = 5 - x;
    if (k < 0 || k > 10) return 0;
    n = RoundScaled(mantissa, shift, static_cast<unsigned>(k));
    if (n >= 1000000)
      ++x;
    else if (n < 100000)
      --x;
    else
      break;
  }
  if (n < 100000 || n >= 1000000 || x < -4 || x > 5) return 0;  // exponent form
  char d[6];
  for (int i = 5; i >= 0; --i, n /= 10) d[i] = static_cast<char>('0' + n % 10);
  int last = 5;  // the last digit kept: trailing zeros of the fraction go
  while (last > x && last > 0 && d[last] == '0') --last;
  if (x >= 0) {
    for (int i = 0; i <= x; ++i) out[len++] = d[i];
    if (last > x) {
      out[len++] = '.';
      for (int i = x + 1; i <= last; ++i) out[len++] = d[i];
    }
  } else {
    out[len++] = '0';
    out[len++] = '.';
    for (int i = -1; i > x; --i) out[len++] = '0';
    for (int i = 0; i <= last; ++i) out[len++] = d[i];
  }
  return len;
}
