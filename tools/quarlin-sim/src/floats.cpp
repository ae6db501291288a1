#include "floats.h"

#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace quarlin_sim {

namespace {

// ---------------------------------------------------------------------------
// Shortest round-trip digits, by Ulf Adams' Ryu method: the interval of
// decimals that read back to the same binary value is scaled by a power of
// ten with exact integer arithmetic, and digits are dropped while the
// interval still holds a decimal of fewer digits; the one nearest to the
// value wins, ties to even.  These are the digits std::to_chars writes.

struct Decimal {
    uint64_t digits;   // without trailing zeros only where the interval allows
    int32_t exponent;  // value = digits * 10^exponent
};

using u128 = unsigned __int128;

// ceil(log2(5^e)) for e >= 1, 1 for e = 0: the bit length of 5^e.
int32_t pow5bits(int32_t e) { return static_cast<int32_t>((static_cast<uint32_t>(e) * 1217359U) >> 19) + 1; }
// floor(log10(2^e)) and floor(log10(5^e)), for the exponents of binary64.
uint32_t log10Pow2(int32_t e) { return (static_cast<uint32_t>(e) * 78913U) >> 18; }
uint32_t log10Pow5(int32_t e) { return (static_cast<uint32_t>(e) * 732923U) >> 20; }

uint32_t pow5Factor(uint64_t value) {
    uint32_t count = 0;
    while (value % 5 == 0) {
        value /= 5;
        ++count;
    }
    return count;
}
bool multipleOfPowerOf5(uint64_t value, uint32_t p) { return pow5Factor(value) >= p; }
bool multipleOfPowerOf2(uint64_t value, uint32_t p) { return (value & ((uint64_t{1} << p) - 1)) == 0; }

// Powers of five as the binary fractions the scaling multiplies by: for
// binary32 64-bit words of 59 (inverse) and 61 bits, for binary64 128-bit
// words of 125 bits.  Made once, exactly, from big integers.
class BigInt {
public:
    explicit BigInt(uint32_t value) : words_{value} {}
    static BigInt powerOfTwo(int32_t n) {
        BigInt b(0);
        b.words_.assign(static_cast<size_t>(n / 32 + 1), 0);
        b.words_.back() = uint32_t{1} << (n % 32);
        return b;
    }
    void multiply(uint32_t factor) {
        uint64_t carry = 0;
        for (uint32_t& w : words_) {
            const uint64_t product = static_cast<uint64_t>(w) * factor + carry;
            w = static_cast<uint32_t>(product);
            carry = product >> 32;
        }
        if (carry != 0) words_.push_back(static_cast<uint32_t>(carry));
    }
    void divide(uint32_t divisor) {  // toward zero
        uint64_t rest = 0;
        for (size_t i = words_.size(); i-- > 0;) {
            const uint64_t part = (rest << 32) | words_[i];
            words_[i] = static_cast<uint32_t>(part / divisor);
            rest = part % divisor;
        }
        trim();
    }
    int32_t bitLength() const {
        return static_cast<int32_t>(32 * (words_.size() - 1)) + (32 - std::countl_zero(words_.back()));
    }
    // The 128 bits from bit `shift` up (shift >= 0), or the value shifted
    // left by -shift.
    u128 bitsFrom(int32_t shift) const {
        u128 out = 0;
        for (size_t i = words_.size(); i-- > 0;) {
            const int32_t position = static_cast<int32_t>(32 * i) - shift;
            if (position >= 128 || position <= -32) continue;
            out |= position >= 0 ? static_cast<u128>(words_[i]) << position : static_cast<u128>(words_[i] >> -position);
        }
        return out;
    }

private:
    void trim() {
        while (words_.size() > 1 && words_.back() == 0) words_.pop_back();
    }
    std::vector<uint32_t> words_;
};

// 2^(pow5bits(q) - 1 + bits) / 5^q + 1 and 5^i in its top `bits` bits.
template <size_t N>
std::array<u128, N> inversePowersOf5(int32_t bits) {
    std::array<u128, N> table{};
    for (size_t q = 0; q < N; ++q) {
        BigInt b = BigInt::powerOfTwo(pow5bits(static_cast<int32_t>(q)) - 1 + bits);
        size_t fives = q;
        for (; fives >= 13; fives -= 13) b.divide(1220703125U);  // 5^13
        uint32_t rest = 1;
        for (; fives > 0; --fives) rest *= 5;
        b.divide(rest);
        table[q] = b.bitsFrom(0) + 1;
    }
    return table;
}

template <size_t N>
std::array<u128, N> powersOf5(int32_t bits) {
    std::array<u128, N> table{};
    BigInt b(1);
    for (size_t i = 0; i < N; ++i) {
        table[i] = b.bitsFrom(b.bitLength() - bits);
        b.multiply(5);
    }
    return table;
}

struct Binary32Tables {
    static constexpr int32_t kInverseBits = 59;
    static constexpr int32_t kBits = 61;
    std::array<u128, 31> inverse = inversePowersOf5<31>(kInverseBits);
    std::array<u128, 47> powers = powersOf5<47>(kBits);
};

struct Binary64Tables {
    static constexpr int32_t kInverseBits = 125;
    static constexpr int32_t kBits = 125;
    std::array<u128, 342> inverse = inversePowersOf5<342>(kInverseBits);
    std::array<u128, 326> powers = powersOf5<326>(kBits);
};

const Binary32Tables& binary32Tables() {
    static const Binary32Tables tables;
    return tables;
}

const Binary64Tables& binary64Tables() {
    static const Binary64Tables tables;
    return tables;
}

// floor(m * factor / 2^shift), shift >= 64.
uint64_t mulShift(uint64_t m, u128 factor, int32_t shift) {
    const u128 low = static_cast<u128>(m) * static_cast<uint64_t>(factor);
    const u128 high = static_cast<u128>(m) * static_cast<uint64_t>(factor >> 64);
    return static_cast<uint64_t>(((low >> 64) + high) >> (shift - 64));
}

// floor(m * factor / 2^shift) for the 64-bit factors of binary32.
uint32_t mulShift32(uint32_t m, u128 factor, int32_t shift) {
    return static_cast<uint32_t>((static_cast<u128>(m) * static_cast<uint64_t>(factor)) >> shift);
}

// A finite binary value as m2 * 2^e2, with two more bits than it has, so
// that the bounds of its rounding interval are integers too: the interval
// reaches (4 m2 - 1 - mmShift) / 4 down and (4 m2 + 2) / 4 up, its bounds
// belonging to it when m2 is even.
template <typename U>
struct Unpacked {
    int32_t e2;
    U m2;
    uint32_t mmShift;  // 0 where the spacing below is half the spacing above
    bool acceptBounds;
};

template <typename U, int32_t MantissaBits, int32_t Bias>
Unpacked<U> unpack(U bits) {
    const U ieeeMantissa = bits & ((U{1} << MantissaBits) - 1);
    const auto ieeeExponent = static_cast<int32_t>((bits << 1) >> (MantissaBits + 1));
    Unpacked<U> u{};
    if (ieeeExponent == 0) {
        u.e2 = 1 - Bias - MantissaBits - 2;
        u.m2 = ieeeMantissa;
    } else {
        u.e2 = ieeeExponent - Bias - MantissaBits - 2;
        u.m2 = (U{1} << MantissaBits) | ieeeMantissa;
    }
    u.mmShift = ieeeMantissa != 0 || ieeeExponent <= 1;
    u.acceptBounds = (u.m2 & 1) == 0;
    return u;
}

// The rare case where the exact value or the interval's lower bound may end
// in zeros: digits go while the interval holds a shorter decimal, then, if
// the lower bound is exact, while it ends in a zero; an exact ...50..0
// rounds to even.
template <typename U>
Decimal removeDigitsKeepingZeros(U vr, U vp, U vm, bool vmIsTrailingZeros, bool vrIsTrailingZeros,
                                 uint32_t lastRemovedDigit, bool acceptBounds, int32_t e10) {
    int32_t removed = 0;
    while (vp / 10 > vm / 10) {
        vmIsTrailingZeros &= vm % 10 == 0;
        vrIsTrailingZeros &= lastRemovedDigit == 0;
        lastRemovedDigit = static_cast<uint32_t>(vr % 10);
        vr /= 10;
        vp /= 10;
        vm /= 10;
        ++removed;
    }
    if (vmIsTrailingZeros) {
        while (vm % 10 == 0) {
            vrIsTrailingZeros &= lastRemovedDigit == 0;
            lastRemovedDigit = static_cast<uint32_t>(vr % 10);
            vr /= 10;
            vp /= 10;
            vm /= 10;
            ++removed;
        }
    }
    if (vrIsTrailingZeros && lastRemovedDigit == 5 && vr % 2 == 0) lastRemovedDigit = 4;
    const U output = vr + ((vr == vm && (!acceptBounds || !vmIsTrailingZeros)) || lastRemovedDigit >= 5);
    return {output, e10 + removed};
}

// The shortest digits of a finite, non-zero binary32.
Decimal shortestBinary32(uint32_t bits) {
    const Binary32Tables& t = binary32Tables();
    const auto [e2, m2, mmShift, acceptBounds] = unpack<uint32_t, 23, 127>(bits);
    const uint32_t mv = 4 * m2;
    const uint32_t mp = 4 * m2 + 2;
    const uint32_t mm = 4 * m2 - 1 - mmShift;

    uint32_t vr, vp, vm;
    int32_t e10;
    bool vmIsTrailingZeros = false;
    bool vrIsTrailingZeros = false;
    uint32_t lastRemovedDigit = 0;
    if (e2 >= 0) {
        const uint32_t q = log10Pow2(e2);
        e10 = static_cast<int32_t>(q);
        const int32_t k = Binary32Tables::kInverseBits + pow5bits(static_cast<int32_t>(q)) - 1;
        const int32_t i = -e2 + static_cast<int32_t>(q) + k;
        vr = mulShift32(mv, t.inverse[q], i);
        vp = mulShift32(mp, t.inverse[q], i);
        vm = mulShift32(mm, t.inverse[q], i);
        if (q != 0 && (vp - 1) / 10 <= vm / 10) {
            // The loop below removes no digit: the last removed one is needed now.
            const int32_t l = Binary32Tables::kInverseBits + pow5bits(static_cast<int32_t>(q - 1)) - 1;
            lastRemovedDigit =
                mulShift32(mv, t.inverse[q - 1], -e2 + static_cast<int32_t>(q) - 1 + l) % 10;
        }
        if (q <= 9) {
            // At most one of mp, mv and mm is a multiple of 5.
            if (mv % 5 == 0) {
                vrIsTrailingZeros = multipleOfPowerOf5(mv, q);
            } else if (acceptBounds) {
                vmIsTrailingZeros = multipleOfPowerOf5(mm, q);
            } else {
                vp -= multipleOfPowerOf5(mp, q);
            }
        }
    } else {
        const uint32_t q = log10Pow5(-e2);
        e10 = static_cast<int32_t>(q) + e2;
        const int32_t i = -e2 - static_cast<int32_t>(q);
        const int32_t k = pow5bits(i) - Binary32Tables::kBits;
        int32_t j = static_cast<int32_t>(q) - k;
        vr = mulShift32(mv, t.powers[static_cast<size_t>(i)], j);
        vp = mulShift32(mp, t.powers[static_cast<size_t>(i)], j);
        vm = mulShift32(mm, t.powers[static_cast<size_t>(i)], j);
        if (q != 0 && (vp - 1) / 10 <= vm / 10) {
            j = static_cast<int32_t>(q) - 1 - (pow5bits(i + 1) - Binary32Tables::kBits);
            lastRemovedDigit = mulShift32(mv, t.powers[static_cast<size_t>(i + 1)], j) % 10;
        }
        if (q <= 1) {
            // mv = 4 * m2 always has two trailing zero bits.
            vrIsTrailingZeros = true;
            if (acceptBounds) {
                vmIsTrailingZeros = mmShift == 1;
            } else {
                --vp;
            }
        } else if (q < 31) {
            vrIsTrailingZeros = multipleOfPowerOf2(mv, q - 1);
        }
    }

    if (vmIsTrailingZeros || vrIsTrailingZeros) {
        return removeDigitsKeepingZeros(vr, vp, vm, vmIsTrailingZeros, vrIsTrailingZeros, lastRemovedDigit,
                                        acceptBounds, e10);
    }
    // The common case.
    int32_t removed = 0;
    while (vp / 10 > vm / 10) {
        lastRemovedDigit = vr % 10;
        vr /= 10;
        vp /= 10;
        vm /= 10;
        ++removed;
    }
    return {vr + (vr == vm || lastRemovedDigit >= 5), e10 + removed};
}

// The shortest digits of a finite, non-zero binary64.
Decimal shortestBinary64(uint64_t bits) {
    const Binary64Tables& t = binary64Tables();
    const auto [e2, m2, mmShift, acceptBounds] = unpack<uint64_t, 52, 1023>(bits);
    const uint64_t mv = 4 * m2;

    uint64_t vr, vp, vm;
    int32_t e10;
    bool vmIsTrailingZeros = false;
    bool vrIsTrailingZeros = false;
    if (e2 >= 0) {
        const uint32_t q = log10Pow2(e2) - (e2 > 3);
        e10 = static_cast<int32_t>(q);
        const int32_t k = Binary64Tables::kInverseBits + pow5bits(static_cast<int32_t>(q)) - 1;
        const int32_t i = -e2 + static_cast<int32_t>(q) + k;
        vr = mulShift(4 * m2, t.inverse[q], i);
        vp = mulShift(4 * m2 + 2, t.inverse[q], i);
        vm = mulShift(4 * m2 - 1 - mmShift, t.inverse[q], i);
        if (q <= 21) {
            // At most one of mp, mv and mm is a multiple of 5.
            if (mv % 5 == 0) {
                vrIsTrailingZeros = multipleOfPowerOf5(mv, q);
            } else if (acceptBounds) {
                vmIsTrailingZeros = multipleOfPowerOf5(mv - 1 - mmShift, q);
            } else {
                vp -= multipleOfPowerOf5(mv + 2, q);
            }
        }
    } else {
        const uint32_t q = log10Pow5(-e2) - (-e2 > 1);
        e10 = static_cast<int32_t>(q) + e2;
        const int32_t i = -e2 - static_cast<int32_t>(q);
        const int32_t k = pow5bits(i) - Binary64Tables::kBits;
        const int32_t j = static_cast<int32_t>(q) - k;
        vr = mulShift(4 * m2, t.powers[static_cast<size_t>(i)], j);
        vp = mulShift(4 * m2 + 2, t.powers[static_cast<size_t>(i)], j);
        vm = mulShift(4 * m2 - 1 - mmShift, t.powers[static_cast<size_t>(i)], j);
        if (q <= 1) {
            // mv = 4 * m2 always has two trailing zero bits.
            vrIsTrailingZeros = true;
            if (acceptBounds) {
                vmIsTrailingZeros = mmShift == 1;
            } else {
                --vp;
            }
        } else if (q < 63) {
            vrIsTrailingZeros = multipleOfPowerOf2(mv, q);
        }
    }

    if (vmIsTrailingZeros || vrIsTrailingZeros) {
        return removeDigitsKeepingZeros(vr, vp, vm, vmIsTrailingZeros, vrIsTrailingZeros, 0, acceptBounds, e10);
    }
    // The common case.
    int32_t removed = 0;
    bool roundUp = false;
    if (vp / 100 > vm / 100) {  // most often two digits go at once
        roundUp = vr % 100 >= 50;
        vr /= 100;
        vp /= 100;
        vm /= 100;
        removed += 2;
    }
    while (vp / 10 > vm / 10) {
        roundUp = vr % 10 >= 5;
        vr /= 10;
        vp /= 10;
        vm /= 10;
        ++removed;
    }
    return {vr + (vr == vm || roundUp), e10 + removed};
}

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

constexpr std::array<uint64_t, 20> kPowersOf10 = [] {
    std::array<uint64_t, 20> powers{};
    uint64_t p = 1;
    for (uint64_t& power : powers) {
        power = p;
        p *= 10;
    }
    return powers;
}();

// The number of decimal digits of v, 1 for 0.
int decimalLength(uint64_t v) {
    // log10(2) ~ 1233 / 4096: a first guess from the bit length, then one
    // test.  v | 1 has as many digits as v, and one for 0.
    const uint64_t w = v | 1;
    const int guess = ((64 - std::countl_zero(w)) * 1233) >> 12;
    return guess + (w >= kPowersOf10[static_cast<size_t>(guess)] ? 1 : 0);
}

// The last two digits of v at p - 2, for v below 100.
void writePair(char* p, uint32_t v) { std::memcpy(p - 2, kDigitPairs + v * 2, 2); }

// The `length` digits of v, at out; eight at a time in 32-bit arithmetic.
void writeDigits(char* out, uint64_t v, int length) {
    char* p = out + length;
    while (v >= 100000000) {
        auto low = static_cast<uint32_t>(v % 100000000);
        v /= 100000000;
        for (int i = 0; i < 4; ++i) {
            writePair(p, low % 100);
            low /= 100;
            p -= 2;
        }
    }
    auto rest = static_cast<uint32_t>(v);
    while (rest >= 100) {
        writePair(p, rest % 100);
        rest /= 100;
        p -= 2;
    }
    if (rest >= 10) {
        writePair(p, rest);
    } else {
        p[-1] = static_cast<char>('0' + rest);
    }
}

enum class Layout { shorter, fixed };

// digits * 10^exponent as to_chars lays out its shortest form: positional
// or scientific, whichever is shorter (positional on a tie), or always
// positional.  Null when the layout would be positional with zeros after
// the digits and `exactBelow` or more: there the shortest digits padded
// with zeros may not be the value's exact integer, which to_chars writes.
char* layOut(char* out, bool negative, Decimal d, Layout layout, uint64_t exactBelow) {
    const int length = decimalLength(d.digits);
    const int scientificExponent = d.exponent + length - 1;
    bool positional = true;
    if (layout == Layout::shorter) {
        const int absExponent = scientificExponent < 0 ? -scientificExponent : scientificExponent;
        const int scientificLength = length + (length > 1 ? 1 : 0) + 2 + (absExponent >= 100 ? 3 : 2);
        int positionalLength;
        if (d.exponent >= 0) {
            positionalLength = length + d.exponent;
        } else if (scientificExponent >= 0) {
            positionalLength = length + 1;
        } else {
            positionalLength = length + 1 - scientificExponent;
        }
        positional = positionalLength <= scientificLength;
    }
    if (positional && d.exponent > 0) {
        if (scientificExponent >= 19) return nullptr;
        if (d.digits * kPowersOf10[static_cast<size_t>(d.exponent)] >= exactBelow) return nullptr;
    }
    char* p = out;
    if (negative) *p++ = '-';
    if (!positional) {
        // d.ddde+XX
        writeDigits(p + 1, d.digits, length);
        p[0] = p[1];
        if (length > 1) {
            p[1] = '.';
            p += length + 1;
        } else {
            p += 1;
        }
        *p++ = 'e';
        int e = scientificExponent;
        *p++ = e < 0 ? '-' : '+';
        if (e < 0) e = -e;
        if (e >= 100) {
            *p++ = static_cast<char>('0' + e / 100);
            e %= 100;
        }
        std::memcpy(p, kDigitPairs + e * 2, 2);
        return p + 2;
    }
    if (d.exponent >= 0) {
        writeDigits(p, d.digits, length);
        p += length;
        std::memset(p, '0', static_cast<size_t>(d.exponent));
        return p + d.exponent;
    }
    if (scientificExponent >= 0) {
        // ddd.ddd
        const int integerDigits = scientificExponent + 1;
        writeDigits(p + 1, d.digits, length);
        for (int i = 0; i < integerDigits; ++i) p[i] = p[i + 1];
        p[integerDigits] = '.';
        return p + length + 1;
    }
    // 0.000ddd
    const int zeros = -scientificExponent - 1;
    *p++ = '0';
    *p++ = '.';
    std::memset(p, '0', static_cast<size_t>(zeros));
    p += zeros;
    writeDigits(p, d.digits, length);
    return p + length;
}

// Zeros, infinities and NaNs as to_chars writes them; null for the rest.
template <typename T>
char* writeSpecial(char* out, T value) {
    if (value == 0 || !std::isfinite(value)) {
        return std::to_chars(out, out + kMaxNumberText, value).ptr;
    }
    return nullptr;
}

std::string_view trimmed(std::string_view text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

// std::from_chars takes no leading '+', which people and other tools write.
std::string_view withoutPlus(std::string_view text) {
    if (text.size() > 1 && text[0] == '+' && text[1] != '-' && text[1] != '+') text.remove_prefix(1);
    return text;
}

// Without a format, to_chars picks the shorter of positional and
// scientific notation: "16777215", "1e-45".
template <typename T>
char* writeShortest(char* out, T value) {
    return std::to_chars(out, out + kMaxNumberText, value).ptr;
}

}  // namespace

// Integers up to these are exact in their type, and so are the shortest
// digits padded with zeros.
constexpr uint64_t kBinary32ExactIntegers = uint64_t{1} << 24;
constexpr uint64_t kBinary64ExactIntegers = uint64_t{1} << 53;

char* writeBinary32(char* out, float value) {
    if (char* end = writeSpecial(out, value)) return end;
    const auto bits = std::bit_cast<uint32_t>(value);
    if (char* end = layOut(out, (bits >> 31) != 0, shortestBinary32(bits), Layout::shorter, kBinary32ExactIntegers))
        return end;
    return writeShortest(out, value);
}

char* writeDouble(char* out, double value) {
    if (char* end = writeSpecial(out, value)) return end;
    const auto bits = std::bit_cast<uint64_t>(value);
    if (char* end = layOut(out, (bits >> 63) != 0, shortestBinary64(bits), Layout::shorter, kBinary64ExactIntegers))
        return end;
    return writeShortest(out, value);
}

char* writeDoubleFixed(char* out, double value) {
    // Positional notation of a large double runs past any buffer; those fall
    // back to the general form, which is just as exact.
    if (!(value > -1e15 && value < 1e15)) return writeDouble(out, value);
    if (char* end = writeSpecial(out, value)) return end;
    const auto bits = std::bit_cast<uint64_t>(value);
    const Decimal d = shortestBinary64(bits);
    // Small values take many zeros after the point.
    if (d.exponent + decimalLength(d.digits) - 1 >= -20) {
        if (char* end = layOut(out, (bits >> 63) != 0, d, Layout::fixed, kBinary64ExactIntegers)) return end;
    }
    // A tiny value's zeros may not fit either; the general form always does.
    const auto [end, error] = std::to_chars(out, out + kMaxNumberText, value, std::chars_format::fixed);
    return error == std::errc() ? end : writeDouble(out, value);
}

char* writeTenThousandths(char* out, uint64_t count) {
    // count / 10000.0 is the double nearest to the decimal count / 10^4.
    // Below 10^11 s a double's spacing is under 10^-4, so no other decimal
    // of at most four places reads back to it, and none of fewer places:
    // the decimal itself is the shortest text.
    constexpr uint64_t kExactBelow = 1000000000000000;
    if (count >= kExactBelow) return writeDoubleFixed(out, static_cast<double>(count) / 10000.0);
    const uint64_t whole = count / 10000;
    auto fraction = static_cast<uint32_t>(count % 10000);
    char* p = out;
    const int length = decimalLength(whole);
    writeDigits(p, whole, length);
    p += length;
    if (fraction == 0) return p;
    int places = 4;
    while (fraction % 10 == 0) {
        fraction /= 10;
        --places;
    }
    *p++ = '.';
    for (int i = places; i-- > 0;) {  // with its leading zeros
        p[i] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    return p + places;
}

std::optional<float> readBinary32(std::string_view text) {
    text = withoutPlus(trimmed(text));
    if (text.empty()) return std::nullopt;
    float value = 0.0f;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (end != text.data() + text.size()) return std::nullopt;
    if (error == std::errc()) return value;
    if (error != std::errc::result_out_of_range) return std::nullopt;
    // from_chars leaves the value alone when it over- or underflows; strtof
    // gives the IEEE rounding (infinity, a subnormal or zero) for the same
    // text, which from_chars has already found to be a number.
    const std::string copy(text);
    errno = 0;
    return std::strtof(copy.c_str(), nullptr);
}

std::optional<double> readDouble(std::string_view text) {
    text = withoutPlus(trimmed(text));
    if (text.empty()) return std::nullopt;
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (end != text.data() + text.size() || error != std::errc()) return std::nullopt;
    return value;
}

}  // namespace quarlin_sim
