#pragma once

// Numbers of the fuel windows and traces as the platform shows them (its decimal separator).

#include <QString>

// The shortest text of up to 15 significant digits: 90 -> "90", 95.5 -> "95,5".
QString FloatToText(double value);
// Three decimals ("0.000"); a value that rounds to zero has no sign.
QString FormatFixed3(double value);
// A floating-point number typed in the platform's form.
bool TextToFloat(const QString &text, double &value);
