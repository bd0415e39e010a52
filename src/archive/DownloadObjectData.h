#pragma once

// The archive download: the day files the monitoring server kept while the client was off,
// fetched for one object or every object of the registry over a range of days, stored under
// the data folder and imported. Two transports: the monitoring server's FTP service (a
// compressed list of the day files per object, then each listed file, compressed), or a data
// server over HTTP ("zarnex/" + number + "/" + yyyymmdd + ".dat").
//
// The run is a run task (app/RunTask.h) on the caller's thread; each transfer runs in a worker
// thread meanwhile, and the task pauses while it waits, so whoever runs it keeps a window and
// its cancel button live. Only complete transfers are stored and imported.

#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

#include "app/DateUtils.h"
#include "app/RunTask.h"
#include "archive/Transfers.h"

struct TOptions;
class TDialogs;
class TDownloadProgress;
class TManager;
class TTrackImport;
struct TFileImportResult;

struct TDownloadSettings {
    bool useDServer = false; // HTTP from the data server instead of FTP
    TFtpSettings ftp;
    THttpSettings http;
    static TDownloadSettings fromOptions(const TOptions &options);
};

// The remote name of an object's file list for a range: "_<number>_<start>_<end>", the dates
// always as dd.MM.yyyy.
QString ArchiveListName(int number, TDateTime start, TDateTime end);

// One entry of a file list: "<number>\<file>=<size>" ("/" also separates).
struct TListEntry {
    QString name; // as listed, sent to the server unchanged
    int number = 0;
    QString local; // where it is stored below the data folder: "<number>/<file>"
    qint64 size = 0;
};
// Nothing when the entry is not of that form: an absolute path, "..", more levels, no size.
std::optional<TListEntry> ParseListEntry(const QString &line);
// The lines of a received file list (Windows-1251, any line end), empty ones left out.
QStringList FileListLines(const QByteArray &list);

// The day file names of every calendar date from start's to end's, both included.
QStringList DayFileNames(TDateTime start, TDateTime end);

// The download dialog's days widened so that the UTC days they overlap are asked for too:
// from the earlier of start and start + bias to the later of end and end + bias, where
// UTC = local time + bias (minutes).
struct TDownloadRange {
    TDateTime start = 0;
    TDateTime end = 0;
};
TDownloadRange WidenedRange(const QDate &from, const QDate &to, int biasMinutes);
// The system time zone's bias now: -(the current UTC offset) in minutes.
int CurrentTimeZoneBias();

// What is wrong with the download dialog's choice; the message to show is the caller's.
enum class TDownloadChoice { Ok, BadInterval, BadObject };
// oneObject: "Один объект" with objectText typed or picked from numbers; number receives it.
TDownloadChoice CheckDownloadChoice(const QDate &from, const QDate &to, bool oneObject,
                                    const QString &objectText, const std::vector<int> &numbers,
                                    int &number);

class TDownloadObjectData : public QObject {
    Q_OBJECT
public:
    // dataDir ends with "/". The import stores what was fetched (FileToDB).
    TDownloadObjectData(const TManager &registry, TTrackImport &import, TDownloadProgress &progress,
                        TDialogs &dialogs, const TDownloadSettings &settings,
                        const QString &dataDir, QObject *parent = nullptr);

    // Fetches and imports the missed day files of object ObjectNum (0: every object of the
    // registry) from StartTimeStamp's day to EndTimeStamp's.
    TRunTask DownloadObjectData(int ObjectNum, TDateTime StartTimeStamp, TDateTime EndTimeStamp);

    // The run ended with the error mark (FTP), or a transfer or import failed (HTTP).
    bool failed() const { return m_failed; }
    int importedFiles() const { return m_imported; }

signals:
    void fileImported(const TFileImportResult &result);

private:
    TRunTask ftpRun(std::vector<int> objects, int ObjectNum, TDateTime start, TDateTime end);
    TRunTask ftpEntry(TFtpClient &ftp, QString line);
    // Fetches one remote file into out; ok tells whether it came whole. A connection that fails
    // throws; any other failure is appended to the log line as "ошибка N - ..." and marked.
    TRunTask ftpFetch(TFtpClient &ftp, QString name, QByteArray &out, bool &ok);
    TRunTask httpRun(std::vector<int> objects, TDateTime start, TDateTime end);
    // Imports the content and then stores it (temporary file and rename).
    TRunTask store(QString local, QByteArray content, int number);
    void markError();

    const TManager &m_registry;
    TTrackImport &m_import;
    TDownloadProgress &m_progress;
    TDialogs &m_dialogs;
    TDownloadSettings m_settings;
    QString m_dataDir;
    bool m_failed = false;
    int m_imported = 0;
};
