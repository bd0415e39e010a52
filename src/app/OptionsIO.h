#pragma once

#include "app/Dialogs.h"
#include "app/Folders.h"
#include "app/Options.h"

// Reading and writing the settings file. Messages go through the dialogs; both return false
// after reporting an error.
namespace options {

// "Зарнекс-Клиент-Авто": the application title, also the caption of settings messages.
QString ApplicationTitle();

// A new random local web-server port: 1023 + a uniform number in 0..64512.
int RandomWebPort();

// The record with every field at its default for these folders (DBPath under AppDir,
// a random WebServerPort, the built-in web-map list).
TOptions Defaults(const TFolders &folders);
QVector<TWebMapPath> BuiltInWebMaps();
QString DefaultDataServerUrl();

bool LoadOptions(TOptions &o, const TFolders &folders, TDialogs &dialogs);
bool SaveOptions(TOptions &o, const TFolders &folders, TDialogs &dialogs);

// Map path as written to the file: relative to AppDir when inside it, else the full path.
QString MapPathForFile(const QString &fullPath, const QString &appDir);
// Map path from the file: full path, relative values resolved against AppDir, "\" as "/".
QString MapPathFromFile(const QString &value, const QString &appDir);
// Entries equal without regard to case are removed, the first one stays.
QStringList UniqueMaps(const QStringList &maps);

} // namespace options
