#include "app/Sound.h"

#include <QFileInfo>
#include <QProcess>

void PlaySound(const QString &fileName) {
    if (fileName.isEmpty() || !QFileInfo::exists(fileName))
        return;
    QProcess::startDetached(QStringLiteral("aplay"), {QStringLiteral("-q"), fileName});
}
