#pragma once

#include <QString>

#include <optional>

// The number at the start of a text, read the way the settings fields are read: spaces,
// tabs and line feeds are skipped wherever they stand, then an optional sign and digits
// with at most one decimal point; "&H" and "&O" start a hexadecimal or octal whole
// number. A text without a number reads as 0.
double ReadLeadingNumber(const QString& text);

// Rounds to the nearest integer, an exact half to the even one; nullopt outside the type.
std::optional<qint16> RoundToInt16(double value);
std::optional<qint32> RoundToInt32(double value);

// The text without the space characters (code 32) at either end; tabs stay.
QString TrimSpaces(const QString& text);
