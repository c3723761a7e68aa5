#pragma once

#include <QString>

// The one order of car numbers: the leading number by value ("9" before
// "10"), then the rest as text ("1" before "1A" before "2"), then numbers
// without a leading number as text. A strict weak order whatever the mix,
// so that sorting and sorting views give one order for one set.
class CarNumberOrder final
{
public:
    static bool less(const QString& a, const QString& b);
};
