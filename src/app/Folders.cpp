#include "app/Folders.h"

#include "app/IniFile.h"
#include "app/Version.h"

#include <QDir>
#include <QFileInfo>

#include <mutex>

namespace {
std::mutex g_mutex;
TFolders g_folders;

QString withSlash(QString s) {
    if (!s.endsWith(QLatin1Char('/')))
        s += QLatin1Char('/');
    return s;
}
} // namespace

const TFolders &Folders() {
    std::lock_guard lock(g_mutex);
    return g_folders;
}

void SetFolders(const TFolders &folders) {
    std::lock_guard lock(g_mutex);
    g_folders = folders;
}

QString UserAppDataDir() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        const QString home = QDir::homePath();
        if (home.isEmpty())
            return {};
        base = home + QStringLiteral("/.config");
    }
    return withSlash(QDir::cleanPath(base));
}

TFolders ComputeFolders(const QString &programFile) {
    const QFileInfo prog(programFile);
    const QString globalIni =
        prog.absolutePath() + QLatin1Char('/') + prog.completeBaseName() + QStringLiteral(".ini");
    int userPath = 0;
    {
        TIniFile ini(globalIni);
        try {
            ini.load();
            userPath =
                ini.readInteger(QStringLiteral("SettingsLocation"), QStringLiteral("UserPath"), 0);
        } catch (const std::exception &) {
            userPath = 0;
        }
    }
    QString appData;
    if (userPath != 0)
        appData = UserAppDataDir();

    TFolders f;
    f.AppDir = withSlash(prog.absolutePath());
    if (!appData.isEmpty()) {
        f.ProfileDir = appData + QStringLiteral("ZarnexClientAuto/");
        f.SettingsFileName = f.ProfileDir + QFileInfo(globalIni).fileName();
    } else {
        f.ProfileDir = f.AppDir;
        f.SettingsFileName = globalIni;
    }
    f.DataDir = f.ProfileDir + QStringLiteral("data/");
    f.CoordCacheDir = f.ProfileDir + QStringLiteral("coord/");
    f.WebServerDir = f.AppDir + QStringLiteral("webmap/");
    return f;
}

void SetupFolders(const QString &programFile) {
    TFolders f = ComputeFolders(programFile);
    if (f.ProfileDir != f.AppDir && !QDir().mkpath(f.ProfileDir)) {
        // The per-user folder cannot be made: everything stays in the program folder.
        const QFileInfo prog(programFile);
        f.ProfileDir = f.AppDir;
        f.SettingsFileName = f.AppDir + prog.completeBaseName() + QStringLiteral(".ini");
        f.DataDir = f.ProfileDir + QStringLiteral("data/");
        f.CoordCacheDir = f.ProfileDir + QStringLiteral("coord/");
    }
    SetFolders(f);
}

QString GetFileVersionText() {
    const QString v = QStringLiteral(ZARNEX_FILE_VERSION);
    const QStringList parts = v.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return QStringLiteral("?.?.?.?");
    for (const QString &p : parts) {
        bool ok = false;
        p.toUInt(&ok);
        if (!ok)
            return QStringLiteral("?.?.?.?");
    }
    return v;
}

bool IsCompatibleVersion(const QString &AVersion) {
    bool ok = false;
    const qlonglong v = AVersion.trimmed().toLongLong(&ok);
    return ok && v >= CurrentDbVersion;
}
