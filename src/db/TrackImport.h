#pragma once

// Import of device data files: every position into the object's track file of the same name,
// every change of state into the state history, and the registered object's latest state
// brought up to date when the file holds newer data. The import writes through a connection
// of its own, so its transaction is independent of the main connection's.
//
// The import loops are run tasks (app/RunTask.h): they report to a progress model (what the
// progress window shows), poll its Cancelled flag after every file and pause every few hundred
// records, so whoever runs them keeps a window responsive and its cancel button live.

#include <QIODevice>
#include <QObject>
#include <QString>
#include <QStringList>

#include <stdexcept>

#include "app/DateUtils.h"
#include "app/GeoTypes.h"
#include "app/RunTask.h"
#include "db/Database.h"

class TFManager;
class TManager;

// The object of a file is not in the registry: nothing was written.
class EUnknownObject : public std::runtime_error {
public:
    explicit EUnknownObject(int number);
    int number() const { return m_number; }

private:
    int m_number;
};

// What one file did.
struct TFileImportResult {
    int number = 0;
    int positions = 0; // records appended to the track file
    int stateRows = 0; // state changes written
    // The registered object took the file's newer state (then the map item follows it).
    bool objectUpdated = false;
    // ... and its position (the file's last complete position with a fix).
    bool positionUpdated = false;
    TGeoCoords position;
    TDateTime time = 0;
};

// The progress window of an import run: a log, a bar and one button.
class TImportProgress : public QObject {
    Q_OBJECT
public:
    bool Cancelled = false;

    int position() const { return m_position; }
    int maximum() const { return m_maximum; }
    const QString &buttonText() const { return m_button; }
    const QStringList &lines() const { return m_lines; }
    bool isShown() const { return m_shown; }

    // Shown with an empty log, the bar at 0 of maximum, the button reading "Отмена";
    // Cancelled is cleared.
    void start(int maximum);
    void log(const QString &line);
    void advance();
    // A loop that ran to its end: the button reads "Закрыть" and Cancelled is set.
    void finish();
    // The button: at the bar's end it logs "Импорт данных завершен" and closes; once cancelled
    // it closes; otherwise it cancels ("Отменено пользователем.", the button reads "Закрыть").
    void cancelBtnClick();
    void close();

signals:
    void started(int maximum);
    void logLine(const QString &line);
    void positionChanged(int position);
    void buttonTextChanged(const QString &text);
    void closed();

private:
    void setButton(const QString &text);
    int m_position = 0;
    int m_maximum = 0;
    QString m_button;
    QStringList m_lines;
    bool m_shown = false;
};

class TTrackImport : public QObject {
    Q_OBJECT
public:
    // registry: the objects and their time zones; the import opens its own connection with
    // settings. Track files go to coordCacheDir + number + "/" + the data file's name.
    TTrackImport(TManager &registry, TFManager &fmngr, const db::TConnectionSettings &settings,
                 const QString &coordCacheDir, TImportProgress &progress,
                 QObject *parent = nullptr);

    // Imports one device data file read from Stream (from its start) for object ObjNumber into
    // result; FName gives the track file's name. An object that is not registered raises
    // EUnknownObject. The connection is opened before the track file is touched; the rows
    // written before a later error are committed all the same, and the track file keeps the
    // positions read before it unless that would leave the day file with fewer records than it
    // had. Stream and result must outlive the task.
    TRunTask importFile(QString FName, QIODevice &Stream, int ObjNumber, TFileImportResult &result);
    // The same, run to its end on the spot.
    TFileImportResult FileToDB(const QString &FName, QIODevice &Stream, int ObjNumber);
    // The positions of a device data file into the track file of the same name (no database
    // row, no state decoded); nothing but opening the file for an unregistered object.
    void FileToTrack(const QString &FName, int ObjNumber);

    // Every "*.dat" file of dataDir + AObjNum + "/" for that object.
    TRunTask ReloadTracks(QString dataDir, int AObjNum);
    // Chosen files for one object.
    TRunTask importFiles(QStringList files, int number);
    // The numbered subfolders 1..999 of folder, each for the object of its number.
    TRunTask importDirectory(QString folder);
    // Files that failed in the last loop.
    int failedFiles() const { return m_failed; }

    TImportProgress &progress() { return m_progress; }

    // Records between two pauses of a file's import.
    static constexpr int RecordsPerPause = 256;

signals:
    // A file was imported (also for the registered object's new state).
    void fileImported(const TFileImportResult &result);

private:
    // Imports the "*.dat" files of one folder with the per-file log lines of a reload.
    TRunTask importFolderFiles(QString folder, int number);
    TRunTask openAndImport(QString path, QString name, int number);

    TManager &m_registry;
    TFManager &m_fmngr;
    db::TConnectionSettings m_settings;
    QString m_coordCacheDir;
    TImportProgress &m_progress;
    int m_failed = 0;
};
