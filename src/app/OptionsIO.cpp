#include "app/OptionsIO.h"

#include "app/IniFile.h"
#include "app/Logging.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <stdexcept>

namespace options {

namespace {
const QString kDataBase = QStringLiteral("DataBase");
const QString kAppServer = QStringLiteral("AppServer");
const QString kTimeOut = QStringLiteral("TimeOut");
const QString kAuto = QStringLiteral("Auto");
const QString kDataServer = QStringLiteral("DataServer");
const QString kProxy = QStringLiteral("ProxyServer");
const QString kMap = QStringLiteral("Map");
const QString kFilters = QStringLiteral("Filters");
const QString kSizes = QStringLiteral("Sizes");
const QString kPrevState = QStringLiteral("PrevState");
const QString kWebServer = QStringLiteral("WebServer");
const QString kDrains = QStringLiteral("Drains");

// The time of day of a stored date-time text; false when the text is not a date-time. The
// text was written in the locale's form of its day, so any common form is accepted: only the
// time of day matters, and a text with a date but no time is midnight.
bool parseTimeOfDay(const QString &text, TDateTime &out) {
    TDateTime v = 0;
    if (dt::tryStrToDateTime(text, v)) {
        out = dt::timeOf(v);
        return true;
    }
    static const QRegularExpression timeRe(
        QStringLiteral("(?:^|\\s)(\\d{1,2}):(\\d{2})(?::(\\d{2}))?(?:\\s*([AaPp][Mm]))?\\s*$"));
    const QRegularExpressionMatch m = timeRe.match(text.trimmed());
    if (m.hasMatch()) {
        int h = m.captured(1).toInt();
        const int mi = m.captured(2).toInt();
        const int se = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
        const QString ampm = m.captured(4).toUpper();
        if (ampm == QLatin1String("PM") && h < 12)
            h += 12;
        if (ampm == QLatin1String("AM") && h == 12)
            h = 0;
        if (h > 23 || mi > 59 || se > 59)
            return false;
        out = dt::encodeTime(h, mi, se);
        return true;
    }
    for (const char *f : {"dd.MM.yyyy", "d MMM yyyy", "M/d/yy", "M/d/yyyy", "yyyy-MM-dd"}) {
        if (QDate::fromString(text.trimmed(), QString::fromLatin1(f)).isValid() ||
            QLocale::c().toDate(text.trimmed(), QString::fromLatin1(f)).isValid()) {
            out = 0;
            return true;
        }
    }
    return false;
}
// The keys of a list's entries in a section (prefix + decimal index, e.g. "Map3") with their
// indices.
QVector<QPair<QString, int>> listKeys(const TIniFile &ini, const QString &section,
                                      const QStringList &prefixes) {
    QVector<QPair<QString, int>> out;
    for (const QString &key : ini.keys(section))
        for (const QString &prefix : prefixes) {
            if (!key.startsWith(prefix, Qt::CaseInsensitive))
                continue;
            const QStringView digits = QStringView(key).mid(prefix.size());
            if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), [](QChar c) {
                    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
                }))
                continue;
            bool ok = false;
            const int index = digits.toInt(&ok);
            if (ok)
                out.append({key, index});
        }
    return out;
}

// A list count read from the file drives a loop, so it is trusted only as far as the file
// holds entries of that list: the indices below the count that some key carries, in order. A
// count beyond them reads nothing that is not there; the cut is logged.
QVector<int> presentListIndices(const TIniFile &ini, const QString &section,
                                const QString &countKey, int count, const QStringList &prefixes) {
    QVector<int> indices;
    if (count <= 0)
        return indices;
    for (const auto &k : listKeys(ini, section, prefixes))
        if (k.second < count)
            indices << k.second;
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    if (indices.size() < count)
        LogOperations(
            QStringLiteral("[%1] %2=%3 больше числа записей списка в файле; прочитано: %4")
                .arg(section, countKey, QString::number(count), QString::number(indices.size())),
            QStringLiteral("LoadOptions"), 0);
    return indices;
}

// Removes the entries from index `from` up to the old count: found among the keys present, so
// a damaged old count costs nothing.
void deleteStaleListKeys(TIniFile &ini, const QString &section, int from, int oldCount,
                         const QStringList &prefixes) {
    for (const auto &k : listKeys(ini, section, prefixes))
        if (k.second >= from && k.second < oldCount)
            ini.deleteKey(section, k.first);
}
} // namespace

QString ApplicationTitle() {
    return QStringLiteral("Зарнекс-Клиент-Авто");
}

int RandomWebPort() {
    return 1023 + static_cast<int>(QRandomGenerator::global()->bounded(64513));
}

QVector<TWebMapPath> BuiltInWebMaps() {
    return {{QStringLiteral("Карта Google"), QStringLiteral("google.html")},
            {QStringLiteral("Карта Яndex"), QStringLiteral("yandex.html")}};
}

QString DefaultDataServerUrl() {
    return QStringLiteral("http://localhost/zarnex/");
}

TOptions Defaults(const TFolders &folders) {
    TOptions o;
    o.DBPath = folders.AppDir + QStringLiteral("database/ZARNEXLDB.FDB");
    o.DServer = DefaultDataServerUrl();
    o.WebServerPort = RandomWebPort();
    o.WebMapList = BuiltInWebMaps();
    return o;
}

QString MapPathFromFile(const QString &value, const QString &appDir) {
    QString v = value;
    v.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (v.isEmpty())
        return v;
    if (QDir::isRelativePath(v))
        v = appDir + v;
    return QDir::cleanPath(v);
}

QString MapPathForFile(const QString &fullPath, const QString &appDir) {
    const QString rel = QDir(appDir).relativeFilePath(fullPath);
    if (rel.startsWith(QLatin1String(".."), Qt::CaseInsensitive) || QDir::isAbsolutePath(rel))
        return fullPath;
    return rel;
}

QStringList UniqueMaps(const QStringList &maps) {
    QStringList out;
    for (const QString &m : maps) {
        bool seen = false;
        for (const QString &o : out)
            if (o.compare(m, Qt::CaseInsensitive) == 0)
                seen = true;
        if (!seen)
            out << m;
    }
    return out;
}

bool LoadOptions(TOptions &o, const TFolders &folders, TDialogs &dialogs) {
    QString fileName = folders.SettingsFileName;
    if (!QFileInfo::exists(fileName)) {
        dialogs.message(QStringLiteral("Не найден ini файл программы.\r\nИспользуются настройки "
                                       "по умолчанию (глобальные настройки приложения)"),
                        ApplicationTitle(), TMsgIcon::Error);
        fileName = folders.AppDir + QFileInfo(fileName).fileName();
    }
    TIniFile ini(fileName);
    try {
        ini.load();
    } catch (const std::exception &e) {
        dialogs.message(
            QStringLiteral("Во время загрузки настроек программы произошла ошибка: \r\n") +
                QString::fromStdString(e.what()),
            ApplicationTitle(), TMsgIcon::Error);
        return false;
    }

    auto s = [&](const QString &sec, const char *key, const QString &def) {
        return ini.readString(sec, QString::fromLatin1(key), def);
    };
    auto i = [&](const QString &sec, const char *key, int def) {
        return ini.readInteger(sec, QString::fromLatin1(key), def);
    };
    auto b = [&](const QString &sec, const char *key, bool def) {
        return ini.readBool(sec, QString::fromLatin1(key), def);
    };

    const TOptions d = Defaults(folders);
    QStringList errors;

    o.DBPath = s(kDataBase, "DBPath", d.DBPath);
    o.DBLogin = s(kDataBase, "DBLogin", d.DBLogin);
    o.DBPass = s(kDataBase, "DBPass", d.DBPass);
    o.DBServ = s(kDataBase, "DBServ", d.DBServ);
    o.AppServer = s(kAppServer, "AppIP", d.AppServer);
    o.AppPort = i(kAppServer, "AppPort", d.AppPort);
    o.AppLogin = s(kAppServer, "AppLogin", d.AppLogin);
    o.AppPass = s(kAppServer, "AppPass", d.AppPass);
    o.FtpPort = i(kAppServer, "FTPPort", d.FtpPort);
    o.FTPIP = s(kAppServer, "FTPIP", d.FTPIP);
    o.FTPPAssive = b(kAppServer, "FTPPassive", d.FTPPAssive);
    o.ServerTimeOut = i(kTimeOut, "ServerTo", d.ServerTimeOut);
    o.TOSoundFile = s(kTimeOut, "SoundFile", d.TOSoundFile);
    o.TOPlaySound = i(kTimeOut, "Play", d.TOPlaySound);
    o.AutoConnect = i(kAuto, "AutoConnect", d.AutoConnect);
    o.AutoConnectDelay = i(kAuto, "AutoConnectDelay", d.AutoConnectDelay);
    o.UseDServer = b(kDataServer, "UseDServer", d.UseDServer);
    o.DServer = s(kDataServer, "DServer", d.DServer);
    o.DPort = i(kDataServer, "DPort", d.DPort);
    o.DLogin = s(kDataServer, "DLogin", d.DLogin);
    o.DPass = s(kDataServer, "DPass", d.DPass);
    o.UseProxy = b(kProxy, "UseProxy", d.UseProxy);
    o.ProxyServer = s(kProxy, "ProxyServer", d.ProxyServer);
    o.ProxyPort = s(kProxy, "ProxyPort", d.ProxyPort);
    o.ProxyUser = s(kProxy, "ProxyLogin", d.ProxyUser);
    o.ProxyPassword = s(kProxy, "ProxyPassword", d.ProxyPassword);
    o.DefaultMap = i(kMap, "DefaultMap", d.DefaultMap);
    o.MarkerColor = i(kMap, "MarkerColor", d.MarkerColor);
    o.TrackColor = i(kMap, "TrackColor", d.TrackColor);
    o.LostTrackColor = i(kMap, "LostTrackColor", d.LostTrackColor);
    o.ActiveMarkerColor = i(kMap, "ActiveMarkerColor", d.ActiveMarkerColor);
    o.ArchiveMarkerColor = i(kMap, "ArchiveMarkerColor", d.ArchiveMarkerColor);
    o.ShowPointerToNotVisObj = b(kMap, "ShowPointerToNotVisObj", d.ShowPointerToNotVisObj);
    o.AutoMapChange = b(kMap, "AutomaticMapChange", d.AutoMapChange);
    o.SelectBestMap = b(kMap, "SelectBestMap", d.SelectBestMap);
    o.Maps.clear();
    for (const int k : presentListIndices(ini, kMap, QStringLiteral("MapsCount"),
                                          i(kMap, "MapsCount", 0), {QStringLiteral("Map")})) {
        const QString v = ini.readString(kMap, QStringLiteral("Map%1").arg(k), QString());
        o.Maps << MapPathFromFile(v, folders.AppDir);
    }
    o.UseGoogleMap = b(kMap, "UseGoogleMap", d.UseGoogleMap);
    o.RestMinTime = i(kFilters, "RestMinTime", d.RestMinTime);
    o.MinSpeed = i(kFilters, "MinSpeed", d.MinSpeed);
    o.MaxSpeed = i(kFilters, "MaxSpeed", d.MaxSpeed);
    o.SummerStart = i(kFilters, "SummerStart", d.SummerStart);
    o.SummerEnd = i(kFilters, "SummerEnd", d.SummerEnd);
    o.RemoveOldTrackPoints = b(kFilters, "RemoveOldTrackPoints", d.RemoveOldTrackPoints);
    o.MaxTrackTimeStampDiff = d.MaxTrackTimeStampDiff;
    const QString diffText = s(kFilters, "MaxTrackTimeStampDiff", QString());
    if (!diffText.isEmpty() && !parseTimeOfDay(diffText, o.MaxTrackTimeStampDiff)) {
        // A bad value keeps its default; the rest of the file is still read.
        errors << QStringLiteral("'%1' is not a valid date and time").arg(diffText);
        o.MaxTrackTimeStampDiff = d.MaxTrackTimeStampDiff;
    }
    o.RemovePointsBySpeed = b(kFilters, "RemovePointsBySpeed", d.RemovePointsBySpeed);
    o.RemoveRestPoints = b(kFilters, "RemoveRestPoints", d.RemoveRestPoints);
    o.SimplifyTrack = b(kFilters, "SimplifyTrack", d.SimplifyTrack);
    o.MaxDiffAngle = i(kFilters, "MaxDiffAngle", d.MaxDiffAngle);
    o.MapHeight = i(kAuto, "MapHeight", d.MapHeight);
    o.GroupsWidth = i(kAuto, "GroupsWidth", d.GroupsWidth);
    o.ShowGroups = b(kAuto, "ShowGroups", d.ShowGroups);
    o.ExpandedGroups =
        s(kAuto, "ExpandedGroups", QString()).split(QLatin1Char(','), Qt::SkipEmptyParts);
    o.ShowGrid = b(kAuto, "ShowGrid", d.ShowGrid);
    o.MainFormMaximized = b(kSizes, "MainFormMaximized", d.MainFormMaximized);
    o.MainFormWidth = i(kSizes, "MainFormWidth", d.MainFormWidth);
    o.MainFormHeight = i(kSizes, "MainFormHeight", d.MainFormHeight);
    o.MainFormLeft = i(kSizes, "MainFormLeft", d.MainFormLeft);
    o.MainFormTop = i(kSizes, "MainFormTop", d.MainFormTop);
    o.FollowMode = b(kPrevState, "FollowMode", d.FollowMode);
    o.ShowArrowIndicators = b(kPrevState, "ShowIndicators", d.ShowArrowIndicators);
    o.ArrowIndicatorsLeft = i(kSizes, "ArrowIndicatorsLeft", d.ArrowIndicatorsLeft);
    o.ArrowIndicatorsTop = i(kSizes, "ArrowIndicatorsTop", d.ArrowIndicatorsTop);
    o.TrackListHeight = i(kSizes, "TrackListHeight", d.TrackListHeight);
    o.FirstRun = b(kPrevState, "FirstRun", d.FirstRun);
    o.WebServerPort = i(kWebServer, "WebPort", d.WebServerPort);
    const int webCount = i(kWebServer, "WebMapCount", -1);
    if (webCount < 0) {
        o.WebMapList = BuiltInWebMaps();
    } else {
        o.WebMapList.clear();
        for (const int k :
             presentListIndices(ini, kWebServer, QStringLiteral("WebMapCount"), webCount,
                                {QStringLiteral("MapName"), QStringLiteral("MapPath")}))
            o.WebMapList.push_back(
                {ini.readString(kWebServer, QStringLiteral("MapName%1").arg(k), QString()),
                 ini.readString(kWebServer, QStringLiteral("MapPath%1").arg(k), QString())});
    }
    o.DefaultWebMap = i(kWebServer, "MapIndex", d.DefaultWebMap);
    o.WebMapSilent = b(kWebServer, "WebMapSilent", d.WebMapSilent);
    // A drain rule out of its range is no rule: the default stands.
    const auto ranged = [&](const char *key, int def, int lo, int hi) {
        const int v = i(kDrains, key, def);
        return v >= lo && v <= hi ? v : def;
    };
    o.DrainLitres = ranged("DrainLitres", d.DrainLitres, 1, 100000);
    o.DrainWindow = ranged("DrainWindow", d.DrainWindow, 1, 1440);
    o.DrainMedian = ranged("DrainMedian", d.DrainMedian, 1, 99);
    o.DrainSoundFile = s(kDrains, "SoundFile", d.DrainSoundFile);
    o.DrainPlaySound = b(kDrains, "Play", d.DrainPlaySound);

    if (!errors.isEmpty()) {
        dialogs.message(
            QStringLiteral("Во время загрузки настроек программы произошла ошибка: \r\n") +
                errors.join(QStringLiteral("\r\n")),
            ApplicationTitle(), TMsgIcon::Error);
        return false;
    }
    return true;
}

bool SaveOptions(TOptions &o, const TFolders &folders, TDialogs &dialogs) {
    try {
        TIniFile ini(folders.SettingsFileName);
        ini.load(); // keep the keys this program does not know

        auto s = [&](const QString &sec, const char *key, const QString &v) {
            ini.writeString(sec, QString::fromLatin1(key), v);
        };
        auto i = [&](const QString &sec, const char *key, int v) {
            ini.writeInteger(sec, QString::fromLatin1(key), v);
        };
        auto b = [&](const QString &sec, const char *key, bool v) {
            ini.writeBool(sec, QString::fromLatin1(key), v);
        };

        s(kDataBase, "DBPath", o.DBPath);
        s(kDataBase, "DBLogin", o.DBLogin);
        s(kDataBase, "DBPass", o.DBPass);
        s(kDataBase, "DBServ", o.DBServ);
        s(kAppServer, "AppIP", o.AppServer);
        i(kAppServer, "AppPort", o.AppPort);
        s(kAppServer, "AppLogin", o.AppLogin);
        s(kAppServer, "AppPass", o.AppPass);
        i(kAppServer, "FTPPort", o.FtpPort);
        s(kAppServer, "FTPIP", o.FTPIP);
        b(kAppServer, "FTPPAssive", o.FTPPAssive);
        i(kTimeOut, "ServerTo", o.ServerTimeOut);
        s(kTimeOut, "SoundFile", o.TOSoundFile);
        i(kTimeOut, "Play", o.TOPlaySound);
        i(kAuto, "AutoConnect", o.AutoConnect);
        i(kAuto, "AutoConnectDelay", o.AutoConnectDelay);
        b(kDataServer, "UseDServer", o.UseDServer);
        s(kDataServer, "DServer", o.DServer);
        i(kDataServer, "DPort", o.DPort);
        s(kDataServer, "DLogin", o.DLogin);
        s(kDataServer, "DPass", o.DPass);
        b(kProxy, "UseProxy", o.UseProxy);
        s(kProxy, "ProxyServer", o.ProxyServer);
        s(kProxy, "ProxyPort", o.ProxyPort);
        s(kProxy, "ProxyLogin", o.ProxyUser);
        s(kProxy, "ProxyPassword", o.ProxyPassword);
        i(kMap, "DefaultMap", o.DefaultMap);
        i(kMap, "MarkerColor", o.MarkerColor);
        i(kMap, "TrackColor", o.TrackColor);
        i(kMap, "LostTrackColor", o.LostTrackColor);
        i(kMap, "ActiveMarkerColor", o.ActiveMarkerColor);
        i(kMap, "ArchiveMarkerColor", o.ArchiveMarkerColor);
        b(kMap, "ShowPointerToNotVisObj", o.ShowPointerToNotVisObj);
        b(kMap, "AutomaticMapChange", o.AutoMapChange);
        b(kMap, "SelectBestMap", o.SelectBestMap);
        o.Maps = UniqueMaps(o.Maps);
        const int oldMaps = ini.readInteger(kMap, QStringLiteral("MapsCount"), 0);
        i(kMap, "MapsCount", o.Maps.size());
        for (int k = 0; k < o.Maps.size(); ++k)
            ini.writeString(kMap, QStringLiteral("Map%1").arg(k),
                            MapPathForFile(o.Maps[k], folders.AppDir));
        deleteStaleListKeys(ini, kMap, o.Maps.size(), oldMaps, {QStringLiteral("Map")});
        b(kMap, "UseGoogleMap", o.UseGoogleMap);
        i(kFilters, "RestMinTime", o.RestMinTime);
        i(kFilters, "MinSpeed", o.MinSpeed);
        i(kFilters, "MaxSpeed", o.MaxSpeed);
        i(kFilters, "SummerStart", o.SummerStart);
        i(kFilters, "SummerEnd", o.SummerEnd);
        b(kFilters, "RemoveOldTrackPoints", o.RemoveOldTrackPoints);
        s(kFilters, "MaxTrackTimeStampDiff", dt::dateTimeToStr(o.MaxTrackTimeStampDiff));
        b(kFilters, "RemovePointsBySpeed", o.RemovePointsBySpeed);
        b(kFilters, "RemoveRestPoints", o.RemoveRestPoints);
        b(kFilters, "SimplifyTrack", o.SimplifyTrack);
        i(kFilters, "MaxDiffAngle", o.MaxDiffAngle);
        if (o.MapHeight > 1)
            i(kAuto, "MapHeight", o.MapHeight);
        if (o.GroupsWidth > 1)
            i(kAuto, "GroupsWidth", o.GroupsWidth);
        b(kAuto, "ShowGroups", o.ShowGroups);
        b(kAuto, "ShowGrid", o.ShowGrid);
        // The tree's open groups follow the table's keys, and only once there are any.
        if (!o.ExpandedGroups.isEmpty() || ini.valueExists(kAuto, QStringLiteral("ExpandedGroups")))
            s(kAuto, "ExpandedGroups", o.ExpandedGroups.join(QLatin1Char(',')));
        b(kSizes, "MainFormMaximized", o.MainFormMaximized);
        i(kSizes, "MainFormWidth", o.MainFormWidth);
        i(kSizes, "MainFormHeight", o.MainFormHeight);
        i(kSizes, "MainFormLeft", o.MainFormLeft);
        i(kSizes, "MainFormTop", o.MainFormTop);
        b(kPrevState, "FollowMode", o.FollowMode);
        b(kPrevState, "ShowIndicators", o.ShowArrowIndicators);
        i(kSizes, "ArrowIndicatorsLeft", o.ArrowIndicatorsLeft);
        i(kSizes, "ArrowIndicatorsTop", o.ArrowIndicatorsTop);
        i(kSizes, "TrackListHeight", o.TrackListHeight);
        b(kPrevState, "FirstRun", o.FirstRun);
        i(kWebServer, "WebPort", o.WebServerPort);
        const int oldWeb = ini.readInteger(kWebServer, QStringLiteral("WebMapCount"), 0);
        i(kWebServer, "WebMapCount", o.WebMapList.size());
        for (int k = 0; k < o.WebMapList.size(); ++k) {
            ini.writeString(kWebServer, QStringLiteral("MapName%1").arg(k), o.WebMapList[k].Name);
            ini.writeString(kWebServer, QStringLiteral("MapPath%1").arg(k), o.WebMapList[k].Path);
        }
        deleteStaleListKeys(ini, kWebServer, o.WebMapList.size(), oldWeb,
                            {QStringLiteral("MapName"), QStringLiteral("MapPath")});
        i(kWebServer, "MapIndex", o.DefaultWebMap);
        b(kWebServer, "WebMapSilent", o.WebMapSilent);
        i(kDrains, "DrainLitres", o.DrainLitres);
        i(kDrains, "DrainWindow", o.DrainWindow);
        i(kDrains, "DrainMedian", o.DrainMedian);
        s(kDrains, "SoundFile", o.DrainSoundFile);
        b(kDrains, "Play", o.DrainPlaySound);

        // The file holds passwords in plain text: only its owner may read it.
        ini.save(true);
    } catch (const std::exception &e) {
        dialogs.message(
            QStringLiteral("Во время сохранения настроек программы произошла ошибка: \r\n") +
                QString::fromStdString(e.what()),
            ApplicationTitle(), TMsgIcon::Error);
        return false;
    }
    return true;
}

} // namespace options
