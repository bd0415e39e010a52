#pragma once

// Programming parameter files (".ppc"): the window's fields in the section "main" of an INI
// file, one key per control, named after it.

#include <QString>

#include <utility>
#include <vector>

#include "programming/ProgrammingParams.h"

namespace programming {

// "Параметры программирования (*.ppc)|*.ppc"
QString PpcFilter();
QString PpcExtension(); // "ppc"

// Writes the file through a temporary file and a rename; throws EProgrammingError with the
// system's reason, the old file intact.
void SavePpc(const TProgrammingParams &p, const QString &fileName);
// Reads the file onto base: the keys present and the rules for missing ones; the conversion
// coefficient, the second heater and the hidden connection settings stay as base has them,
// and the hidden engine option is always checked. Throws EProgrammingError when the file
// cannot be read.
TProgrammingParams LoadPpc(const QString &fileName, const TProgrammingParams &base);

// The keys in the order they are written.
QStringList PpcKeys();
// The keys with their values as the file holds them, in that order.
std::vector<std::pair<QString, QString>> PpcValues(const TProgrammingParams &p);

} // namespace programming
