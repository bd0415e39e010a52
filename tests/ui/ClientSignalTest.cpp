// The client program itself, against the local Firebird server: a termination signal runs the
// closing steps (the settings are written while the database is still connected) and ends the
// program with status 0, without a box that nobody would answer.

#include "db/OnlineDb.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace {

// Other attachments to the database than the asking one: the client's connection.
int otherAttachments(onlinetest::TScriptDatabase &d) {
    return d
        .scalar("select count(*) from MON$ATTACHMENTS "
                "where MON$ATTACHMENT_ID <> CURRENT_CONNECTION and MON$SYSTEM_FLAG = 0")
        .toInt();
}

} // namespace

TEST(ClientProgram, TerminationSignalsCloseAsTheExitDoes) {
    auto database = onlinetest::makeDatabase();
    ASSERT_TRUE(database);
    for (int signo : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signo);
        // A program folder of its own: the program keeps its settings beside itself.
        QTemporaryDir dir;
        const QString program = dir.filePath("zarnex-client");
        ASSERT_TRUE(QFile::copy(ZARNEX_CLIENT, program));
        const QString ini = dir.filePath("zarnex-client.ini");
        {
            QFile f(ini);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("[DataBase]\nDBServ=" + database->settings.server.toUtf8() + "\nDBPath=" +
                    database->path.toUtf8() + "\nDBLogin=" + database->settings.login.toUtf8() +
                    "\nDBPass=" + database->settings.password.toUtf8() +
                    "\n[Auto]\nAutoConnect=1\n[PrevState]\nFirstRun=0\n");
        }
        QProcess client;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        client.setProcessEnvironment(env);
        client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        client.start(program, {});
        ASSERT_TRUE(client.waitForStarted(10000));
        QElapsedTimer t;
        t.start();
        while (otherAttachments(*database) == 0 && t.elapsed() < 30000 &&
               client.state() == QProcess::Running)
            QThread::msleep(100);
        ASSERT_GT(otherAttachments(*database), 0) << "the client did not connect";
        QThread::msleep(500); // the start has settled

        ::kill(pid_t(client.processId()), signo);
        const bool ended = client.waitForFinished(8000);
        if (!ended) {
            client.kill();
            client.waitForFinished(3000);
        }
        ASSERT_TRUE(ended) << "the program went on running";
        EXPECT_EQ(client.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(client.exitCode(), 0);
        // The settings window wrote its settings (the file held only the database's before).
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray written = f.readAll();
        EXPECT_TRUE(written.contains("AppIP")) << written.toStdString();
        EXPECT_EQ(otherAttachments(*database), 0) << "the connection was left open";
    }
}
