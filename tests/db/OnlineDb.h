#pragma once

// A database built from the shipped update script on the local Firebird server, one per test
// suite, for the manager, recording and packet tests.

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>
#include <ostream>

#include "db/Database.h"
#include "db/SqlScript.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

namespace onlinetest {

class TScriptDatabase {
public:
    TScriptDatabase() : folder(QStringLiteral("/tmp/zarnex-online-XXXXXX")) {
        // The server runs as its own user: the folder must be open to it.
        ::chmod(QFile::encodeName(folder.path()).constData(), 01777);
        path = folder.path() + QStringLiteral("/online.fdb");
        settings.server = QStringLiteral("127.0.0.1");
        settings.path = path;
        settings.login = QStringLiteral("SYSDBA");
        settings.password = QStringLiteral("qvx7tpl2m");
        db.create(settings.databaseName(), settings.login, settings.password);
        QFile script(QStringLiteral(ZARNEX_SOURCE_DIR "/update/UPDB.sql"));
        if (!script.open(QIODevice::ReadOnly))
            throw std::runtime_error("update/UPDB.sql is missing");
        db::TSqlScript sqlScript(QString::fromUtf8(script.readAll()));
        db::TTransaction tr(db, db::TTransactionKind::Write);
        tr.start();
        sqlScript.run(tr);
        tr.commit();
    }
    ~TScriptDatabase() {
        try {
            db.drop();
        } catch (...) {
            db.forceClose();
        }
    }
    void exec(const QString &sql) { db.execute(sql); }
    // The first column of the first row, as text ("" when there is no row).
    QString scalar(const QString &sql) {
        db::TTransaction tr(db, db::TTransactionKind::ReadCommitted);
        tr.start();
        db::TQuery q(tr, sql);
        q.open();
        const QString v = q.next() ? q.field(0).asString() : QString();
        q.close();
        tr.commit();
        return v;
    }
    bool isNull(const QString &sql) {
        db::TTransaction tr(db, db::TTransactionKind::ReadCommitted);
        tr.start();
        db::TQuery q(tr, sql);
        q.open();
        const bool n = !q.next() || q.field(0).isNull();
        q.close();
        tr.commit();
        return n;
    }

    QTemporaryDir folder;
    QString path;
    db::TConnectionSettings settings;
    db::TDatabase db;
};

// Creates the suite's database, failing (not skipping) without a server.
inline std::unique_ptr<TScriptDatabase> makeDatabase() {
    try {
        return std::make_unique<TScriptDatabase>();
    } catch (const std::exception &e) {
        ADD_FAILURE() << "the Firebird server on 127.0.0.1:3050 is needed "
                         "(scripts/firebird.sh start): "
                      << e.what();
        return nullptr;
    }
}

} // namespace onlinetest
