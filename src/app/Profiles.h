#pragma once

#include <QString>

#include <memory>
#include <vector>

class TLogging;

// A named set of server connection data, kept in its own folder under "profiles" in the
// program folder. Freeing a profile saves it.
class TProfile {
public:
    TProfile(const QString &programDir, const QString &AName, const QString &AServer, int APort,
             const QString &ALogin, const QString &APassword);
    // Loads the profile's profile.ini.
    TProfile(const QString &programDir, const QString &AName);
    ~TProfile();

    void Load();
    // Creates the folder tree and the empty data files, then writes profile.ini. Throws.
    void Save();
    // Renames the folder when it exists; the name changes only when that succeeded.
    void SetName(const QString &Value);
    QString GetProfileDir() const;

    QString FName;
    QString FAltName;
    QString FServer;
    int FPort = 0;
    QString FLogin;
    QString FPassword;

private:
    QString m_programDir;
};

class TProfileList {
public:
    static QString DefaultProfileName() { return QStringLiteral("Профиль по умолчанию"); }

    // Creates, loads and saves the default profile (its folder tree on the first run).
    TProfileList(const QString &programDir, TLogging *Log);
    ~TProfileList();

    void Load();
    // Saves every listed profile, then the default one. Errors go to the program log.
    void Save();

    const std::vector<std::unique_ptr<TProfile>> &profiles() const { return m_list; }
    TProfile &FDefaultProfile() { return *m_default; }

private:
    void logError(const QString &text);

    QString m_programDir;
    TLogging *FLog;
    std::vector<std::unique_ptr<TProfile>> m_list;
    std::unique_ptr<TProfile> m_default;
};
