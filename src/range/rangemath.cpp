#include "rangemath.h"

#include <cmath>

namespace rangemath {

float crescendoStep(int pFrom, int pTo, int iFrom, int iTo)
{
    if (iFrom == iTo)
        return 0.0f;
    return static_cast<float>(double(pFrom - pTo) / double(iTo - iFrom));
}

std::optional<int> volumePosition(int k, float step, std::int16_t start)
{
    const double sum
        = double(static_cast<float>(k)) * double(step) + double(static_cast<float>(start));
    const float x = static_cast<float>(9.0 - sum);
    if (!std::isfinite(x))
        return std::nullopt;
    const float position = std::nearbyint(x); // the default rounding mode: ties to even
    if (position < -32768.0f || position > 32767.0f)
        return std::nullopt;
    return static_cast<int>(position);
}

} // namespace rangemath
