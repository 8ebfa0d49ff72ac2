// Arithmetic and logic. Integers stay 32-bit integers (wrapping) where both inputs are
// integer nodes; everything else is a double.
#include <cmath>
#include <cstdio>

#include "script/interpreter.h"

namespace cv::script {

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr double kDegreesPerRadian = 57.2957795131;

int32_t truncated(double d) {
    if (!(d > -2147483649.0 && d < 2147483648.0)) return INT32_MIN;
    return static_cast<int32_t>(d);
}

double num(PrimCall& c, int i) { return c.in.ToFloat(c.args[i], c.index); }

Ref sumOrProduct(PrimCall& c, bool product) {
    Interpreter& in = c.in;
    uint32_t whole = product ? 1u : 0u;
    double total = product ? 1.0 : 0.0;
    bool allIntegers = true;
    Ref v;
    while (in.NextInput(c, v)) {
        if (allIntegers && in.isInteger(v)) {
            const uint32_t x = uint32_t(in.intValue(v));
            whole = product ? whole * x : whole + x;
            total = product ? total * double(in.intValue(v)) : total + double(in.intValue(v));
            continue;
        }
        allIntegers = false;
        const double x = in.ToFloat(v, c.index);
        total = product ? total * x : total + x;
    }
    return allIntegers ? in.NewInteger(int32_t(whole)) : in.NewFloat(total);
}

Ref primSum(PrimCall& c) { return sumOrProduct(c, false); }
Ref primProduct(PrimCall& c) { return sumOrProduct(c, true); }

Ref primDifference(PrimCall& c) {
    Interpreter& in = c.in;
    if (in.isInteger(c.args[0]) && in.isInteger(c.args[1]))
        return in.NewInteger(int32_t(uint32_t(in.intValue(c.args[0])) - uint32_t(in.intValue(c.args[1]))));
    const double a = num(c, 0), b = num(c, 1);
    return in.NewFloat(a - b);
}

Ref primQuotient(PrimCall& c) {
    const double a = num(c, 0);
    double b = num(c, 1);
    if (b == 0) {
        c.in.RaiseError(kErrDivideByZero, kNone, kNone);
        b = 1;
    }
    return c.in.NewFloat(a / b);
}

Ref primIntQuotient(PrimCall& c) {
    Interpreter& in = c.in;
    const int32_t a = in.ToInteger(c.args[0], c.index);
    int32_t b = in.ToInteger(c.args[1], c.index);
    if (b == 0) {
        in.RaiseError(kErrDivideByZero, kNone, kNone);
        b = 1;
    }
    if (b == -1) return in.NewInteger(int32_t(0u - uint32_t(a)));  // INT_MIN / -1 wraps
    return in.NewInteger(a / b);
}

Ref primRemainder(PrimCall& c) {
    Interpreter& in = c.in;
    const int32_t a = in.ToInteger(c.args[0], c.index);
    int32_t b = in.ToInteger(c.args[1], c.index);
    if (b == 0) {
        in.RaiseError(kErrDivideByZero, kNone, kNone);
        b = 1;
    }
    if (b == -1) return in.NewInteger(0);
    return in.NewInteger(a % b);
}

Ref primAbs(PrimCall& c) {
    Interpreter& in = c.in;
    if (in.isInteger(c.args[0])) {
        const int32_t v = in.intValue(c.args[0]);
        return in.NewInteger(v < 0 ? int32_t(0u - uint32_t(v)) : v);
    }
    return in.NewFloat(std::fabs(num(c, 0)));
}

Ref primInt(PrimCall& c) {
    if (c.in.isInteger(c.args[0])) return c.in.NewInteger(c.in.intValue(c.args[0]));
    return c.in.NewInteger(truncated(num(c, 0)));
}

Ref primRound(PrimCall& c) {
    if (c.in.isInteger(c.args[0])) return c.in.NewInteger(c.in.intValue(c.args[0]));
    return c.in.NewInteger(truncated(std::floor(num(c, 0) + 0.5)));
}

Ref primFloat(PrimCall& c) { return c.in.NewFloat(num(c, 0)); }

Ref primSqrt(PrimCall& c) {
    double x = num(c, 0);
    if (x < 0) {
        c.in.RaisePrimError(kErrDoesntLike, c.index, c.args[0]);
        x = -x;
    }
    return c.in.NewFloat(std::sqrt(x));
}

Ref primPower(PrimCall& c) {
    const double a = num(c, 0), b = num(c, 1);
    return c.in.NewFloat(std::pow(a, b));
}

Ref primExp(PrimCall& c) { return c.in.NewFloat(std::exp(num(c, 0))); }
Ref primLn(PrimCall& c) { return c.in.NewFloat(std::log(num(c, 0))); }
Ref primSin(PrimCall& c) { return c.in.NewFloat(std::sin(num(c, 0) * kRadiansPerDegree)); }
Ref primCos(PrimCall& c) { return c.in.NewFloat(std::cos(num(c, 0) * kRadiansPerDegree)); }
Ref primTan(PrimCall& c) { return c.in.NewFloat(std::tan(num(c, 0) * kRadiansPerDegree)); }
Ref primArcSin(PrimCall& c) { return c.in.NewFloat(std::asin(num(c, 0)) * kDegreesPerRadian); }
Ref primArcCos(PrimCall& c) { return c.in.NewFloat(std::acos(num(c, 0)) * kDegreesPerRadian); }
Ref primArcTan(PrimCall& c) { return c.in.NewFloat(std::atan(num(c, 0)) * kDegreesPerRadian); }

// The heading of the direction (x, y): degrees clockwise from straight up.
Ref primArcTan2(PrimCall& c) {
    const double x = num(c, 0), y = num(c, 1);
    double h = 90.0 - std::atan2(y, x) * kDegreesPerRadian;
    if (h < 0) h += 360.0;
    return c.in.NewFloat(h);
}

Ref primRandom(PrimCall& c) {
    Interpreter& in = c.in;
    int32_t n = in.ToInteger(c.args[0], c.index);
    if (n < 1) {
        in.RaisePrimError(kErrDoesntLike, c.index, c.args[0]);
        n = 1;
    }
    return in.NewInteger(in.random15() % n);
}

Ref primRerandom(PrimCall& c) {
    c.in.rerandom();
    return kNone;
}

Ref primForm(PrimCall& c) {
    Interpreter& in = c.in;
    const double x = num(c, 0);
    int32_t width = in.ToInteger(c.args[1], c.index);
    if (width < 1 || width > 128) {
        in.RaisePrimError(kErrDoesntLike, c.index, c.args[1]);
        width = 16;
    }
    int32_t precision = in.ToInteger(c.args[2], c.index);
    if (precision < 0 || precision > 6) {
        in.RaisePrimError(kErrDoesntLike, c.index, c.args[2]);
        precision = 6;
    }
    char buf[512];
    const double a = std::fabs(x);
    std::snprintf(buf, sizeof buf, (a >= 1e-6 && a < 999999.0) ? "%*.*f" : "%*.*E", int(width), int(precision), x);
    return in.WordFromText(buf);
}

Ref primNot(PrimCall& c) {
    Interpreter& in = c.in;
    if (in.IsTrue(c.args[0])) return kFalse;
    if (in.IsFalse(c.args[0])) return kTrue;
    if (c.args[0] == kNone) in.RaisePrimError(kErrNotEnoughInputs, c.index, kNone);
    else in.RaisePrimError(kErrDoesntLike, c.index, c.args[0]);
    return kTrue;
}

Ref andOr(PrimCall& c, bool isAnd) {
    Interpreter& in = c.in;
    bool sawTrue = false, sawFalse = false;
    Ref v;
    while (in.NextInput(c, v)) {
        if (in.IsTrue(v)) sawTrue = true;
        else if (in.IsFalse(v)) sawFalse = true;
        else if (v == kNone) in.RaisePrimError(kErrNotEnoughInputs, c.index, kNone);
        else in.RaisePrimError(kErrDoesntLike, c.index, v);
    }
    if (isAnd) return sawFalse ? kFalse : kTrue;
    return sawTrue ? kTrue : kFalse;
}

Ref primAnd(PrimCall& c) { return andOr(c, true); }
Ref primOr(PrimCall& c) { return andOr(c, false); }

const PrimitiveFamily kArithmetic("arithmetic", {
    {"SUM", primSum},
    {"PRODUCT", primProduct},
    {"DIFFERENCE", primDifference},
    {"QUOTIENT", primQuotient},
    {"INTQUOTIENT", primIntQuotient},
    {"REMAINDER", primRemainder},
    {"ABS", primAbs},
    {"INT", primInt},
    {"ROUND", primRound},
    {"FLOAT", primFloat},
    {"SQRT", primSqrt},
    {"POWER", primPower},
    {"EXP", primExp},
    {"LN", primLn},
    {"SIN", primSin},
    {"COS", primCos},
    {"TAN", primTan},
    {"ARCSIN", primArcSin},
    {"ARCCOS", primArcCos},
    {"ARCTAN", primArcTan},
    {"ARCTAN2", primArcTan2},
    {"RANDOM", primRandom},
    {"RERANDOM", primRerandom},
    {"FORM", primForm},
    {"NOT", primNot},
    {"AND", primAnd},
    {"OR", primOr},
});

} // namespace

} // namespace cv::script
