#pragma once

#include <QStringView>
#include <cstdint>
#include <optional>

// Text as a number, as the classic Basic runtime takes it.
namespace basic {
// Val: blanks skipped; an optional sign, digits, a fraction and an exponent; anything else ends
// the number; no number gives 0.
double val(QStringView text);
// CInt: the number rounded to the nearest integer, ties to even; nothing when it does not fit
// a 16-bit signed integer.
std::optional<std::int16_t> toInt16(double value);
} // namespace basic
