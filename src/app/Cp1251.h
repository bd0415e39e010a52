#pragma once

#include <QByteArray>
#include <QString>

// Windows-1251: the code page of the database, the text files and the object commands.
namespace cp1251 {
QByteArray encode(const QString &text);
QString decode(const QByteArray &bytes);
QString decode(const char *data, qsizetype size);
} // namespace cp1251
