#include "ui/Icons.h"

#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace {

QString shippedFile(const QString &fallback) {
    return QStringLiteral(":/icons/") + fallback + QStringLiteral(".svg");
}

} // namespace

QPixmap ShippedIconPixmap(const QString &fallback, int size) {
    QSvgRenderer renderer(shippedFile(fallback));
    if (!renderer.isValid())
        return {};
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter painter(&pm);
    renderer.render(&painter);
    return pm;
}

QIcon AppIcon(const QString &themeName, const QString &fallback) {
    if (QIcon::hasThemeIcon(themeName))
        return QIcon::fromTheme(themeName);
    static QHash<QString, QIcon> cache;
    if (const auto it = cache.constFind(fallback); it != cache.constEnd())
        return *it;
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48})
        icon.addPixmap(ShippedIconPixmap(fallback, size));
    cache.insert(fallback, icon);
    return icon;
}
