#pragma once

#include <QByteArray>
#include <QVariant>
#include <QVector>

#include <cstdint>
#include <limits>

// Number literals at and past the range of a double, shared by the tests of
// both ends. A literal that fits is read as value (its type included); one
// that does not makes the whole line a parse error.
struct NumberLiteral {
    const char* name;
    QByteArray text;
    bool fits;
    QVariant value;
};

inline QVector<NumberLiteral> numberLiteralTable()
{
    const QByteArray fives20(20, '5');
    const QByteArray fives100(100, '5');
    return {
        {"21 digits e291 (2.6e311)", "2" + fives20 + "e291", false, {}},
        {"101 digits e291", "2" + fives100 + "e291", false, {}},
        {"1e309", "1e309", false, {}},
        {"-1e309", "-1e309", false, {}},
        {"just over the largest", "1.7976931348623159e308", false, {}},
        {"below the smallest", "1e-325", false, {}},
        {"huge exponent", "1e+99999999999999999999", false, {}},
        {"huge negative exponent", "1e-99999999999999999999", false, {}},
        {"65 digits", "1" + QByteArray(64, '0'), false, {}},
        {"fraction of 65 digits", "0." + QByteArray(64, '0') + "1", false, {}},
        {"exponent of 65 digits", "1e" + QByteArray(64, '0') + "1", false, {}},
        {"fraction of 64 digits", "0." + QByteArray(63, '0') + "1", true, QVariant(1e-64)},
        {"64 digits each side", QByteArray(64, '1') + "." + QByteArray(64, '0'), true, QVariant(1111111111111111111111111111111111111111111111111111111111111111.0)},
        {"largest", "1.7976931348623157e308", true, QVariant(std::numeric_limits<double>::max())},
        {"largest negative", "-1.7976931348623157e308", true, QVariant(-std::numeric_limits<double>::max())},
        {"largest, integer digits", "179769313486231570000e288", true, QVariant(std::numeric_limits<double>::max())},
        {"smallest", "5e-324", true, QVariant(std::numeric_limits<double>::denorm_min())},
        {"0.1", "0.1", true, QVariant(0.1)},
        {"exponent with many digits", "1e00000000000000000002", true, QVariant(100.0)},
        {"negative exponent with many digits", "25E-00000000000000000001", true, QVariant(2.5)},
        {"64 digits", "1" + QByteArray(63, '0'), true, QVariant(1e63)},
        {"2^53 + 1", "9007199254740993", true, QVariant(quint64(9007199254740993ULL))},
        {"INT64_MIN", "-9223372036854775808", true, QVariant(qint64(std::numeric_limits<qint64>::min()))},
        {"UINT64_MAX", "18446744073709551615", true, QVariant(quint64(std::numeric_limits<quint64>::max()))},
        {"zero with a large exponent", "0e-400", true, QVariant(0.0)},
    };
}
