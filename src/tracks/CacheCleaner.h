#pragma once

#include <QString>

#include <stdexcept>

class TDialogs;
class TFManager;

// Deleting the cache folders failed; the text starts with "Ошибка удаления файлов: ".
class ETrackCacheError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Deletes a folder and what it holds. Files (and symbolic links, which are never followed) are
// deleted, subfolders whose name has no "." are deleted recursively, and the folder itself is
// removed; failures to delete are ignored. A folder that exists but cannot be listed raises
// ETrackCacheError.
void DeleteCacheFolder(const QString &folder);

// The main window's "Очистка кэша" command: asks, deletes the device data folder and then the
// track folder, and reports the result through the given dialogs. The registry's memory of released
// files is dropped as well, so nothing deleted is served again.
void ClearCache(TFManager *fmngr, TDialogs &dialogs);
