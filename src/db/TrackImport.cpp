#include "db/TrackImport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>

#include "db/GroupManager.h"
#include "online/ControllableObject.h"
#include "tracks/DeviceData.h"
#include "tracks/FileManager.h"

EUnknownObject::EUnknownObject(int number)
    : std::runtime_error(
          QStringLiteral("объект № %1 не зарегистрирован в базе данных").arg(number).toStdString()),
      m_number(number) {}

// ---- progress

void TImportProgress::start(int maximum) {
    m_lines.clear();
    m_maximum = maximum;
    m_position = 0;
    Cancelled = false;
    m_shown = true;
    emit started(maximum);
    emit positionChanged(0);
    setButton(QStringLiteral("Отмена"));
}

void TImportProgress::log(const QString &line) {
    m_lines << line;
    emit logLine(line);
}

void TImportProgress::advance() {
    ++m_position;
    emit positionChanged(m_position);
}

void TImportProgress::finish() {
    setButton(QStringLiteral("Закрыть"));
    Cancelled = true;
}

void TImportProgress::cancelBtnClick() {
    if (m_position >= m_maximum) {
        log(QStringLiteral("Импорт данных завершен"));
        close();
    } else if (Cancelled) {
        close();
    } else {
        Cancelled = true;
        log(QStringLiteral("Отменено пользователем."));
        setButton(QStringLiteral("Закрыть"));
    }
}

void TImportProgress::close() {
    if (!m_shown)
        return;
    m_shown = false;
    emit closed();
}

void TImportProgress::setButton(const QString &text) {
    m_button = text;
    emit buttonTextChanged(text);
}

// ---- import

namespace {

// The history row of one state; the statement is prepared once per file.
const QString kStateRow = QStringLiteral(
    "UPDATE OR INSERT INTO INPUTSIGNALS ( ins_number, ins_PCTIME, ins_PACKTIME, ins_fuellevel, "
    "ins_boardvoltage, INS_TEMPERATURE, ins_locomotivemove, ins_warningmode, "
    "ins_erroravtoprotect, ins_dieselwork, ins_abvoltagelessmin, ins_ALERTBTN ) VALUES ( :n, "
    "NULL, :t, :f, :v, :temp, :a, :b, :c, :d, :e, :g ) MATCHING (ins_number, ins_PACKTIME)");

void bindState(db::TQuery &q, const TControllableObject &o) {
    q.setParam(0, o.Number);
    q.setParam(1, db::TParam::timestamp(o.TS));
    q.setParam(2, o.FuelLevel);
    q.setParam(3, o.BoardVoltage);
    // Floating values go to the database with two decimals.
    q.setParam(4, std::round(o.Temperature * 100) / 100);
    q.setParam(5, o.TankCoverSensor);
    q.setParam(6, o.KungTrailer);
    q.setParam(7, o.V24Gen);
    q.setParam(8, o.ExOut1);
    q.setParam(9, o.ExOut2);
    q.setParam(10, o.AlertBtn);
}

// Gives the track file back on every path. After an error it is saved only when it holds at
// least the records of the day file on disk: a failed step never replaces a day file with
// fewer records.
class TTrackFileHold {
public:
    TTrackFileHold(TFManager &fmngr, const QString &name) : m_fmngr(fmngr), m_name(name) {
        m_file = fmngr.get(name);
    }
    ~TTrackFileHold() noexcept(false) {
        if (std::uncaught_exceptions() > 0) {
            try {
                const qint64 onDisk = QFileInfo(m_name).size() / TCoordData::RecordSize;
                m_fmngr.FreeFile(m_name, qint64(m_file->coords.size()) >= onDisk);
            } catch (...) {
                // The error already on its way is the one to report.
            }
        } else {
            m_fmngr.FreeFile(m_name, true);
        }
    }
    TTrackFile *operator->() const { return m_file; }
    TTrackFile *get() const { return m_file; }

private:
    TFManager &m_fmngr;
    QString m_name;
    TTrackFile *m_file;
};

} // namespace

TTrackImport::TTrackImport(TManager &registry, TFManager &fmngr,
                           const db::TConnectionSettings &settings, const QString &coordCacheDir,
                           TImportProgress &progress, QObject *parent)
    : QObject(parent), m_registry(registry), m_fmngr(fmngr), m_settings(settings),
      m_coordCacheDir(coordCacheDir), m_progress(progress) {}

TFileImportResult TTrackImport::FileToDB(const QString &FName, QIODevice &Stream, int ObjNumber) {
    TFileImportResult result;
    importFile(FName, Stream, ObjNumber, result).runToEnd();
    return result;
}

TRunTask TTrackImport::importFile(QString FName, QIODevice &Stream, int ObjNumber,
                                  TFileImportResult &result) {
    TControllableObject *reg = m_registry.FindObject(ObjNumber);
    if (!reg)
        throw EUnknownObject(ObjNumber);
    result = TFileImportResult();
    result.number = ObjNumber;

    // Everything that can fail before a record is read comes first: the day file is not
    // touched by an import that cannot start.
    if (!Stream.seek(0))
        throw std::runtime_error(Stream.errorString().toStdString());
    db::TDatabase database;
    database.open(m_settings);
    db::TTransaction tr(database, db::TTransactionKind::Write);
    tr.start();
    // The rows written before an error are kept: commit what there is on every path.
    struct TCommitOnError {
        db::TTransaction &tr;
        ~TCommitOnError() {
            if (std::uncaught_exceptions() > 0 && tr.isActive()) {
                try {
                    tr.commit();
                } catch (...) {
                    tr.forceRollback();
                }
            }
        }
    } commitOnError{tr};
    db::TQuery insert(tr, kStateRow);
    insert.prepare();

    // Whatever the registry already holds for the name is kept; otherwise the day file starts
    // empty and the import replaces it.
    TTrackFileHold file(m_fmngr, m_coordCacheDir + QString::number(ObjNumber) + QLatin1Char('/') +
                                     QFileInfo(FName).fileName());
    file->num = ObjNumber;

    TControllableObject tmp;
    tmp.Number = ObjNumber;
    tmp.V24Gen = 0;

    // The per-record append reserves one more place each time: make room for the whole file.
    file->coords.reserve(file->coords.size() + int(Stream.size() / TDeviceRecord::HeadSize) + 1);
    TDeviceDataReader reader(Stream);
    TDeviceRecord rec;
    QByteArray lastState;
    bool haveState = false;
    for (int n = 1;; ++n) {
        const TDeviceRead r = reader.next(rec);
        if (r == TDeviceRead::End || r == TDeviceRead::TimeOnly)
            break;
        const TDateTime shifted = ShiftByTimeZone(rec.time, reg->TimeZone);
        tmp.CCoords.assign(1, TCoordStamp{rec.position, shifted});
        if (r == TDeviceRead::Complete && (!haveState || rec.state != lastState)) {
            haveState = true;
            lastState = rec.state;
            tmp.TS = shifted;
            tmp.PackTime = shifted;
            tmp.PCTime.clear();
            tmp.DecodeSostString(rec.state);
            bindState(insert, tmp);
            try {
                insert.execute();
                ++result.stateRows;
            } catch (const db::EDatabaseError &) {
                // A row the table refuses costs only that row, as in the on-line recording.
            }
        }
        // A record whose state is cut short still contributes its position.
        TManager::ObjCoordsToCoordsTable(&tmp, file.get());
        ++result.positions;
        if (n % RecordsPerPause == 0)
            co_yield TRunPause::Busy;
    }
    tr.commitRetaining();

    // The registry may have changed while the import paused.
    reg = m_registry.FindObject(ObjNumber);
    // A connected object keeps its live state; otherwise the file's newer state is taken.
    if (reg && !reg->Connected && reg->TS <= tmp.TS) {
        reg->TS = tmp.TS;
        reg->PackTime = tmp.PackTime;
        reg->PCTime = tmp.PCTime;
        if (!tmp.CCoords.empty()) {
            const TGeoCoords &p = tmp.CCoords.back().Coords;
            if (p.Latitude > 0 && p.Longitude > 0) {
                reg->Lat = p.Latitude;
                reg->Lng = p.Longitude;
                result.positionUpdated = true;
                result.position = p;
            }
        }
        reg->AlertBtn = tmp.AlertBtn;
        reg->Version = tmp.Version;
        reg->KungTrailer = tmp.KungTrailer;
        reg->ExOut1 = tmp.ExOut1;
        reg->TankCoverSensor = tmp.TankCoverSensor;
        reg->V24Gen = tmp.V24Gen;
        reg->ExOut2 = tmp.ExOut2;
        reg->FuelLevel = tmp.FuelLevel;
        reg->BoardVoltage = tmp.BoardVoltage;
        reg->Temperature = tmp.Temperature;
        m_registry.ObjSostToDB(ObjNumber, tr);
        result.objectUpdated = true;
        result.time = tmp.TS;
    }
    tr.commit();
    database.close();
}

void TTrackImport::FileToTrack(const QString &FName, int ObjNumber) {
    QFile f(FName);
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error(f.errorString().toStdString());
    const TControllableObject *reg = m_registry.FindObject(ObjNumber);
    if (!reg)
        return;
    TTrackFileHold file(m_fmngr, m_coordCacheDir + QString::number(ObjNumber) + QLatin1Char('/') +
                                     QFileInfo(FName).fileName());
    file->num = ObjNumber;
    TControllableObject tmp;
    tmp.Number = ObjNumber;
    tmp.V24Gen = 0;
    file->coords.reserve(file->coords.size() + int(f.size() / TDeviceRecord::HeadSize) + 1);
    TDeviceDataReader reader(f);
    TDeviceRecord rec;
    for (;;) {
        const TDeviceRead r = reader.next(rec, false);
        if (r != TDeviceRead::Complete)
            break;
        tmp.CCoords.assign(1, TCoordStamp{rec.position, ShiftByTimeZone(rec.time, reg->TimeZone)});
        TManager::ObjCoordsToCoordsTable(&tmp, file.get());
    }
}

TRunTask TTrackImport::openAndImport(QString path, QString name, int number) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error(f.errorString().toStdString());
    TFileImportResult r;
    co_await importFile(name, f, number, r);
    emit fileImported(r);
}

namespace {
QString quotedName(const QFileInfo &fi) {
    return QLatin1Char('"') + fi.fileName() + QLatin1Char('"');
}
QFileInfoList dataFiles(const QString &folder) {
    return QDir(folder).entryInfoList({QStringLiteral("*.dat")},
                                      QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}
} // namespace

TRunTask TTrackImport::importFolderFiles(QString folder, int number) {
    for (const QFileInfo &fi : dataFiles(folder)) {
        QString failure;
        try {
            co_await openAndImport(fi.filePath(), fi.fileName(), number);
        } catch (const std::exception &e) {
            failure = QString::fromUtf8(e.what());
        }
        if (failure.isNull()) {
            m_progress.log(QStringLiteral("  файл ") + quotedName(fi) +
                           QStringLiteral(" импортирован"));
        } else {
            ++m_failed;
            m_progress.log(QStringLiteral("  ошибка, файл ") + quotedName(fi) +
                           QStringLiteral(": ") + failure);
        }
        co_yield TRunPause::Busy;
        if (m_progress.Cancelled)
            co_return;
    }
}

TRunTask TTrackImport::ReloadTracks(QString dataDir, int AObjNum) {
    m_failed = 0;
    const QFileInfoList files = dataFiles(dataDir + QString::number(AObjNum) + QLatin1Char('/'));
    m_progress.start(int(files.size()));
    for (const QFileInfo &fi : files) {
        QString failure;
        try {
            co_await openAndImport(fi.filePath(), fi.fileName(), AObjNum);
        } catch (const std::exception &e) {
            failure = QString::fromUtf8(e.what());
        }
        if (failure.isNull()) {
            m_progress.log(QStringLiteral("  файл ") + quotedName(fi) +
                           QStringLiteral(" импортирован"));
        } else {
            ++m_failed;
            m_progress.log(QStringLiteral("  ошибка, файл ") + quotedName(fi) +
                           QStringLiteral(": ") + failure);
        }
        m_progress.advance();
        co_yield TRunPause::Busy;
        if (m_progress.Cancelled)
            co_return;
    }
    m_progress.finish();
}

TRunTask TTrackImport::importFiles(QStringList files, int number) {
    m_failed = 0;
    m_progress.start(int(files.size()));
    for (const QString &path : files) {
        m_progress.log(QStringLiteral("Импорт файла: ") + path);
        QString failure;
        try {
            co_await openAndImport(path, QFileInfo(path).fileName(), number);
        } catch (const std::exception &e) {
            failure = QString::fromUtf8(e.what());
        }
        if (failure.isNull()) {
            m_progress.log(QStringLiteral("  успешно импортирован в базу"));
        } else {
            ++m_failed;
            m_progress.log(QStringLiteral("  ошибка: ") + failure);
        }
        m_progress.advance();
        co_yield TRunPause::Busy;
        if (m_progress.Cancelled)
            co_return;
    }
    m_progress.finish();
    m_progress.log(QStringLiteral("Импорт завершен"));
}

TRunTask TTrackImport::importDirectory(QString folder) {
    m_failed = 0;
    const QString base = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    m_progress.start(999);
    for (int i = 1; i <= 999; ++i) {
        const QString sub = base + QString::number(i) + QLatin1Char('/');
        if (QFileInfo(sub).isDir()) {
            m_progress.log(QStringLiteral("Импорт данных объекта №") + QString::number(i));
            try {
                co_await importFolderFiles(sub, i);
            } catch (const std::exception &) {
                // A folder that cannot be listed is passed over.
            }
        }
        m_progress.advance();
        if (i % 50 == 0)
            co_yield TRunPause::Busy;
        if (m_progress.Cancelled)
            co_return;
    }
    m_progress.finish();
}
