#pragma once
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>

#include <cstring>
#define MARLQUIN_STEREO_SSE2 1
#else
#include <cmath>
#endif

// A left and a right double worked on together: one SSE2 instruction per
// operation where the target has it, two plain ones elsewhere. Every lane is
// rounded exactly as the same operation on a lone double would be, so a stage
// that runs both channels through it gives bit for bit what it gave one channel
// at a time.
class StereoDouble
{
public:
    StereoDouble() = default;
    // The same value in both lanes.
    StereoDouble(double both) : StereoDouble(both, both) {}
#ifdef MARLQUIN_STEREO_SSE2
    StereoDouble(double left, double right) : v(_mm_set_pd(right, left)) {}

    double Left() const
    {
        return _mm_cvtsd_f64(v);
    }
    double Right() const
    {
        return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v));
    }

    // A frame of two floats, widened.
    static StereoDouble FromFloats(const float* pair)
    {
        return StereoDouble(_mm_cvtps_pd(FloatPair(pair)));
    }
    // to - from, each lane subtracted in float as two floats subtract, then widened.
    static StereoDouble FloatDifference(const float* from, const float* to)
    {
        return StereoDouble(_mm_cvtps_pd(_mm_sub_ps(FloatPair(to), FloatPair(from))));
    }

    friend StereoDouble operator+(StereoDouble a, StereoDouble b)
    {
        return StereoDouble(_mm_add_pd(a.v, b.v));
    }
    friend StereoDouble operator-(StereoDouble a, StereoDouble b)
    {
        return StereoDouble(_mm_sub_pd(a.v, b.v));
    }
    friend StereoDouble operator*(StereoDouble a, StereoDouble b)
    {
        return StereoDouble(_mm_mul_pd(a.v, b.v));
    }
    friend StereoDouble operator/(StereoDouble a, StereoDouble b)
    {
        return StereoDouble(_mm_div_pd(a.v, b.v));
    }
    StereoDouble operator-() const
    {
        return StereoDouble(_mm_xor_pd(v, _mm_set1_pd(-0.0)));
    }
    friend StereoDouble Abs(StereoDouble a)
    {
        return StereoDouble(_mm_andnot_pd(_mm_set1_pd(-0.0), a.v));
    }

    // Lane masks of comparisons; Select takes `yes` where the mask is set, else `no`.
    struct Mask
    {
        __m128d m;
        bool Any() const { return _mm_movemask_pd(m) != 0; }
        bool All() const { return _mm_movemask_pd(m) == 3; }
    };
    friend Mask operator<(StereoDouble a, StereoDouble b)
    {
        return {_mm_cmplt_pd(a.v, b.v)};
    }
    friend Mask operator<=(StereoDouble a, StereoDouble b)
    {
        return {_mm_cmple_pd(a.v, b.v)};
    }
    friend Mask operator>(StereoDouble a, StereoDouble b)
    {
        return {_mm_cmpgt_pd(a.v, b.v)};
    }
    friend Mask operator>=(StereoDouble a, StereoDouble b)
    {
        return {_mm_cmpge_pd(a.v, b.v)};
    }
    friend StereoDouble Select(Mask mask, StereoDouble yes, StereoDouble no)
    {
        return StereoDouble(_mm_or_pd(_mm_and_pd(mask.m, yes.v), _mm_andnot_pd(mask.m, no.v)));
    }

    // 2^n for whole numbers n from -1022 to 1023 in each lane.
    friend StereoDouble PowerOfTwo(StereoDouble n)
    {
        const __m128d biased = _mm_add_pd(n.v, _mm_set1_pd(1023.0 + 4503599627370496.0));
        return StereoDouble(_mm_castsi128_pd(_mm_slli_epi64(_mm_castpd_si128(biased), 52)));
    }

private:
    explicit StereoDouble(__m128d value) : v(value) {}
    static __m128 FloatPair(const float* pair)
    {
        double bits;
        std::memcpy(&bits, pair, sizeof bits);
        return _mm_castpd_ps(_mm_set_sd(bits));
    }
    __m128d v;
#else
    StereoDouble(double left, double right) : l(left), r(right) {}

    static StereoDouble FromFloats(const float* pair)
    {
        return {pair[0], pair[1]};
    }
    static StereoDouble FloatDifference(const float* from, const float* to)
    {
        const float left = to[0] - from[0];
        const float right = to[1] - from[1];
        return {left, right};
    }

    double Left() const
    {
        return l;
    }
    double Right() const
    {
        return r;
    }

    friend StereoDouble operator+(StereoDouble a, StereoDouble b)
    {
        return {a.l + b.l, a.r + b.r};
    }
    friend StereoDouble operator-(StereoDouble a, StereoDouble b)
    {
        return {a.l - b.l, a.r - b.r};
    }
    friend StereoDouble operator*(StereoDouble a, StereoDouble b)
    {
        return {a.l * b.l, a.r * b.r};
    }
    friend StereoDouble operator/(StereoDouble a, StereoDouble b)
    {
        return {a.l / b.l, a.r / b.r};
    }
    StereoDouble operator-() const
    {
        return {-l, -r};
    }
    friend StereoDouble Abs(StereoDouble a)
    {
        return {std::fabs(a.l), std::fabs(a.r)};
    }

    struct Mask
    {
        bool l, r;
        bool Any() const { return l || r; }
        bool All() const { return l && r; }
    };
    friend Mask operator<(StereoDouble a, StereoDouble b)
    {
        return {a.l < b.l, a.r < b.r};
    }
    friend Mask operator<=(StereoDouble a, StereoDouble b)
    {
        return {a.l <= b.l, a.r <= b.r};
    }
    friend Mask operator>(StereoDouble a, StereoDouble b)
    {
        return {a.l > b.l, a.r > b.r};
    }
    friend Mask operator>=(StereoDouble a, StereoDouble b)
    {
        return {a.l >= b.l, a.r >= b.r};
    }
    friend StereoDouble Select(Mask mask, StereoDouble yes, StereoDouble no)
    {
        return {mask.l ? yes.l : no.l, mask.r ? yes.r : no.r};
    }

    friend StereoDouble PowerOfTwo(StereoDouble n)
    {
        return {std::ldexp(1.0, static_cast<int>(n.l)), std::ldexp(1.0, static_cast<int>(n.r))};
    }

private:
    double l = 0.0;
    double r = 0.0;
#endif

public:
    StereoDouble& operator+=(StereoDouble b)
    {
        return *this = *this + b;
    }
    StereoDouble& operator-=(StereoDouble b)
    {
        return *this = *this - b;
    }
};
