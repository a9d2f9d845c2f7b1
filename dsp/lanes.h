// Two doubles side by side: the lanes of the paired filter recursions. Every
// operation works on each lane alone, with exactly the one IEEE operation
// its scalar form names, so a lane gives the bits of the same expression
// written in plain doubles. SSE2 registers where the compiler has them; the
// portable form (plain doubles, forced with ROOMSTAT_PORTABLE_LANES) is
// built and tested too, and must give the same bits.
#pragma once

#if defined(__SSE2__) && !defined(ROOMSTAT_PORTABLE_LANES)
#include <emmintrin.h>
#define ROOMSTAT_LANES_SSE2 1
#endif

#if defined(ROOMSTAT_LANES_SSE2)

class Lanes2 {
 public:
  Lanes2() = default;
  static Lanes2 Of(double first, double second) { return Lanes2(_mm_set_pd(second, first)); }
  static Lanes2 Both(double value) { return Lanes2(_mm_set1_pd(value)); }

  double First() const { return _mm_cvtsd_f64(v_); }
  double Second() const { return _mm_cvtsd_f64(_mm_unpackhi_pd(v_, v_)); }

  friend Lanes2 operator+(Lanes2 p, Lanes2 q) { return Lanes2(_mm_add_pd(p.v_, q.v_)); }
  friend Lanes2 operator-(Lanes2 p, Lanes2 q) { return Lanes2(_mm_sub_pd(p.v_, q.v_)); }
  friend Lanes2 operator*(Lanes2 p, Lanes2 q) { return Lanes2(_mm_mul_pd(p.v_, q.v_)); }
  // Each lane rounded to float (to nearest) and widened back, exactly.
  friend Lanes2 RoundToFloat(Lanes2 p) { return Lanes2(_mm_cvtps_pd(_mm_cvtpd_ps(p.v_))); }

 private:
  explicit Lanes2(__m128d v) : v_(v) {}
  __m128d v_;
};

#else

class Lanes2 {
 public:
  Lanes2() = default;
  static Lanes2 Of(double first, double second) { return Lanes2(first, second); }
  static Lanes2 Both(double value) { return Lanes2(value, value); }

  double First() const { return first_; }
  double Second() const { return second_; }

  friend Lanes2 operator+(Lanes2 p, Lanes2 q) { return Lanes2(p.first_ + q.first_, p.second_ + q.second_); }
  friend Lanes2 operator-(Lanes2 p, Lanes2 q) { return Lanes2(p.first_ - q.first_, p.second_ - q.second_); }
  friend Lanes2 operator*(Lanes2 p, Lanes2 q) { return Lanes2(p.first_ * q.first_, p.second_ * q.second_); }
  // The floats pass through volatile storage: gcc 12 at -O2 pairs the two
  // lanes' conversions into one vector conversion each way and then drops
  // the pair, as if narrowing to float and widening back were exact.
  friend Lanes2 RoundToFloat(Lanes2 p) {
    const volatile float first = static_cast<float>(p.first_);
    const volatile float second = static_cast<float>(p.second_);
    return Lanes2(first, second);
  }

 private:
  Lanes2(double first, double second) : first_(first), second_(second) {}
  double first_, second_;
};

#endif
