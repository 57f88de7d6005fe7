#include "base/numbers.h"

#include <atomic>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>

#include "base/error.h"

namespace tandrel {
namespace {
std::atomic<char> gDecimalSeparator{'.'};
}

char DecimalSeparator() {
    return gDecimalSeparator.load(std::memory_order_relaxed);
}
void SetDecimalSeparator(char separator) {
    gDecimalSeparator.store(separator, std::memory_order_relaxed);
}

namespace {
// The value rounded to 15 significant digits: its sign, its digits without trailing zeros and
// the decimal exponent of the first. Not through the C library's printf: it writes the process
// locale's point, which may be more than one byte.
struct TDigits {
    bool Negative = false;
    std::string Digits;
    int Exponent = 0;
};

TDigits Digits15(double value) {
    char buf[40];
    const auto written =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    std::string s(buf, written.ptr);
    TDigits d;
    d.Negative = s[0] == '-';
    if (d.Negative) s.erase(0, 1);
    const auto e = s.find('e');
    std::from_chars(s.data() + e + (s[e + 1] == '+' ? 2 : 1), s.data() + s.size(), d.Exponent);
    d.Digits = s.substr(0, 1) + s.substr(2, e - 2);
    while (d.Digits.size() > 1 && d.Digits.back() == '0') d.Digits.pop_back();
    return d;
}

std::string Fixed(const TDigits& d, char decimalSeparator) {
    std::string out = d.Negative ? "-" : "";
    if (d.Exponent < 0) {
        out += '0';
        out += decimalSeparator;
        out.append(static_cast<std::size_t>(-d.Exponent - 1), '0');
        out += d.Digits;
        return out;
    }
    const auto intLen = static_cast<std::size_t>(d.Exponent) + 1;
    if (d.Digits.size() <= intLen) {
        out += d.Digits;
        out.append(intLen - d.Digits.size(), '0');
    } else {
        out += d.Digits.substr(0, intLen);
        out += decimalSeparator;
        out += d.Digits.substr(intLen);
    }
    return out;
}
}  // namespace

std::string FormatGeneral(double value, char decimalSeparator) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0) return "0";
    const TDigits d = Digits15(value);
    if (d.Exponent >= -5 && d.Exponent <= 14) return Fixed(d, decimalSeparator);
    std::string out = d.Negative ? "-" : "";
    out += d.Digits[0];
    if (d.Digits.size() > 1) {
        out += decimalSeparator;
        out += d.Digits.substr(1);
    }
    out += 'E';
    out += std::to_string(d.Exponent);
    return out;
}

std::string FormatFixed(double value, char decimalSeparator) {
    if (!std::isfinite(value)) return FormatGeneral(value, decimalSeparator);
    if (value == 0) return "0";
    return Fixed(Digits15(value), decimalSeparator);
}

double RoundHalfEven(double value) {
    if (!std::isfinite(value)) return value;
    const double floor = std::floor(value);
    const double diff = value - floor;  // exact for every double
    if (diff < 0.5) return floor;
    if (diff > 0.5) return floor + 1;
    return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

double RoundScaledExact(double value, int scale) {
#if LDBL_MANT_DIG >= 64
    // A double times a small integer fits the 64-bit mantissa exactly.
    const long double exact = static_cast<long double>(value) * scale;
    const long double floor = std::floor(exact);
    const long double diff = exact - floor;
    if (diff < 0.5L) return static_cast<double>(floor);
    if (diff > 0.5L) return static_cast<double>(floor + 1);
    return static_cast<double>(std::fmod(floor, 2.0L) == 0 ? floor : floor + 1);
#else
    // product + error is the exact product; the error decides a product that rounded onto a half.
    const double product = value * scale;
    const double error = std::fma(value, static_cast<double>(scale), -product);
    double r = RoundHalfEven(product);
    const double diff = product - r;
    if (diff == 0.5 && error > 0) r += 1;
    if (diff == -0.5 && error < 0) r -= 1;
    return r;
#endif
}

double TargetFor(double size, std::int32_t precision, std::int32_t correction) {
    const int scale = precision != 0 ? 10 : 1;
    const double r = RoundScaledExact(size, scale);
#if LDBL_MANT_DIG >= 64
    return static_cast<double>(static_cast<long double>(r) / scale + correction);
#else
    return r / scale + correction;
#endif
}

bool TryStrToInt32(std::string_view text, std::int32_t& value) {
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
        negative = digits[0] == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty()) return false;
    std::int64_t v = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
        if (v > 2147483648LL) return false;
    }
    if (negative) v = -v;
    if (v > std::numeric_limits<std::int32_t>::max()) return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

std::int32_t StrToInt32(std::string_view text) {
    std::int32_t v = 0;
    if (!TryStrToInt32(text, v)) throw EConvertError::NotAnInteger(std::string(text));
    return v;
}

}  // namespace tandrel
