// zarnex-dbtool: developer and packaging tool for the local database.
//
//   zarnex-dbtool create <database> <update script> [--if-missing]
//       creates the database (page size 8192, WIN1251) and builds its structure from the update
//       script with the program's own script runner (part 1, then part 2; nothing to copy).
//       A <database> without "host:" uses the embedded engine; when run as root the new file
//       is given to the "firebird" user so the server can open it afterwards.
//   zarnex-dbtool exec <database> <script>     runs a script in one write transaction
//   zarnex-dbtool version <database>           prints SYS.LAST_VERSION
// Login: $ZARNEX_DB_USER / $ZARNEX_DB_PASSWORD, default SYSDBA / qvx7tpl2m.

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdio>

#include "db/Database.h"
#include "db/DatabaseUpdate.h"
#include "db/ScriptExecution.h"
#include "db/SqlScript.h"

namespace {

QString env(const char *name, const char *fallback) {
    const QByteArray v = qgetenv(name);
    return v.isEmpty() ? QString::fromLatin1(fallback) : QString::fromLocal8Bit(v);
}

bool isLocalPath(const QString &name) {
    // "host:/path" goes to a server; "/path" (or "C:\..." never here) is the embedded engine.
    const int colon = name.indexOf(QLatin1Char(':'));
    return colon < 0 || name.startsWith(QLatin1Char('/'));
}

void giveToServer(const QString &path) {
    if (geteuid() != 0)
        return;
    const passwd *pw = getpwnam("firebird");
    const group *gr = getgrnam("firebird");
    if (!pw || !gr)
        return;
    if (chown(QFile::encodeName(path).constData(), pw->pw_uid, gr->gr_gid) != 0)
        std::fprintf(stderr, "warning: cannot give %s to firebird\n", qPrintable(path));
}

void prepareEmbedded() {
    // A non-root embedded engine needs a lock folder it can write.
    if (qEnvironmentVariableIsEmpty("FIREBIRD_LOCK") && geteuid() != 0) {
        const QFileInfo lock(QStringLiteral("/tmp/firebird"));
        if (lock.exists() && !lock.isWritable()) {
            const QString dir = QStringLiteral("/tmp/zarnex-fblock-%1").arg(geteuid());
            QDir().mkpath(dir);
            qputenv("FIREBIRD_LOCK", QFile::encodeName(dir));
        }
    }
}

int create(const QString &name, const QString &scriptPath, bool ifMissing) {
    const bool local = isLocalPath(name);
    if (local && ifMissing && QFileInfo::exists(name))
        return 0;
    if (local) {
        prepareEmbedded();
        QDir().mkpath(QFileInfo(name).path());
    }
    db::TDatabase database;
    const QString user = env("ZARNEX_DB_USER", "SYSDBA");
    const QString pass = env("ZARNEX_DB_PASSWORD", "qvx7tpl2m");
    database.create(name, user, pass);
    try {
        db::BuildFromUpdateScript(database, scriptPath);
    } catch (...) {
        try {
            database.drop();
        } catch (...) {
        }
        throw;
    }
    database.close();
    if (local)
        giveToServer(name);
    std::printf("created %s\n", qPrintable(name));
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const auto usage = [] {
        std::fprintf(stderr,
                     "usage: zarnex-dbtool create <database> <update script> [--if-missing]\n"
                     "       zarnex-dbtool exec <database> <script>\n"
                     "       zarnex-dbtool version <database>\n");
        return 2;
    };
    if (args.size() < 2)
        return usage();
    try {
        const QString cmd = args[0];
        if (cmd == QLatin1String("create") && args.size() >= 3)
            return create(args[1], args[2], args.contains(QStringLiteral("--if-missing")));
        if (cmd == QLatin1String("exec") && args.size() >= 3) {
            if (isLocalPath(args[1]))
                prepareEmbedded();
            db::TConnectionSettings s{QString(), args[1], env("ZARNEX_DB_USER", "SYSDBA"),
                                      env("ZARNEX_DB_PASSWORD", "qvx7tpl2m")};
            db::TScriptExecution::runFile(s, args[2]);
            return 0;
        }
        if (cmd == QLatin1String("version")) {
            if (isLocalPath(args[1]))
                prepareEmbedded();
            db::TDatabase d;
            d.open(args[1], env("ZARNEX_DB_USER", "SYSDBA"),
                   env("ZARNEX_DB_PASSWORD", "qvx7tpl2m"));
            std::printf("%d\n", db::selectValue(d, "SELECT LAST_VERSION FROM SYS").toInt());
            return 0;
        }
        return usage();
    } catch (const db::EDatabaseError &e) {
        std::fprintf(stderr, "zarnex-dbtool: %s\n", e.text().toLocal8Bit().constData());
        return 1;
    }
}
