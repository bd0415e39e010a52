#include "session/FirstStart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool SeedUserSettings(const TFolders &folders) {
    if (folders.ProfileDir == folders.AppDir || QFileInfo::exists(folders.SettingsFileName))
        return false;
    const QString global = folders.AppDir + QFileInfo(folders.SettingsFileName).fileName();
    if (!QFileInfo(global).isFile())
        return false;
    // Through a temporary name, so a failed copy never leaves a truncated settings file.
    const QString temp = folders.SettingsFileName + QStringLiteral(".new");
    QFile::remove(temp);
    if (!QFile::copy(global, temp))
        return false;
    QFile::setPermissions(temp, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!QFile::rename(temp, folders.SettingsFileName)) {
        QFile::remove(temp);
        return false;
    }
    return true;
}
