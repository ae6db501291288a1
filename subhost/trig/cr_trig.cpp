// Correctly rounded binary32 cosine and sine.
//
// Reduction.  |x| = q·π/2 + r with |r| ≤ π/4 (the sign of x is put back at
// the end: the cosine is even, the sine odd).  Below π/4, r = |x| and q = 0,
// exactly.  Above, |x| = m·2^e with an integer m < 2^24, and |x|·2/π modulo
// 4 is m·2^e times the digits of 2/π from the one that m·2^e lifts to weight
// 2: every earlier digit adds a multiple of 4.  A window of digits from
// there, times m, gives q and the fraction f ∈ [-1/2, 1/2] (rounded to the
// nearest quadrant), off only by the digits after the window.  No binary32
// comes nearer to a multiple of π/2 than |r| = 2^-29.2 (at 0x6F79BE45), so
// |f| > 2^-30 and the window's length sets the relative error of f.
//
// Evaluation.  sin r or ±cos r by q, as a Taylor polynomial in r, in two
// steps:
//  - fast: r in double (from a two-part π/2 below 2^8, from 128 digits of
//    2/π above), within 2^-50·|r|; the polynomial in double, to r^15 (sine)
//    and r^16 (cosine), leaves out terms below 2^-54 of the result and adds
//    terms that are at most a third of the leading one, without
//    cancellation.  So the result y is within 2^-49·|y| of the exact value,
//    less than 16 units of its last place.  Unless y lies within 128 units
//    of a midpoint between two binary32 values, everything that close to y,
//    the exact value among them, rounds to the binary32 nearest to y.
//  - precise, for the rest (about 1100 inputs of the 2^32 each): r from 192
//    digits of 2/π, as a double-double within 2^-103·|r|; the polynomial in
//    double-double, to r^25 and r^26, leaves out terms below 2^-102 and
//    rounds below 2^-100, so the result is within 2^-98 of the exact value
//    and decided unless a midpoint lies within 2^-90 of it, which no
//    binary32 input comes near.
//
// Plain double and integer arithmetic throughout, compiled without
// contraction: the error-free sums and products rely on every operation
// being rounded on its own.
#include "subhost/trig/cr_trig.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>

namespace subhost::trig {
namespace {

// A double-double: the value hi + lo, |lo| at most about an ulp of hi.
struct DD {
    double hi, lo;
};

// a + b exactly, when |a| ≥ |b| or a = 0.
DD fastTwoSum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// a + b exactly.
DD twoSum(double a, double b) {
    const double s = a + b;
    const double bPart = s - a;
    return {s, (a - (s - bPart)) + (b - bPart)};
}

// a = hi + lo with 26-bit halves, so that their products are exact.
DD split(double a) {
    const double c = 134217729.0 * a;  // 2^27 + 1
    const double hi = c - (c - a);
    return {hi, a - hi};
}

// a·b exactly (barring underflow).
DD twoProduct(double a, double b) {
    const double p = a * b;
    const DD as = split(a);
    const DD bs = split(b);
    return {p, ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo};
}

DD mul(DD a, DD b) {
    DD p = twoProduct(a.hi, b.hi);
    p.lo += a.hi * b.lo + a.lo * b.hi;
    return fastTwoSum(p.hi, p.lo);
}

// Accurate relative to |a + b| when the sum does not cancel, as in the
// polynomials here.
DD add(DD a, DD b) {
    DD s = twoSum(a.hi, b.hi);
    s.lo += a.lo + b.lo;
    return fastTwoSum(s.hi, s.lo);
}

double magnitude(double v) { return v < 0.0 ? -v : v; }

double pow2(int k) { return std::bit_cast<double>(static_cast<uint64_t>(1023 + k) << 52); }

// 2/π in binary, 32 digits a word, after 32 zero digits that stand for the
// places before the binary point (a window may start up to 26 places before it).
constexpr uint32_t kTwoOverPi[] = {
    0x00000000, 0xA2F9836E, 0x4E441529, 0xFC2757D1, 0xF534DDC0, 0xDB629599,
    0x3C439041, 0xFE5163AB, 0xDEBBC561, 0xB7246E3A, 0x424DD2E0,
};

constexpr DD kHalfPi = {0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54};

// The binary32 just below π/4 and every one under it need no reduction.
constexpr uint32_t kQuarterPiBits = 0x3F490FDB;  // π/4 rounded up

struct Reduced {
    unsigned quadrant;  // q modulo 4
    DD r;               // |x| - q·π/2, in [-π/4, π/4]
};

// Where the digits of 2/π that matter for |x| = m·2^e begin: at the digit of
// weight 2^(1-e), place e + 30 of the table.
struct Window {
    uint64_t m;
    int word;   // of the table
    int shift;  // places into it
};

Window windowOf(uint32_t bits) {
    const int start = static_cast<int>(bits >> 23) - 150 + 30;  // e in [-24, 104]
    return {(bits & 0x7FFFFF) | 0x800000, start >> 5, start & 31};
}

// The j-th 32 digits of the window.
uint32_t digits(const Window& w, int j) {
    const int word = w.word + j;
    return w.shift == 0 ? kTwoOverPi[word] : (kTwoOverPi[word] << w.shift) | (kTwoOverPi[word + 1] >> (32 - w.shift));
}

// The precise path's reduction of |x| ≥ π/4, finite, given by its bits: a
// window of 192 digits gives f in 190 bits, off by less than 2^-166; its
// leading 117 bits become a double-double.
Reduced reduce(uint32_t bits) {
    const Window w = windowOf(bits);
    uint32_t window[6];
    for (int j = 0; j < 6; ++j) window[j] = digits(w, j);
    const uint64_t m = w.m;

    // m·window in 32-bit limbs, most significant first; times 2^-190 it is
    // |x|·2/π modulo 4.  The top limb holds multiples of 4 only.
    uint32_t limb[7];
    uint64_t carry = 0;
    for (int j = 5; j >= 0; --j) {
        carry += m * window[j];
        limb[j + 1] = static_cast<uint32_t>(carry);
        carry >>= 32;
    }
    uint64_t f[3] = {(uint64_t{limb[1]} << 32) | limb[2], (uint64_t{limb[3]} << 32) | limb[4],
                     (uint64_t{limb[5]} << 32) | limb[6]};
    unsigned quadrant = static_cast<unsigned>(f[0] >> 62);
    constexpr uint64_t kFractionMask = (uint64_t{1} << 62) - 1;
    f[0] &= kFractionMask;  // the fraction is f·2^-190

    // A fraction of 1/2 or more belongs to the next quadrant, as f - 1.
    const bool negative = (f[0] >> 61) != 0;
    if (negative) {
        quadrant += 1;
        f[2] = ~f[2] + 1;
        uint64_t borrow = f[2] == 0 ? 1 : 0;
        f[1] = ~f[1] + borrow;
        borrow = borrow != 0 && f[1] == 0 ? 1 : 0;
        f[0] = (~f[0] + borrow) & kFractionMask;  // 2^190 - f
    }
    quadrant &= 3;

    // The leading one to bit 191, then its 117 bits as a double-double.
    int lead = 0;
    if (f[0] != 0) {
        lead = std::countl_zero(f[0]);
    } else if (f[1] != 0) {
        lead = 64 + std::countl_zero(f[1]);
    } else {
        lead = 128 + std::countl_zero(f[2]);  // f[2] = 0 too cannot happen: see above
    }
    for (int n = lead; n > 0; n -= 64) {
        const int s = n < 64 ? n : 64;
        if (s == 64) {
            f[0] = f[1];
            f[1] = f[2];
            f[2] = 0;
        } else {
            f[0] = (f[0] << s) | (f[1] >> (64 - s));
            f[1] = (f[1] << s) | (f[2] >> (64 - s));
            f[2] <<= s;
        }
    }
    const uint64_t top = f[0] >> 11;                  // 53 bits, weight 2^(-51 - lead)
    const uint64_t next = (f[0] << 53) | (f[1] >> 11);  // the next 64, weight 2^(-115 - lead)
    const double sign = negative ? -1.0 : 1.0;
    const DD fraction = {sign * static_cast<double>(top) * pow2(-51 - lead),
                         sign * static_cast<double>(next) * pow2(-115 - lead)};
    return {quadrant, mul(fraction, kHalfPi)};
}

// Taylor coefficients (-1)^k / n!, highest degree first.  The fast ones are
// the nearest doubles; the precise ones double-doubles (nearest double, then
// the nearest double to the rest).
constexpr double kSinFast[] = {
    -0x1.ae7f3e733b81fp-41,  // 1/15!
    0x1.6124613a86d09p-33,   // 1/13!
    -0x1.ae64567f544e4p-26,  // 1/11!
    0x1.71de3a556c734p-19,   // 1/9!
    -0x1.a01a01a01a01ap-13,  // 1/7!
    0x1.1111111111111p-7,    // 1/5!
    -0x1.5555555555555p-3,   // 1/3!
};
constexpr double kCosFast[] = {
    0x1.ae7f3e733b81fp-45,   // 1/16!
    -0x1.93974a8c07c9dp-37,  // 1/14!
    0x1.1eed8eff8d898p-29,   // 1/12!
    -0x1.27e4fb7789f5cp-22,  // 1/10!
    0x1.a01a01a01a01ap-16,   // 1/8!
    -0x1.6c16c16c16c17p-10,  // 1/6!
    0x1.5555555555555p-5,    // 1/4!
    -0x1.0000000000000p-1,   // 1/2!
};
constexpr DD kSinPrecise[] = {
    {0x1.3f3ccdd165fa9p-84, -0x1.58ddadf344487p-139},   // 1/25!
    {-0x1.761b41316381ap-75, 0x1.3423c7d91404fp-130},   // 1/23!
    {0x1.71b8ef6dcf572p-66, -0x1.d043ae40c4647p-120},   // 1/21!
    {-0x1.2f49b46814157p-57, -0x1.2650f61dbdcb4p-112},  // 1/19!
    {0x1.952c77030ad4ap-49, 0x1.ac981465ddc6cp-103},    // 1/17!
    {-0x1.ae7f3e733b81fp-41, -0x1.1d8656b0ee8cbp-97},   // 1/15!
    {0x1.6124613a86d09p-33, 0x1.f28e0cc748ebep-87},     // 1/13!
    {-0x1.ae64567f544e4p-26, 0x1.c062e06d1f209p-80},    // 1/11!
    {0x1.71de3a556c734p-19, -0x1.c154f8ddc6c00p-73},    // 1/9!
    {-0x1.a01a01a01a01ap-13, -0x1.a01a01a01a01ap-73},   // 1/7!
    {0x1.1111111111111p-7, 0x1.1111111111111p-63},      // 1/5!
    {-0x1.5555555555555p-3, -0x1.5555555555555p-57},    // 1/3!
    {1.0, 0.0},                                         // 1/1!
};
constexpr DD kCosPrecise[] = {
    {-0x1.88e85fc6a4e5ap-89, 0x1.71c37ebd16540p-143},   // 1/26!
    {0x1.f2cf01972f578p-80, -0x1.9ada5fcc1ab14p-135},   // 1/24!
    {-0x1.0ce396db7f853p-70, 0x1.aebcdbd20331cp-124},   // 1/22!
    {0x1.e542ba4020225p-62, 0x1.ea72b4afe3c2fp-120},    // 1/20!
    {-0x1.6827863b97d97p-53, -0x1.eec01221a8b0bp-107},  // 1/18!
    {0x1.ae7f3e733b81fp-45, 0x1.1d8656b0ee8cbp-101},    // 1/16!
    {-0x1.93974a8c07c9dp-37, -0x1.05d6f8a2efd1fp-92},   // 1/14!
    {0x1.1eed8eff8d898p-29, -0x1.2aec959e14c06p-83},    // 1/12!
    {-0x1.27e4fb7789f5cp-22, -0x1.cbbc05b4fa99ap-76},   // 1/10!
    {0x1.a01a01a01a01ap-16, 0x1.a01a01a01a01ap-76},     // 1/8!
    {-0x1.6c16c16c16c17p-10, 0x1.f49f49f49f49fp-65},    // 1/6!
    {0x1.5555555555555p-5, 0x1.5555555555555p-59},      // 1/4!
    {-0x1.0000000000000p-1, 0.0},                       // 1/2!
    {1.0, 0.0},                                         // 1/0!
};

// The margins: 128 units of the fast result's last place at the least, and
// the precise result's.
constexpr double kFastBound = 0x1p-46;
constexpr double kPreciseBound = 0x1p-90;

// Estrin's scheme: the powers of z and the pairs of terms are formed side by
// side rather than one after another.
double sinFast(double r) {
    const double* s = kSinFast;
    const double z = r * r;
    const double z2 = z * z;
    const double z4 = z2 * z2;
    const double p = (s[6] + s[5] * z + z2 * (s[4] + s[3] * z)) + z4 * ((s[2] + s[1] * z) + z2 * s[0]);
    return r + (r * z) * p;
}

double cosFast(double r) {
    const double* c = kCosFast;
    const double z = r * r;
    const double z2 = z * z;
    const double z4 = z2 * z2;
    const double p = (c[7] + c[6] * z + z2 * (c[5] + c[4] * z)) + z4 * ((c[3] + c[2] * z) + z2 * (c[1] + c[0] * z));
    return 1.0 + z * p;
}

DD horner(const DD* coefficients, size_t count, DD z) {
    DD p = coefficients[0];
    for (size_t i = 1; i < count; ++i) p = add(mul(p, z), coefficients[i]);
    return p;
}

DD sinPrecise(DD r) { return mul(r, horner(kSinPrecise, std::size(kSinPrecise), mul(r, r))); }

DD cosPrecise(DD r) { return horner(kCosPrecise, std::size(kCosPrecise), mul(r, r)); }

// The binary32 nearest to every value within `bound` of hi + lo, into `out`;
// false when a midpoint between two binary32 values lies that close.
bool roundsAlike(double hi, double lo, double bound, float& out) {
    const float nearest = static_cast<float>(hi);
    const double nearestValue = nearest;
    if (nearestValue == hi) {  // lo and the bound are far below half a unit of it
        out = nearest;
        return true;
    }
    // The binary32 on the other side of hi, and the midpoint between the two.
    const uint32_t nearestBits = std::bit_cast<uint32_t>(nearest);
    const bool outward = magnitude(hi) > magnitude(nearestValue);
    const float other = std::bit_cast<float>(outward ? nearestBits + 1 : nearestBits - 1);
    const double midpoint = 0.5 * (nearestValue + static_cast<double>(other));  // exact
    const double distance = (hi - midpoint) + lo;  // hi - midpoint is exact
    if (magnitude(distance) <= bound) return false;
    out = (distance > 0.0) == (nearestValue > midpoint) ? nearest : other;
    return true;
}

// |x| below π/4 needs no reduction: r = |x|, q = 0.
Reduced unreduced(uint32_t absBits) { return {0, {static_cast<double>(std::bit_cast<float>(absBits)), 0.0}}; }

// The fast path's reduction of |x| below 2^8 (q below 2^8): |x| - q·π/2 with
// π/2 = kHalfPiHead + kHalfPiTail, the head of 44 bits so that q·head and
// |x| - q·head are exact; q·tail is off by less than 2^-87, and no binary32 is
// nearer than 2^-30 to a multiple of π/2, so r is within 2^-52·|r|.  A q off
// by one near a boundary between quadrants leaves |r| a hair above π/4,
// which the polynomials' bounds allow for.
constexpr uint32_t kShortReductionBits = 0x43800000;  // 2^8
constexpr double kHalfPiHead = 0x1.921fb54442c00p+0;
constexpr double kHalfPiTail = 0x1.18469898cc517p-44;
constexpr double kTwoOverPiDouble = 0x1.45f306dc9c883p-1;

struct FastReduced {
    unsigned quadrant;
    double r;
};

FastReduced reduceShort(double ax) {
    const double q = static_cast<double>(static_cast<int>(ax * kTwoOverPiDouble + 0.5));
    return {static_cast<unsigned>(q) & 3, (ax - q * kHalfPiHead) - q * kHalfPiTail};
}

// The fast path's reduction of |x| from 2^8 up: as `reduce`, with a window
// of 128 digits, off by less than 2^-102 in f (at least 2^-30), and f and r
// each rounded once to double, so r is within 2^-50·|r|.
FastReduced reduceLongFast(uint32_t bits) {
    const Window w = windowOf(bits);
    const uint64_t window[2] = {(uint64_t{digits(w, 0)} << 32) | digits(w, 1), (uint64_t{digits(w, 2)} << 32) | digits(w, 3)};
    const uint64_t m = w.m;
    // m·window, times 2^-126, is |x|·2/π modulo 4.
    using U128 = unsigned __int128;
    const U128 low = static_cast<U128>(m) * window[1];
    const U128 high = static_cast<U128>(m) * window[0] + (low >> 64);
    unsigned quadrant = static_cast<unsigned>(static_cast<uint64_t>(high) >> 62);
    constexpr uint64_t kFractionMask = (uint64_t{1} << 62) - 1;
    U128 fraction = (static_cast<U128>(static_cast<uint64_t>(high) & kFractionMask) << 64) | static_cast<uint64_t>(low);
    const bool negative = (fraction >> 125) != 0;
    if (negative) {
        quadrant += 1;
        fraction = (U128{1} << 126) - fraction;
    }
    const double f = static_cast<double>(static_cast<uint64_t>(fraction >> 64)) * 0x1p-62 +
                     static_cast<double>(static_cast<uint64_t>(fraction)) * 0x1p-126;
    return {quadrant & 3, (negative ? -f : f) * kHalfPi.hi};
}

// Which of sin r and cos r gives the result in quadrant q, and whether it is
// negated.  cos a = sin(a + π/2): one quadrant on; quadrants 2 and 3 take the
// negative; a negative x negates the sine.
struct Choice {
    bool useCos;
    bool negate;
};

Choice choose(unsigned quadrant, bool cosine, bool negativeX) {
    const unsigned k = quadrant + (cosine ? 1 : 0);
    return {(k & 1) != 0, ((k & 2) != 0) != (!cosine && negativeX)};
}

// roundsAlike for the fast result y, within 16 units of its last place.
// Where binary32 is normal, the 29 bits that rounding to it drops tell how
// far y lies from the midpoint of its binade.
bool fastRoundsAlike(double y, float& out) {
    const uint64_t u = std::bit_cast<uint64_t>(y);
    constexpr uint64_t kExponent = uint64_t{0x7FF} << 52;
    constexpr uint64_t kSmallestNormal = uint64_t{1023 - 126} << 52;  // 2^-126
    if ((u & kExponent) < kSmallestNormal) return roundsAlike(y, 0.0, magnitude(y) * kFastBound, out);
    constexpr uint64_t kDropped = (uint64_t{1} << 29) - 1;
    constexpr uint64_t kMidpoint = uint64_t{1} << 28;
    constexpr uint64_t kUnits = 128;
    if (((u & kDropped) - kMidpoint + kUnits) <= 2 * kUnits) return false;  // unsigned: within kUnits of it
    out = static_cast<float>(y);
    return true;
}

Result evaluate(float x, bool cosine) {
    const uint32_t bits = std::bit_cast<uint32_t>(x);
    const uint32_t absBits = bits & 0x7FFFFFFF;
    const bool negativeX = (bits >> 31) != 0;
    if (absBits >= 0x7F800000) return {x - x, Path::special};  // NaN for NaN and both infinities
    if (absBits == 0) return {cosine ? 1.0F : x, Path::special};  // sin keeps the zero's sign

    Reduced reduced = {};
    FastReduced fast = {};
    if (absBits < kQuarterPiBits) {
        reduced = unreduced(absBits);
        fast = {0, reduced.r.hi};
    } else if (absBits < kShortReductionBits) {
        fast = reduceShort(static_cast<double>(std::bit_cast<float>(absBits)));
    } else {
        fast = reduceLongFast(absBits);
    }

    float rounded = 0.0F;
    const Choice fastChoice = choose(fast.quadrant, cosine, negativeX);
    const double y = fastChoice.useCos ? cosFast(fast.r) : sinFast(fast.r);
    if (fastRoundsAlike(y, rounded)) {
        return {fastChoice.negate ? -rounded : rounded, Path::fast};
    }

    if (absBits >= kQuarterPiBits) reduced = reduce(absBits);
    const Choice choice = choose(reduced.quadrant, cosine, negativeX);
    const DD precise = choice.useCos ? cosPrecise(reduced.r) : sinPrecise(reduced.r);
    Path path = Path::precise;
    if (!roundsAlike(precise.hi, precise.lo, magnitude(precise.hi) * kPreciseBound, rounded)) {
        rounded = static_cast<float>(precise.hi);
        path = Path::unresolved;
    }
    return {choice.negate ? -rounded : rounded, path};
}

}  // namespace

Result cos(float x) { return evaluate(x, true); }

Result sin(float x) { return evaluate(x, false); }

}  // namespace subhost::trig
