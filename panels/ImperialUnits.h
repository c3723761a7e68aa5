#pragma once

// Weather values as received (degrees Celsius, km/h, mBar) in imperial units.
namespace ImperialUnits {

inline float fahrenheit(float celsius)
{
    return celsius * 1.8f + 32.0f;
}

inline float milesPerHour(float kmh)
{
    return kmh * 0.621371f;
}

inline float inchesOfMercury(float millibar)
{
    return millibar * 0.0295301f;
}

} // namespace ImperialUnits
