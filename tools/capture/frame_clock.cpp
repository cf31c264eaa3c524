#include "frame_clock.h"


namespace {

uint64_t Gcd(uint64_t a, uint64_t b) {
  while (b) {
    const uint64_t r = a % b;
    a = b;
    b = r;
  }
  return a;
}

// Digits only, at least one; false on overflow past `limit`.
bool ParseDigits(const char* begin, const char* end, uint64_t limit, uint64_t* value) {
  if (begin == end) return false;
  uint64_t v = 0;
  for (const char* p = begin; p != end; ++p) {
    if (*p < '0' || *p > '9') return false;
    v = v * 10 + static_cast<uint64_t>(*p - '0');
    if (v > limit) return false;
  }
  *value = v;
  return true;
}

}  // namespace

bool ParseFrameRate(const char* text, FrameRate* rate, std::string* reason) {
  const std::string s = text ? text : "";
  uint64_t num = 0;
  uint64_t den = 1;
  // Large enough for any valid rate, small enough that the products below
  // stay far from 64-bit overflow.
  const uint64_t kLimit = 1000000000ull;
  const size_t slash = s.find('/');
  const size_t dot = s.find('.');
  const char* b = s.c_str();
  const char* e = b + s.size();
  if (slash != std::string::npos) {
    if (!ParseDigits(b, b + slash, kLimit, &num) || !ParseDigits(b + slash + 1, e, kLimit, &den)) {
      *reason = "a rate as a fraction is two whole numbers, as in 30000/1001";
      return false;
    }
  } else if (dot != std::string::npos) {
    uint64_t whole = 0;
    uint64_t part = 0;
    const size_t decimals = s.size() - dot - 1;
    if (!ParseDigits(b, b + dot, kLimit, &whole) || !ParseDigits(b + dot + 1, e, kLimit, &part)) {
      *reason = "not a number of frames a second";
      return false;
    }
    if (decimals > static_cast<size_t>(kMaxRateDecimals)) {
      *reason = "at most " + std::to_string(kMaxRateDecimals) + " decimal places";
      return false;
    }
    for (size_t i = 0; i < decimals; ++i) den *= 10;
    if (whole > kLimit / den) {
      *reason = "too many frames a second";
      return false;
    }
    num = whole * den + part;
  } else if (!ParseDigits(b, e, kLimit, &num)) {
    *reason = "not a number of frames a second";
    return false;
  }
  if (den == 0) {
    *reason = "a fraction with a zero below the line";
    return false;
  }
  if (num == 0) {
    *reason = "the rate must be above 0";
    return false;
  }
  if (num > den * kMaxFramesPerSecond) {
    *reason = "at most " + std::to_string(kMaxFramesPerSecond) + " frames a second";
    return false;
  }
  const uint64_t g = Gcd(num, den);
  rate->num = static_cast<uint32_t>(num / g);
  rate->den = static_cast<uint32_t>(den / g);
  return true;
}

std::string FormatFrameRate(FrameRate rate) {
  if (rate.den == 1) return std::to_string(rate.num);
  // A rate that ends within a few decimal places reads as a decimal.
  uint64_t scale = 1;
  for (int places = 1; places <= kMaxRateDecimals; ++places) {
    scale *= 10;
    if (scale % rate.den != 0) continue;
    std::string fraction = std::to_string(rate.num % rate.den * (scale / rate.den));
    fraction.insert(0, static_cast<size_t>(places) - fraction.size(), '0');
    return std::to_string(rate.num / rate.den) + "." + fraction;
  }
  return std::to_string(rate.num) + "/" + std::to_string(rate.den);
}

// 128-bit products: exact for every index and rate, never wrapping.
typedef unsigned __int128 Wide;

uint64_t FrameTimeMs(FrameRate rate, uint64_t index) {
  return static_cast<uint64_t>(static_cast<Wide>(index) * 1000u * rate.den / rate.num);
}

uint64_t FirstFrameAtOrAfter(FrameRate rate, uint64_t ms) {
  // floor(i * 1000 * den / num) >= ms  <=>  i * 1000 * den >= ms * num
  const Wide step = static_cast<Wide>(1000u) * rate.den;
  return static_cast<uint64_t>((static_cast<Wide>(ms) * rate.num + step - 1) / step);
}

int64_t FrameStartSample(FrameRate rate, uint64_t index, uint32_t sampleRate) {
  return static_cast<int64_t>(static_cast<Wide>(index) * sampleRate * rate.den / rate.num);
}
