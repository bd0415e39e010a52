#include "archive/DownloadObjectData.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>
#include <stdexcept>

#include "app/Cp1251.h"
#include "app/Dialogs.h"
#include "app/IniFile.h"
#include "app/Options.h"
#include "archive/DownloadProgress.h"
#include "db/GroupManager.h"
#include "db/TrackImport.h"

TDownloadSettings TDownloadSettings::fromOptions(const TOptions &o) {
    TDownloadSettings s;
    s.useDServer = o.UseDServer;
    s.ftp.host = o.AppServer;
    s.ftp.port = o.FtpPort;
    s.ftp.user = o.AppLogin;
    s.ftp.password = o.AppPass;
    s.ftp.passive = o.FTPPAssive;
    s.ftp.externalAddress = o.FTPIP.trimmed();
    s.http.server = o.DServer;
    s.http.port = o.DPort;
    s.http.login = o.DLogin;
    s.http.password = o.DPass;
    s.http.useProxy = o.UseProxy;
    s.http.proxyServer = o.ProxyServer;
    s.http.proxyPort = o.ProxyPort;
    s.http.proxyLogin = o.ProxyUser;
    s.http.proxyPassword = o.ProxyPassword;
    return s;
}

QString ArchiveListName(int number, TDateTime start, TDateTime end) {
    const QString f = QStringLiteral("dd.MM.yyyy");
    return QStringLiteral("_%1_%2_%3")
        .arg(QString::number(number), dt::toQDate(start).toString(f), dt::toQDate(end).toString(f));
}

namespace {
bool allDigits(const QString &s) {
    return !s.isEmpty() &&
           std::all_of(s.begin(), s.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}
} // namespace

std::optional<TListEntry> ParseListEntry(const QString &line) {
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return std::nullopt;
    TListEntry e;
    e.name = line.left(eq);
    const QString size = line.mid(eq + 1).trimmed();
    bool ok = false;
    e.size = size.toLongLong(&ok);
    if (!allDigits(size) || !ok)
        return std::nullopt;
    // "<number>" + one separator + a plain file name: nothing that could leave the object's
    // folder below the data folder.
    const qsizetype sep = e.name.indexOf(QRegularExpression(QStringLiteral("[\\\\/]")));
    if (sep <= 0)
        return std::nullopt;
    const QString number = e.name.left(sep), file = e.name.mid(sep + 1);
    e.number = number.toInt(&ok);
    if (!allDigits(number) || !ok || e.number <= 0)
        return std::nullopt;
    if (file.isEmpty() || file == QLatin1String(".") || file == QLatin1String("..") ||
        std::any_of(file.begin(), file.end(), [](QChar c) {
            return c == u'\\' || c == u'/' || c.unicode() < 0x20 || c.unicode() == 0x7F;
        }))
        return std::nullopt;
    e.local = QString::number(e.number) + QLatin1Char('/') + file;
    return e;
}

QStringList FileListLines(const QByteArray &list) {
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\n|\r"));
    return cp1251::decode(list).split(lineEnd, Qt::SkipEmptyParts);
}

QStringList DayFileNames(TDateTime start, TDateTime end) {
    QStringList names;
    const QDate last = dt::toQDate(end);
    for (QDate d = dt::toQDate(start); d <= last; d = d.addDays(1))
        names << d.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".dat");
    return names;
}

TDownloadRange WidenedRange(const QDate &from, const QDate &to, int biasMinutes) {
    const TDateTime start = dt::encodeDate(from), end = dt::encodeDate(to);
    const double bias = biasMinutes / 1440.0;
    return {std::min(start, start + bias), std::max(end, end + bias)};
}

int CurrentTimeZoneBias() {
    return -QTimeZone::systemTimeZone().offsetFromUtc(QDateTime::currentDateTime()) / 60;
}

TDownloadChoice CheckDownloadChoice(const QDate &from, const QDate &to, bool oneObject,
                                    const QString &objectText, const std::vector<int> &numbers,
                                    int &number) {
    number = 0;
    if (to < from)
        return TDownloadChoice::BadInterval;
    if (!oneObject)
        return TDownloadChoice::Ok;
    bool ok = false;
    const int n = objectText.trimmed().toInt(&ok);
    if (!ok || std::find(numbers.begin(), numbers.end(), n) == numbers.end())
        return TDownloadChoice::BadObject;
    number = n;
    return TDownloadChoice::Ok;
}

// ---- the run

TDownloadObjectData::TDownloadObjectData(const TManager &registry, TTrackImport &import,
                                         TDownloadProgress &progress, TDialogs &dialogs,
                                         const TDownloadSettings &settings, const QString &dataDir,
                                         QObject *parent)
    : QObject(parent), m_registry(registry), m_import(import), m_progress(progress),
      m_dialogs(dialogs), m_settings(settings), m_dataDir(dataDir) {}

TRunTask TDownloadObjectData::DownloadObjectData(int ObjectNum, TDateTime StartTimeStamp,
                                                 TDateTime EndTimeStamp) {
    m_failed = false;
    m_imported = 0;
    std::vector<int> objects;
    for (const TControllableObject *o : m_registry.FObjects)
        if (ObjectNum <= 0 || o->Number == ObjectNum)
            objects.push_back(o->Number);
    if (m_settings.useDServer)
        co_await httpRun(objects, StartTimeStamp, EndTimeStamp);
    else
        co_await ftpRun(objects, ObjectNum, StartTimeStamp, EndTimeStamp);
}

void TDownloadObjectData::markError() {
    m_progress.ShowErrorsMark();
    m_failed = true;
}

namespace {
QString what(const std::exception &e) {
    return QString::fromUtf8(e.what());
}

// The connection of the run is the window's to cut only while the run lasts.
struct TConnectionHold {
    TDownloadProgress &progress;
    TConnectionHold(TDownloadProgress &p, TArchiveConnection *c) : progress(p) {
        p.FtpConnectrion = c;
    }
    ~TConnectionHold() { progress.FtpConnectrion = nullptr; }
};
} // namespace

TRunTask TDownloadObjectData::ftpRun(std::vector<int> objects, int ObjectNum, TDateTime start,
                                     TDateTime end) {
    TFtpClient ftp(m_settings.ftp);
    m_progress.show();
    const TConnectionHold hold(m_progress, &ftp);
    try {
        try {
            if (ObjectNum > 0)
                m_progress.log(QStringLiteral("Загрузка архива, объект ") +
                               QString::number(ObjectNum));
            else
                m_progress.log(QStringLiteral("Загрузка архива: все объекты 0"));

            QStringList files;
            for (int number : objects) {
                m_progress.log(QStringLiteral("Получение списка файлов (объект ") +
                               QString::number(number) + QStringLiteral("): "));
                QByteArray list;
                bool whole = false;
                co_await ftpFetch(ftp, ArchiveListName(number, start, end), list, whole);
                if (whole) {
                    m_progress.append(QStringLiteral("OK"));
                    files += FileListLines(list);
                }
                if (m_progress.Cancelled)
                    break;
            }

            if (!m_progress.Cancelled) {
                if (!files.isEmpty())
                    m_progress.setMaximum(int(files.size()));
                m_progress.log(QStringLiteral("Файлов на сервере: ") +
                               QString::number(files.size()));
                for (int i = 0; i < files.size(); ++i) {
                    m_progress.setPosition(i);
                    co_await ftpEntry(ftp, files[i]);
                    m_progress.setPosition(i + 1);
                    if (m_progress.Cancelled)
                        break;
                }
            }
            if (m_progress.Cancelled) {
                m_progress.log(QStringLiteral("Докачка данных отменена"));
                markError();
            } else {
                m_progress.log(QStringLiteral("Докачка данных завершена"));
            }
        } catch (const std::exception &e) {
            m_progress.log(QStringLiteral("Ошибка загрузки данных: ") + what(e));
            markError();
        }
        m_progress.SwitchToDownloadCompleted();
    } catch (const std::exception &e) {
        m_progress.log(QStringLiteral("Докачка данных с сервера: ") + what(e));
        markError();
        m_progress.SwitchToDownloadCompleted();
    }
}

TRunTask TDownloadObjectData::ftpFetch(TFtpClient &ftp, QString name, QByteArray &out, bool &ok) {
    TDownloadThread t(ftp, name, out);
    while (!t.Executed())
        co_yield TRunPause::Wait;
    if (t.ConnectFailed())
        throw std::runtime_error(t.ErrorDesc().toStdString());
    ok = t.ErrorCode() == 0;
    if (ok)
        co_return;
    m_progress.append(QStringLiteral("ошибка ") + QString::number(t.ErrorCode()) +
                      QStringLiteral(" - ") + t.ErrorDesc());
    markError();
}

TRunTask TDownloadObjectData::ftpEntry(TFtpClient &ftp, QString line) {
    const std::optional<TListEntry> e = ParseListEntry(line);
    if (!e) {
        m_progress.log(QStringLiteral("Загрузка файла ") + line.section(QLatin1Char('='), 0, 0) +
                       QStringLiteral(": "));
        m_progress.append(QStringLiteral("ошибка загрузки данных: недопустимая запись списка"));
        markError();
        co_return;
    }
    if (!m_registry.FindObject(e->number))
        co_return;
    try {
        const QFileInfo stored(m_dataDir + e->local);
        if ((stored.exists() ? stored.size() : 0) == e->size) {
            m_progress.log(QStringLiteral("Файл ") + e->name + QStringLiteral(": уже загружен"));
            co_return;
        }
        m_progress.log(QStringLiteral("Загрузка файла ") + e->name + QStringLiteral(": "));
        QByteArray content;
        bool whole = false;
        co_await ftpFetch(ftp, e->name, content, whole);
        if (!whole)
            co_return;
        m_progress.append(QStringLiteral("обработка... "));
        if (content.isEmpty()) {
            m_progress.append(QStringLiteral("Неверный формат архива"));
            markError();
            co_return;
        }
        co_await store(e->local, content, e->number);
        m_progress.append(QStringLiteral("ОК"));
    } catch (const std::exception &ex) {
        m_progress.append(QStringLiteral("ошибка загрузки данных: ") + what(ex));
        markError();
    }
}

TRunTask TDownloadObjectData::store(QString local, QByteArray content, int number) {
    // Imported first: a stored file counts as loaded, so it is written only once its data is in.
    QByteArray bytes = content;
    QBuffer stream(&bytes);
    stream.open(QIODevice::ReadOnly);
    TFileImportResult r;
    co_await m_import.importFile(local, stream, number, r);
    const QString path = m_dataDir + local;
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw std::runtime_error(QStringLiteral("не удалось создать папку %1")
                                     .arg(QFileInfo(path).absolutePath())
                                     .toStdString());
    writeFileAtomically(path, content);
    ++m_imported;
    emit fileImported(r);
}

TRunTask TDownloadObjectData::httpRun(std::vector<int> objects, TDateTime start, TDateTime end) {
    THttpClient http(m_settings.http);
    if (!http.isOpen())
        co_return;
    const QStringList names = DayFileNames(start, end);
    m_progress.show();
    const TConnectionHold hold(m_progress, &http);
    m_progress.setMaximum(int(objects.size() * names.size()));
    int i = 0;
    for (int number : objects) {
        for (const QString &name : names) {
            m_progress.setPosition(i++);
            const QString local = QString::number(number) + QLatin1Char('/') + name;
            const QFileInfo stored(m_dataDir + local);
            QByteArray body;
            TDownloadThreadHTTP t(
                http, QStringLiteral("zarnex/") + QString::number(number) + QLatin1Char('/') + name,
                stored.exists() ? stored.size() : -1, body);
            while (!t.Executed())
                co_yield TRunPause::Wait;
            const THttpResult &r = t.result();
            // Only a whole body of the announced length is stored; anything else passes the
            // file over (a day without data answers "404").
            if (r.fetch.code != 0) {
                m_failed = true;
            } else if (r.headersRead && r.status == 200 && r.contentLength > 0 &&
                       !r.alreadyLoaded) {
                if (body.size() != r.contentLength) {
                    m_failed = true;
                } else {
                    try {
                        co_await store(local, body, number);
                    } catch (const std::exception &) {
                        m_failed = true;
                    }
                }
            }
            if (m_progress.Cancelled)
                break;
        }
        if (m_progress.Cancelled)
            break;
    }
    m_progress.close();
    if (!m_progress.Cancelled)
        m_dialogs.message(QStringLiteral("Докачка данных завершена"), QStringLiteral("Внимание"),
                          TMsgIcon::Information);
}
