#pragma once

// The session's data runs: device data files imported (chosen files, a folder of object
// folders, an object's stored day files again) and the archive download, each a run task of
// the one runner. The window and the batch front end start the same tasks; the window through
// the runner, the batch front end on the spot.

#include <QDate>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

#include "app/DateUtils.h"
#include "app/RunTask.h"

struct TOptions;
struct TFileImportResult;
class TDialogs;
class TDownloadProgress;
class TFManager;
class TImportProgress;
class TManager;
class TRunner;
class TTrackImport;

class TDataRuns : public QObject {
    Q_OBJECT
public:
    TDataRuns(TOptions &options, TDialogs &dialogs, TRunner &runner, TFManager &fmngr,
              QObject *parent = nullptr);
    ~TDataRuns() override;

    void setRegistry(TManager *registry);
    TImportProgress &importProgress() { return *m_importProgress; }
    TDownloadProgress &downloadProgress() { return *m_downloadProgress; }

    // ---- the tasks (a registry must be set; it must outlive the task)
    TRunTask importFilesTask(QStringList files, int number);
    TRunTask importDirectoryTask(QString folder);
    // Every stored day file of one object again (after its registry entry changed).
    TRunTask reloadTracksTask(int number);
    // Fetches the missed day files of object ObjectNum (0: every object) from the start's day
    // to the end's and imports them.
    TRunTask downloadTask(int ObjectNum, TDateTime start, TDateTime end);
    // The same for the download dialog's days, widened to the UTC days they overlap.
    TRunTask downloadDaysTask(int ObjectNum, QDate from, QDate to);
    // After the last import or download: files that failed, and the download's error mark.
    int failedFiles() const;
    bool downloadFailed() const { return m_downloadFailed; }

    // ---- the window's commands: asked through the dialogs, run through the runner
    void miImportFilesClick();
    void miImportDirectoryClick();
    bool ReloadTracks(int number);
    // then, when set, runs after the download has ended. False when it could not start.
    bool DownloadObjectData(int ObjectNum, TDateTime start, TDateTime end,
                            std::function<void()> then = {});
    // The download dialog's answer: its days widened to the UTC days they overlap.
    void downloadDays(int ObjectNum, const QDate &from, const QDate &to);

signals:
    // A file was imported (the registered object may have moved).
    void fileImported(const TFileImportResult &result);
    // A run ended: the grid and the map show its data.
    void runEnded();

private:
    TTrackImport &import();
    bool start(bool download, TRunTask task, std::function<void()> then = {});

    TOptions &m_options;
    TDialogs &m_dialogs;
    TRunner &m_runner;
    TFManager &m_fmngr;
    TManager *m_registry = nullptr;
    std::unique_ptr<TImportProgress> m_importProgress;
    std::unique_ptr<TDownloadProgress> m_downloadProgress;
    std::unique_ptr<TTrackImport> m_import; // for the registry it was made for
    bool m_downloadFailed = false;
};
