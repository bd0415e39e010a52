#pragma once

#include <QString>

// The six process-wide folders, fixed once at start. Folder values end with "/".
struct TFolders {
    QString AppDir;
    QString ProfileDir;
    QString SettingsFileName;
    QString DataDir;
    QString CoordCacheDir;
    QString WebServerDir;
};

const TFolders &Folders();
// For start-up and tests: replaces the process-wide folders.
void SetFolders(const TFolders &folders);

inline const QString &AppDir() {
    return Folders().AppDir;
}
inline const QString &ProfileDir() {
    return Folders().ProfileDir;
}
inline const QString &SettingsFileName() {
    return Folders().SettingsFileName;
}
inline const QString &DataDir() {
    return Folders().DataDir;
}
inline const QString &CoordCacheDir() {
    return Folders().CoordCacheDir;
}
inline const QString &WebServerDir() {
    return Folders().WebServerDir;
}

// Decides where the settings, log and caches live: the program's global .ini
// ([SettingsLocation] UserPath) chooses the program folder (0) or the per-user folder
// $XDG_CONFIG_HOME/ZarnexClientAuto/ (non-zero). programFile is the executable's full path.
TFolders ComputeFolders(const QString &programFile);
void SetupFolders(const QString &programFile);

// The per-user application-data folder ($XDG_CONFIG_HOME or ~/.config), empty when unknown.
QString UserAppDataDir();

// The compiled-in program version ("2.0.8.0"), "?.?.?.?" when it is not known.
QString GetFileVersionText();
// The database structure this program is built for (SYS.LAST_VERSION of update/UPDB.sql): 3
// added the fuel drains.
constexpr int CurrentDbVersion = 3;
// True when the text is a decimal integer not below CurrentDbVersion.
bool IsCompatibleVersion(const QString &AVersion);
