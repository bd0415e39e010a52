#include "app/Profiles.h"

#include "app/IniFile.h"
#include "app/Logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace {
void ensureDir(const QString &path) {
    if (!QDir().mkpath(path))
        throw std::runtime_error(QStringLiteral("Не удалось создать папку %1")
                                     .arg(QDir::toNativeSeparators(path))
                                     .toStdString());
}

void ensureFile(const QString &path) {
    if (QFileInfo::exists(path))
        return;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        throw std::runtime_error(f.errorString().toStdString());
}
} // namespace

TProfile::TProfile(const QString &programDir, const QString &AName, const QString &AServer,
                   int APort, const QString &ALogin, const QString &APassword)
    : FName(AName), FAltName(AName), FServer(AServer), FPort(APort), FLogin(ALogin),
      FPassword(APassword), m_programDir(programDir) {}

TProfile::TProfile(const QString &programDir, const QString &AName)
    : FName(AName), FAltName(AName), m_programDir(programDir) {
    Load();
}

TProfile::~TProfile() {
    try {
        Save();
    } catch (const std::exception &) {
        // Destruction must not throw; the list reports save errors when it saves.
    }
}

QString TProfile::GetProfileDir() const {
    return QDir(m_programDir).filePath(QStringLiteral("profiles/") + FName) + QLatin1Char('/');
}

void TProfile::Load() {
    TIniFile ini(GetProfileDir() + QStringLiteral("profile.ini"));
    ini.load();
    FName = ini.readString(QStringLiteral("Profile"), QStringLiteral("Name"), FName);
    FAltName = ini.readString(QStringLiteral("Profile"), QStringLiteral("AltName"), FAltName);
    FServer = ini.readString(QStringLiteral("Server"), QStringLiteral("Name"), FServer);
    FPort = ini.readInteger(QStringLiteral("Server"), QStringLiteral("Port"), FPort);
    FLogin = ini.readString(QStringLiteral("Authorization"), QStringLiteral("Login"), FLogin);
    FPassword =
        ini.readString(QStringLiteral("Authorization"), QStringLiteral("Password"), FPassword);
}

void TProfile::Save() {
    const QString dir = GetProfileDir();
    ensureDir(dir + QStringLiteral("data"));
    ensureDir(dir + QStringLiteral("objects"));
    ensureDir(dir + QStringLiteral("zones/ownership"));
    ensureFile(dir + QStringLiteral("objects/description.csv"));
    ensureFile(dir + QStringLiteral("zones/ownership/zoneownership.csv"));
    ensureFile(dir + QStringLiteral("groups.txt"));

    TIniFile ini(dir + QStringLiteral("profile.ini"));
    ini.load();
    ini.writeString(QStringLiteral("Profile"), QStringLiteral("Name"), FName);
    ini.writeString(QStringLiteral("Profile"), QStringLiteral("AltName"), FAltName);
    ini.writeString(QStringLiteral("Server"), QStringLiteral("Name"), FServer);
    ini.writeInteger(QStringLiteral("Server"), QStringLiteral("Port"), FPort);
    ini.writeString(QStringLiteral("Authorization"), QStringLiteral("Login"), FLogin);
    ini.writeString(QStringLiteral("Authorization"), QStringLiteral("Password"), FPassword);
    ini.save(true);
}

void TProfile::SetName(const QString &Value) {
    const QString oldDir = GetProfileDir();
    if (!QFileInfo(oldDir).isDir()) {
        FName = Value;
        return;
    }
    const QString newDir = QDir(m_programDir).filePath(QStringLiteral("profiles/") + Value);
    if (QDir().rename(QDir::cleanPath(oldDir), newDir))
        FName = Value;
}

TProfileList::TProfileList(const QString &programDir, TLogging *Log)
    : m_programDir(programDir), FLog(Log) {
    m_default = std::make_unique<TProfile>(programDir, DefaultProfileName(), QString(), 0,
                                           QString(), QString());
    try {
        m_default->Load();
        m_default->Save();
    } catch (const std::exception &e) {
        logError(QStringLiteral("Ошибка загрузки профиля: ") + QString::fromStdString(e.what()));
    }
}

TProfileList::~TProfileList() = default;

void TProfileList::logError(const QString &text) {
    if (FLog)
        FLog->WriteMessage(LM_ERROR, text, this);
}

void TProfileList::Load() {
    m_list.clear();
    const QDir root(QDir(m_programDir).filePath(QStringLiteral("profiles")));
    const QStringList names = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names) {
        try {
            if (name == DefaultProfileName())
                m_default->Load();
            else
                m_list.push_back(std::make_unique<TProfile>(m_programDir, name));
        } catch (const std::exception &e) {
            logError(QStringLiteral("Ошибка загрузки профиля: ") +
                     QString::fromStdString(e.what()));
        }
    }
}

void TProfileList::Save() {
    for (auto &p : m_list) {
        try {
            p->Save();
        } catch (const std::exception &e) {
            logError(QStringLiteral("Ошибка сохранения профиля: ") +
                     QString::fromStdString(e.what()));
        }
    }
    try {
        m_default->Save();
    } catch (const std::exception &e) {
        logError(QStringLiteral("Ошибка сохранения профиля: ") + QString::fromStdString(e.what()));
    }
}
