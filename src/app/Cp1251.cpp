#include "app/Cp1251.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace cp1251 {

QByteArray encode(const QString &text) {
    QStringEncoder enc("windows-1251");
    return enc.encode(text);
}

QString decode(const QByteArray &bytes) {
    return decode(bytes.constData(), bytes.size());
}

QString decode(const char *data, qsizetype size) {
    QStringDecoder dec("windows-1251");
    return dec.decode(QByteArrayView(data, size));
}

} // namespace cp1251
