#pragma once

#include <QIcon>
#include <QString>

// A command's icon: the system icon theme's, else the one shipped with the program
// (":/icons/<fallback>.svg", drawn by Qt's SVG renderer).
QIcon AppIcon(const QString &themeName, const QString &fallback);

// The shipped drawing alone, as a pixmap of the given size (a null pixmap when unknown).
QPixmap ShippedIconPixmap(const QString &fallback, int size);
