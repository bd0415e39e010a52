#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "app/Folders.h"
#include "common/ScriptedDialogs.h"
#include "tracks/CacheCleaner.h"
#include "tracks/FileManager.h"

namespace {

void touch(const QString &name) {
    QDir().mkpath(QFileInfo(name).path());
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
}

class CacheClearTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        old = Folders();
        TFolders f = old;
        f.DataDir = tmp.path() + QStringLiteral("/profile/data/");
        f.CoordCacheDir = tmp.path() + QStringLiteral("/profile/coord/");
        SetFolders(f);
        dialogs = std::make_shared<TScriptedDialogs>();

        touch(DataDir() + QStringLiteral("12/_12_01.12.2026_.dat"));
        touch(CoordCacheDir() + QStringLiteral("12/20261201.dat"));
        touch(CoordCacheDir() + QStringLiteral("12/deep/er/x.dat"));
        touch(CoordCacheDir() + QStringLiteral("readme"));
        touch(outside());
    }
    void TearDown() override { SetFolders(old); }
    QString outside() const { return tmp.path() + QStringLiteral("/elsewhere/precious.dat"); }

    QTemporaryDir tmp;
    TFolders old;
    std::shared_ptr<TScriptedDialogs> dialogs;
};

} // namespace

TEST_F(CacheClearTest, NoKeepsEverything) {
    dialogs->answers.push_back(mbNo);
    ClearCache(nullptr, *dialogs);
    ASSERT_EQ(dialogs->calls.size(), 1u);
    EXPECT_EQ(dialogs->calls[0].kind, QStringLiteral("question"));
    EXPECT_EQ(dialogs->calls[0].text,
              QStringLiteral("Удалить файлы координат и данных с приборов?"));
    EXPECT_EQ(dialogs->calls[0].caption, QStringLiteral("Очистка кэша"));
    EXPECT_EQ(dialogs->calls[0].buttons, TMsgButtons(mbYes | mbNo));
    EXPECT_TRUE(QFileInfo::exists(DataDir() + QStringLiteral("12/_12_01.12.2026_.dat")));
    EXPECT_TRUE(QFileInfo::exists(CoordCacheDir() + QStringLiteral("12/20261201.dat")));
}

TEST_F(CacheClearTest, YesDeletesBothFoldersWithoutFollowingLinks) {
    // A link to a folder outside the cache: the link goes, what it points to stays.
    ASSERT_TRUE(QFile::link(QFileInfo(outside()).path(), CoordCacheDir() + QStringLiteral("link")));
    TFManager fmngr;
    const QString day = CoordCacheDir() + QStringLiteral("12/20261202.dat");
    TTrackFile *f = fmngr.get(day);
    f->load();
    f->add(TCoordData{3345, 2256, 46000.5, 0});
    fmngr.FreeFile(day, true);
    dialogs->answers.push_back(mbYes);
    ClearCache(&fmngr, *dialogs);
    EXPECT_EQ(dialogs->messages(), QStringList{QStringLiteral("Очистка кэша выполнена.")});
    EXPECT_FALSE(QFileInfo::exists(DataDir()));
    EXPECT_FALSE(QFileInfo::exists(CoordCacheDir()));
    EXPECT_TRUE(QFileInfo::exists(outside()));
    dialogs->expectDone();
    // Nothing of the deleted day is served from memory afterwards.
    f = fmngr.get(day);
    f->load();
    EXPECT_TRUE(f->coords.empty());
    fmngr.FreeFile(day, false);
}

TEST_F(CacheClearTest, FoldersWithADotInTheNameAreSkipped) {
    touch(CoordCacheDir() + QStringLiteral("keep.d/x.dat"));
    dialogs->answers.push_back(mbYes);
    ClearCache(nullptr, *dialogs);
    EXPECT_TRUE(QFileInfo::exists(CoordCacheDir() + QStringLiteral("keep.d/x.dat")));
    EXPECT_FALSE(QFileInfo::exists(CoordCacheDir() + QStringLiteral("12")));
    EXPECT_FALSE(QFileInfo::exists(CoordCacheDir() + QStringLiteral("readme")));
    EXPECT_FALSE(QFileInfo::exists(DataDir()));
}
