// The writer the kill test starts and kills: rewrites one file over and over through the
// program's own writers, telling its parent on standard output when each write begins ('b')
// and ends ('e'), and that the first one is done ('r').
//
//     zarnex-kill-writer settings|track|append|plain FILE
//
// settings: TIniFile::save; track: TTrackFile::save rewriting the file; append: TTrackFile::save
// appending to a growing day file; plain: a file truncated and written in place (what the
// program must not do; the test shows it is caught).

#include "KillContent.h"

#include <QFile>

#include <cstring>
#include <unistd.h>

namespace {

void say(char c) {
    (void)!::write(STDOUT_FILENO, &c, 1);
}

void writePlain(const QString &file, const QByteArray &bytes) {
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return;
    for (qsizetype at = 0; at < bytes.size(); at += 4096)
        f.write(bytes.constData() + at, std::min<qsizetype>(4096, bytes.size() - at));
    f.flush();
    ::fsync(f.handle());
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3)
        return 2;
    const char *mode = argv[1];
    const QString file = QString::fromLocal8Bit(argv[2]);

    TTrackFile growing;
    growing.fname = file;
    if (std::strcmp(mode, "append") == 0) {
        growing.load(); // the records the parent left, whole ones only
        // Start from a known prefix: rewrite when the file is not one.
        bool known = growing.coords.size() >= killtest::GrowingStart;
        for (int i = 0; known && i < growing.coords.size(); ++i)
            known = killtest::recordBytes(growing.coords[i]) ==
                    killtest::recordBytes(killtest::growingRecord(i));
        if (!known) {
            growing.coords.clear();
            for (int i = 0; i < killtest::GrowingStart; ++i)
                growing.add(killtest::growingRecord(i));
            growing.save();
        }
    }

    for (int generation = 1;; ++generation) {
        // The content is made first; 'b' and 'e' enclose the write alone.
        if (std::strcmp(mode, "settings") == 0) {
            TIniFile ini(file);
            killtest::fillSettings(ini, generation);
            say('b');
            ini.save();
        } else if (std::strcmp(mode, "track") == 0) {
            TTrackFile track;
            track.fname = file;
            track.setIncremental(false);
            for (int i = 0; i < killtest::trackCount(generation); ++i)
                track.add(killtest::trackRecord(generation, i));
            say('b');
            track.save();
        } else if (std::strcmp(mode, "append") == 0) {
            const int from = growing.coords.size();
            for (int i = from; i < from + killtest::GrowingStep; ++i)
                growing.add(killtest::growingRecord(i));
            say('b');
            growing.save();
        } else if (std::strcmp(mode, "plain") == 0) {
            const QByteArray bytes = killtest::settingsBytes(generation);
            say('b');
            writePlain(file, bytes);
        } else {
            return 2;
        }
        say(generation == 1 ? 'r' : 'e');
    }
}
