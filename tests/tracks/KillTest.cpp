// Writes that survive a kill: a writer process is killed with SIGKILL at random moments while it
// rewrites a file through the program's own writers, and each time the file must be one
// generation whole, never a truncated or mixed one.
#include "helpers/KillContent.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>

#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

struct TTrial {
    bool started = false;     // the writer finished its first write
    bool insideWrite = false; // the kill came between a write's start and its end
};

// Starts the writer, waits for its first write, lets it run for `delay`, kills it.
TTrial killWriterAfter(const char *mode, const QString &file, std::chrono::microseconds delay) {
    TTrial t;
    int out[2];
    if (::pipe(out) != 0)
        return t;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const QByteArray path = QFile::encodeName(file);
    char *argv[] = {const_cast<char *>(ZARNEX_KILL_WRITER), const_cast<char *>(mode),
                    const_cast<char *>(path.constData()), nullptr};
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, ZARNEX_KILL_WRITER, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        return t;
    }
    char last = 0;
    auto readAvailable = [&](int timeoutMs) {
        pollfd p{out[0], POLLIN, 0};
        char buf[256];
        while (::poll(&p, 1, timeoutMs) == 1) {
            const ssize_t n = ::read(out[0], buf, sizeof buf);
            if (n <= 0)
                return;
            for (ssize_t i = 0; i < n; ++i) {
                t.started |= buf[i] == 'r';
                last = buf[i];
            }
            if (t.started && timeoutMs > 0)
                return;
        }
    };
    readAvailable(5000);
    if (t.started)
        std::this_thread::sleep_for(delay);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    readAvailable(0);
    ::close(out[0]);
    t.insideWrite = last == 'b';
    return t;
}

// The generation a settings file says it is, when its bytes are exactly that generation's.
bool wholeSettings(const QByteArray &bytes) {
    TIniFile ini;
    ini.fromBytes(bytes);
    const int g = ini.readInteger(QStringLiteral("Generation"), QStringLiteral("G"), 0);
    return g > 0 && bytes == killtest::settingsBytes(g);
}

bool wholeTrack(const QByteArray &bytes) {
    if (bytes.size() < TCoordData::RecordSize)
        return false;
    const int g = TCoordData::fromBytes(reinterpret_cast<const unsigned char *>(bytes.data())).g24;
    return g > 0 && bytes == killtest::trackBytes(g);
}

// A day file that only grows: the records it starts with, whole and unchanged, then whole
// appended ones; a partial record may end it (the reader drops it, the next save rewrites).
bool grownWhole(const QByteArray &bytes, bool &partialTail) {
    const qsizetype n = bytes.size() / TCoordData::RecordSize;
    partialTail = bytes.size() % TCoordData::RecordSize != 0;
    if (n < killtest::GrowingStart)
        return false;
    for (qsizetype i = 0; i < n; ++i)
        if (bytes.mid(i * TCoordData::RecordSize, TCoordData::RecordSize) !=
            killtest::recordBytes(killtest::growingRecord(int(i))))
            return false;
    return true;
}

QByteArray readAll(const QString &file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(KillTest, RewrittenFilesAreOneGenerationWholeAfterEveryKill) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const struct {
        const char *mode;
        int trials;
    } runs[] = {{"settings", 400}, {"track", 300}, {"append", 300}};
    int total = 0;
    for (const auto &run : runs) {
        // Two writers at a time, each on its own file.
        struct TCounts {
            int kills = 0, started = 0, inside = 0, bad = 0, partial = 0;
        } counts[2];
        auto trials = [&](int worker) {
            TCounts &c = counts[worker];
            const QString file =
                dir.filePath(QStringLiteral("%1-%2.dat").arg(run.mode).arg(worker));
            std::mt19937 random(20260315 + worker);
            std::uniform_int_distribution<int> us(0, 3000);
            // Kills that land while a write is under way are what the test is about; a loaded
            // machine makes them rarer, so a writer goes on (up to four times as long) until
            // enough of them did.
            for (int i = 0; i < run.trials / 2 || (c.inside < run.trials / 10 && i < run.trials * 2);
                 ++i) {
                ++c.kills;
                if (QFileInfo(file).size() > 1024 * 1024)
                    QFile::remove(file); // the growing file starts again
                const TTrial t =
                    killWriterAfter(run.mode, file, std::chrono::microseconds(us(random)));
                c.started += t.started;
                c.inside += t.insideWrite;
                const QByteArray bytes = readAll(file);
                bool ok = false;
                if (std::strcmp(run.mode, "settings") == 0) {
                    ok = wholeSettings(bytes);
                } else if (std::strcmp(run.mode, "track") == 0) {
                    ok = wholeTrack(bytes);
                } else {
                    bool tail = false;
                    ok = grownWhole(bytes, tail);
                    c.partial += tail;
                }
                c.bad += ok ? 0 : 1;
                EXPECT_TRUE(ok) << run.mode << " trial " << i << ": " << bytes.size() << " bytes";
            }
        };
        std::thread second(trials, 1);
        trials(0);
        second.join();
        const TCounts c{counts[0].kills + counts[1].kills, counts[0].started + counts[1].started,
                        counts[0].inside + counts[1].inside, counts[0].bad + counts[1].bad,
                        counts[0].partial + counts[1].partial};
        const QStringList left =
            QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter(run.mode);
        std::printf("%s: %d kills (%d inside a write), %d files not whole, %d ending in a "
                    "partial record; %d files in the folder for 2 targets\n",
                    run.mode, c.kills, c.inside, c.bad, c.partial, int(left.size()));
        EXPECT_EQ(c.started, c.kills);
        EXPECT_EQ(c.bad, 0);
        // Many kills must land while a write is under way, or the test shows nothing.
        EXPECT_GE(c.inside, run.trials / 5) << run.mode;
        total += c.kills;
    }
    EXPECT_GE(total, 1000);
}

// The same trials against a file truncated and written in place find broken files: the check
// above can fail.
TEST(KillTest, InPlaceWritesAreCaught) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("plain.ini"));
    std::mt19937 random(7);
    int bad = 0;
    for (int i = 0; i < 100 && bad == 0; ++i) {
        std::uniform_int_distribution<int> us(0, 4000);
        killWriterAfter("plain", file, std::chrono::microseconds(us(random)));
        bad += wholeSettings(readAll(file)) ? 0 : 1;
    }
    EXPECT_GT(bad, 0);
}
