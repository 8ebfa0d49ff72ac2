// The numeric test, conversions between numbers and text, and the random generator.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "script/interpreter.h"

namespace cv::script {

namespace {

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool numericText(std::string_view t) {
    size_t i = 0;
    auto at = [&](size_t k) { return k < t.size() ? t[k] : '\0'; };
    if (at(i) == '"') ++i;
    if (at(i) == '-') ++i;
    if (!isDigit(at(i)) && at(i) != '.') return false;
    ++i;
    while (isDigit(at(i))) ++i;
    if (at(i) == '.') ++i;
    while (isDigit(at(i))) ++i;
    if (at(i) == 'E' || at(i) == 'e') {
        ++i;
        if (at(i) == '+' || at(i) == '-') ++i;
        if (!isDigit(at(i))) return false;
        while (isDigit(at(i))) ++i;
    }
    return i == t.size();
}

// The conversion of the x86 instruction the original used: out of range gives INT_MIN.
int32_t truncateToInt(double d) {
    if (!(d > -2147483649.0 && d < 2147483648.0)) return INT32_MIN;
    return static_cast<int32_t>(d);
}

} // namespace

bool Interpreter::IsNumeric(Ref v, int reporter) {
    if (isNumber(v)) return true;
    if (isWord(v) && numericText(TextFromWord(v))) return true;
    if (reporter == kReportSilent) return false;
    if (v == kNone) {
        if (reporter >= 0) RaisePrimError(kErrNotEnoughInputs, reporter, kNone);
        else RaiseError(kErrMath, kNone, kNone);
        return false;
    }
    if (reporter >= 0) RaisePrimError(kErrDoesntLike, reporter, v);
    else RaiseError(kErrMath, kNone, v);
    return false;
}

int32_t Interpreter::ToInteger(Ref v, int reporter) {
    if (!IsNumeric(v, reporter)) return 0;
    if (isInteger(v)) return intValue(v);
    if (isFloat(v)) return truncateToInt(floatValue(v));
    // The leading digits of the text, after an optional sign.
    const std::string t = TextFromWord(v);
    errno = 0;
    const long long n = std::strtoll(t.c_str(), nullptr, 10);
    if (n > INT32_MAX) return INT32_MAX;
    if (n < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(n);
}

double Interpreter::ToFloat(Ref v, int reporter) {
    if (!IsNumeric(v, reporter)) return 0.0;
    if (isInteger(v)) return intValue(v);
    if (isFloat(v)) return floatValue(v);
    std::string t = TextFromWord(v);
    const char* p = t.c_str();
    if (*p == '"') ++p;
    return std::strtod(p, nullptr);
}

std::string Interpreter::NumberText(double x) {
    char buf[64];
    const double a = std::fabs(x);
    if (a >= 0.01 && a <= 1000000.0) {
        if (std::fabs(a - std::floor(a + 0.5)) < 1e-9) {
            const long v = x >= 0 ? long(x + 0.5) : long(x - 0.5);
            std::snprintf(buf, sizeof buf, "%ld", v);
            return buf;
        }
        std::snprintf(buf, sizeof buf, "%.9f", x);
        std::string s = buf;
        while (!s.empty() && s.back() == '0') s.pop_back();
        return s;
    }
    if (x == 0) return "0";
    std::snprintf(buf, sizeof buf, "%.15e", x);
    return buf;
}

std::string Interpreter::NumberText(Ref v) const {
    if (isInteger(v)) return std::to_string(intValue(v));
    if (isFloat(v)) return NumberText(floatValue(v));
    return std::string();
}

Ref Interpreter::WordFromNumber(Ref v) {
    if (!isNumber(v)) return v;
    return WordFromText(NumberText(v));
}

std::string Interpreter::TextOf(Ref v) const {
    if (isWord(v)) return TextFromWord(v);
    if (isNumber(v)) return NumberText(v);
    return std::string();
}

bool Interpreter::CheckWord(Ref v, int index) {
    if (v == kNone) {
        RaisePrimError(kErrNotEnoughInputs, index, kNone);
        return false;
    }
    if (!isWordLike(v)) {
        RaisePrimError(kErrDoesntLike, index, v);
        return false;
    }
    return true;
}

// The generator of the platform the system was made for, so that a seed gives the same
// sequence everywhere.
int Interpreter::random15() {
    randomState_ = randomState_ * 214013u + 2531011u;
    return int((randomState_ >> 16) & 0x7FFF);
}

} // namespace cv::script
