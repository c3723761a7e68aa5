#include "CarNumberOrder.h"

namespace {

// Leading digits without their leading zeros, and where the rest starts.
struct Split {
    QStringRef number;
    int rest = 0;
};

Split split(const QString& text)
{
    int end = 0;
    while (end < text.size() && text.at(end).isDigit() && text.at(end).unicode() < 128)
        ++end;
    int start = 0;
    while (start < end - 1 && text.at(start) == QLatin1Char('0'))
        ++start;
    return {text.midRef(start, end - start), end};
}

} // namespace

bool CarNumberOrder::less(const QString& a, const QString& b)
{
    const Split x = split(a);
    const Split y = split(b);
    const bool xNumbered = x.rest > 0;
    const bool yNumbered = y.rest > 0;
    if (xNumbered != yNumbered)
        return xNumbered;
    if (xNumbered) {
        // Equal lengths without leading zeros compare as text, digit by digit.
        if (x.number.size() != y.number.size())
            return x.number.size() < y.number.size();
        const int byValue = x.number.compare(y.number);
        if (byValue != 0)
            return byValue < 0;
    }
    const int byRest = a.midRef(x.rest).compare(b.midRef(y.rest));
    if (byRest != 0)
        return byRest < 0;
    // "07" and "7": still one order.
    return a < b;
}
