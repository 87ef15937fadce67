// The small reading rules of a transaction, kept apart from the windows so they are unit-tested
// natively: how the amount field reads, how the coin balance parses, what the mark tag is.
#pragma once

#include <cstdint>

// The amount text read as a decimal number (leading white space, an optional sign, digits with an
// optional decimal point, an optional exponent; reading stops at the first character that does
// not fit, and text without a number reads as 0), narrowed to single precision.
float ReadAmount(const char16_t* text);

// Reply field 1 of a give: leading white space, one optional sign, then digits up to the first
// non-digit; no digits give 0; values outside the 32-bit range give the nearest limit.
std::int32_t ParseCoinPoints(const char16_t* text);

// The mark tag of a text message: the low 32 bits of the calendar time, read as signed.
std::int32_t MarkTagFromTime(std::int64_t secondsSinceEpoch);
