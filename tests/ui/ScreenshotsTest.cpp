// Every window at the two common screen sizes: the main window, its menus, each window a menu
// command opens, the settings window's tabs and the first-run dialog are saved into
// build/screenshots/<size>/ and checked for what a machine can see: a label, button, group
// title or grid header cut short, a title wider than its window, English words, a date or time
// edit out of the grids' form, a window larger than the screen. Qt's own texts in Russian.

#include "app/Dialogs.h"
#include "app/OptionsIO.h"
#include "db/OnlineDb.h"
#include "session/ClientSession.h"
#include "ui/ArrowIndicators.h"
#include "ui/FirstTimeMaster.h"
#include "ui/MainBinder.h"
#include "ui/MainWindow.h"
#include "ui/OptionsForm.h"
#include "ui/QtTranslations.h"
#include "ui/StateGrid.h"
#include "ui/WindowFit.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDateTimeEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Answers every question with "no" and every file or text request with a cancel, so that any
// command can be run without a script.
class TDecliningDialogs final : public TDialogs {
public:
    void message(const QString &, const QString &, TMsgIcon) override {}
    TMsgButton question(const QString &, const QString &, TMsgIcon, TMsgButtons buttons,
                        TMsgButton) override {
        return (buttons & mbCancel) ? mbCancel : mbNo;
    }
    QStringList openFiles(const QString &, const QString &, const QString &, bool) override {
        return {};
    }
    QString saveFile(const QString &, const QString &, const QString &, const QString &) override {
        return {};
    }
    QString selectFolder(const QString &, const QString &) override { return {}; }
    bool inputText(const QString &, const QString &, QString &) override { return false; }
};

void settle() {
    for (int i = 0; i < 4; ++i) {
        QApplication::processEvents();
        QThread::msleep(20);
    }
}

// A caption as shown: without its mnemonic marks and its shortcut.
QString shown(QString text) {
    text = text.section(QLatin1Char('\t'), 0, 0);
    text.replace(QLatin1String("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QChar(1), QLatin1Char('&'));
    return text;
}

int widest(const QFontMetrics &fm, const QString &text) {
    int w = 0;
    for (const QString &line : text.split(QLatin1Char('\n')))
        w = qMax(w, fm.horizontalAdvance(line));
    return w;
}

bool visibleIn(const QWidget *w, const QWidget *window) {
    return w->isVisibleTo(window) && w->width() > 0;
}

// The words of Qt's and a programmer's English that a Russian window never shows.
const QRegularExpression &englishWords() {
    static const QRegularExpression re(QStringLiteral(
        "\\b(Cancel|Open|Save|Close|Apply|Yes|No|Look in|File|Files|Folder|Name|Type|Size|Date|"
        "Time|Error|Warning|Help|Settings|Options|Select|Browse|Start|Stop|Delete|Remove|Add|"
        "Copy|Paste|Cut|Undo|Redo|Find|Search|Clear|Reset|Next|Back|Finish|Object|Objects|Group|"
        "Groups|Value|Speed|Map|Track|Fuel|Export|Import|Load|Connect|Disconnect|Server|Database|"
        "Total|Unknown|Select All|New|Edit|View|Tools|Window|Print|Detail View|List View|"
        "Parent Directory|Create New Folder|Up|Down|Left|Right|Sunday|Monday|January|Dec)\\b"));
    return re;
}

class TWindowChecks {
public:
    explicit TWindowChecks(QSize screen) : m_screen(screen) {}
    QStringList problems;

    void check(QWidget *window, const QString &name) {
        const auto report = [&](const QString &what) { problems << name + ": " + what; };
        const auto english = [&](const QString &text, const QString &where) {
            const QRegularExpressionMatch m = englishWords().match(text);
            if (m.hasMatch())
                report(where + " in English: \"" + text + "\"");
        };
        english(window->windowTitle(), "title");
        if (!window->windowTitle().isEmpty() && TitleBarWidth(window) > window->width())
            report("title \"" + window->windowTitle() + "\" cut by a window " +
                   QString::number(window->width()) + " wide");
        if (window->width() > m_screen.width() || window->height() > m_screen.height())
            report("larger than the screen: " + QString::number(window->width()) + "x" +
                   QString::number(window->height()));

        for (QLabel *l : window->findChildren<QLabel *>()) {
            if (!visibleIn(l, window) || l->text().isEmpty() || Qt::mightBeRichText(l->text()))
                continue;
            english(l->text(), "label");
            if (l->wordWrap())
                continue;
            const int need = widest(l->fontMetrics(), shown(l->text()));
            if (need > l->contentsRect().width())
                report("label \"" + l->text() + "\" needs " + QString::number(need) + ", has " +
                       QString::number(l->contentsRect().width()));
        }
        for (QAbstractButton *b : window->findChildren<QAbstractButton *>()) {
            if (!visibleIn(b, window) || b->text().isEmpty())
                continue;
            if (auto *t = qobject_cast<QToolButton *>(b);
                t && t->toolButtonStyle() == Qt::ToolButtonIconOnly)
                continue;
            if (qobject_cast<QTabBar *>(b->parentWidget())) // a tab bar's scroll or close button
                continue;
            english(shown(b->text()), "button");
            // A push button's hint has a least width of its own; its text is what must fit.
            int need = b->sizeHint().width();
            if (qobject_cast<QPushButton *>(b))
                need = b->fontMetrics().horizontalAdvance(shown(b->text())) +
                       (b->icon().isNull() ? 0 : b->iconSize().width() + 4) +
                       2 * b->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, b) + 4;
            if (b->width() < need)
                report("button \"" + shown(b->text()) + "\" needs " + QString::number(need) +
                       ", has " + QString::number(b->width()));
        }
        for (QGroupBox *g : window->findChildren<QGroupBox *>()) {
            if (!visibleIn(g, window) || g->title().isEmpty())
                continue;
            english(shown(g->title()), "group");
            const int indicator =
                g->isCheckable() ? g->style()->pixelMetric(QStyle::PM_IndicatorWidth) + 6 : 0;
            const int need = g->fontMetrics().horizontalAdvance(shown(g->title())) + indicator;
            if (need > g->width())
                report("group \"" + g->title() + "\" needs " + QString::number(need) + ", has " +
                       QString::number(g->width()));
        }
        for (QTabBar *t : window->findChildren<QTabBar *>())
            for (int i = 0; visibleIn(t, window) && i < t->count(); ++i)
                english(shown(t->tabText(i)), "tab");
        for (QHeaderView *h : window->findChildren<QHeaderView *>()) {
            if (!visibleIn(h, window) || h->orientation() != Qt::Horizontal || !h->model())
                continue;
            const int margin = 2 * h->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
            for (int i = 0; i < h->count(); ++i) {
                if (h->isSectionHidden(i) || h->sectionSize(i) == 0)
                    continue;
                const QString text =
                    h->model()->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString();
                if (text.isEmpty())
                    continue;
                english(text, "header");
                // The state grid's header breaks a long caption over two lines.
                const QString drawn =
                    dynamic_cast<TWrapHeader *>(h)
                        ? TWrapHeader::caption(text, h->fontMetrics(), h->sectionSize(i))
                        : text;
                const int need = widest(h->fontMetrics(), drawn) + margin;
                if (need > h->sectionSize(i))
                    report("header \"" + text + "\" needs " + QString::number(need) + ", has " +
                           QString::number(h->sectionSize(i)));
            }
        }
        static const QRegularExpression dateForm(QStringLiteral(
            "^(\\d\\d\\.\\d\\d\\.\\d{4}( \\d\\d:\\d\\d:\\d\\d)?|\\d\\d:\\d\\d:\\d\\d)$"));
        for (QDateTimeEdit *e : window->findChildren<QDateTimeEdit *>())
            if (!dateForm.match(e->text()).hasMatch())
                report("date or time edit shows \"" + e->text() + "\"");
    }

    void checkMenu(QMenu *menu, const QString &name) {
        for (QAction *a : menu->actions())
            if (!a->isSeparator() && englishWords().match(shown(a->text())).hasMatch())
                problems << name + ": command in English: \"" + a->text() + "\"";
    }

private:
    QSize m_screen;
};

class TShooter {
public:
    TShooter(const QString &folder, TWindowChecks &checks) : m_folder(folder), m_checks(checks) {
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
    }
    void shoot(QWidget *w, QString name) {
        settle();
        name.replace(QRegularExpression(QStringLiteral("[^\\w\\-]+"),
                                        QRegularExpression::UseUnicodePropertiesOption),
                     QStringLiteral("_"));
        const QString file =
            QStringLiteral("%1/%2_%3.png")
                .arg(m_folder, QString::number(++m_count).rightJustified(2, '0'), name.left(60));
        if (auto *m = qobject_cast<QMenu *>(w))
            m_checks.checkMenu(m, name);
        else
            m_checks.check(w, name);
        EXPECT_TRUE(w->grab().save(file)) << file.toStdString();
        files << file;
    }
    QStringList files;

private:
    QString m_folder;
    TWindowChecks &m_checks;
    int m_count = 0;
};

QList<QWidget *> shownWindows() {
    QList<QWidget *> out;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && !qobject_cast<QMenu *>(w) && w->windowType() != Qt::ToolTip)
            out << w;
    return out;
}

void closeWindow(QWidget *w) {
    if (auto *d = qobject_cast<QDialog *>(w))
        d->done(QDialog::Rejected);
    else
        w->hide();
}

// Runs the command and shoots each window it opens, modal or not, then closes it. With a
// button's caption, that button of the window is pressed first and what it opens is shot too.
void openEach(QAction *a, TShooter &shooter, QStringList &opened,
              const QString &innerButton = QString()) {
    const QList<QWidget *> before = shownWindows();
    QSet<QWidget *> shot;
    bool pressed = false;
    QTimer poll;
    poll.setInterval(100);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget *m = QApplication::activeModalWidget();
        if (!m || before.contains(m))
            return;
        if (!shot.contains(m)) {
            shot.insert(m);
            opened << m->windowTitle();
            shooter.shoot(m, shown(a->text()) + "_" + m->windowTitle());
            if (!innerButton.isEmpty() && !pressed)
                for (QPushButton *b : m->findChildren<QPushButton *>())
                    if (b->text() == innerButton && b->isEnabled()) {
                        pressed = true;
                        QTimer::singleShot(0, b, &QPushButton::click);
                        return;
                    }
        }
        closeWindow(m);
    });
    poll.start();
    a->trigger();
    settle();
    for (QWidget *w : shownWindows()) {
        if (before.contains(w))
            continue;
        opened << w->windowTitle();
        shooter.shoot(w, shown(a->text()) + "_" + w->windowTitle());
        closeWindow(w);
    }
    if (!innerButton.isEmpty())
        EXPECT_TRUE(pressed) << innerButton.toStdString();
}

void collectCommands(QMenu *menu, QList<QAction *> &out) {
    for (QAction *a : menu->actions()) {
        if (a->menu())
            collectCommands(a->menu(), out);
        else if (!a->isSeparator())
            out << a;
    }
}

struct Screenshots : ::testing::TestWithParam<QSize> {
    QTemporaryDir tmp;
    TOptions options;
    TDecliningDialogs dialogs;
    std::unique_ptr<onlinetest::TScriptDatabase> database;

    void SetUp() override {
        static const bool look = [] {
            InstallQtTranslations(qApp);
            InstallTitleFit(qApp);
            return true;
        }();
        (void)look;
        const TFolders f = ComputeFolders(tmp.path() + "/zarnex-client");
        SetFolders(f);
        options = options::Defaults(f);
        database = onlinetest::makeDatabase();
        ASSERT_TRUE(database);
        database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_VERSION) "
                       "VALUES (1001, 'Тепловоз ТЭМ18ДМ', 1)");
        database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_VERSION) "
                       "VALUES (1002, 'Маневровый ЧМЭ3', 1)");
        database->exec("INSERT INTO GROUPS (GRP_ID, GRP_NAME) VALUES ('{G}', 'Депо Северное')");
        database->exec("INSERT INTO OBJ_GRP (OG_OBJID, OG_GRPID) VALUES (1001, '{G}')");
        options.DBServ = database->settings.server;
        options.DBPath = database->settings.path;
    }
};

} // namespace

TEST(QtTexts, StandardButtonsAndEditMenusReadInRussian) {
    if (!InstallQtTranslations(qApp))
        GTEST_SKIP() << "Qt's Russian translations (qt6-translations-l10n) are not installed";
    QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Save);
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), "Отмена");
    EXPECT_EQ(shown(box.button(QDialogButtonBox::Save)->text()), "Сохранить");
    QLineEdit edit;
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList items;
    for (QAction *a : menu->actions())
        if (!a->isSeparator())
            items << shown(a->text());
    EXPECT_TRUE(items.contains("Копировать")) << items.join(", ").toStdString();
    EXPECT_TRUE(items.contains("Вставить")) << items.join(", ").toStdString();
}

TEST_P(Screenshots, EveryWindowFitsAndReadsInRussian) {
    const QSize screen = GetParam();
    const QString folder =
        QStringLiteral(ZARNEX_TOOLS_DIR "/../screenshots/%1x%2")
            .arg(QString::number(screen.width()), QString::number(screen.height()));
    TWindowChecks checks(screen);
    TShooter shooter(QDir::cleanPath(folder), checks);
    QStringList opened;
    {
        TClientSession session(options, dialogs);
        TfmMain main(session);
        TfmArrowIndicators arrows(&main);
        TfmOptions optionsForm(options, &main, &arrows, dialogs, &main);
        TfmFirstTimeMaster firstRun(&optionsForm, &main);
        // The settings window read the (missing) settings file: the test's database again.
        options.DBServ = database->settings.server;
        options.DBPath = database->settings.path;
        session.afterApplySettings();
        TMainBinder binder(main, session, &arrows, &optionsForm);
        QObject::connect(main.commands().options, &QAction::triggered, &optionsForm,
                         [&optionsForm] { optionsForm.exec(); });
        QObject::connect(main.commands().tbArrowIndicators, &QAction::toggled, &arrows,
                         &QWidget::setVisible);
        // On the test platform's screen of this size (see TestMain), else sized to it.
        main.setWindowState(Qt::WindowNoState);
        main.resize(screen);
        for (QScreen *s : QGuiApplication::screens())
            if (s->geometry().size() == screen)
                main.setGeometry(s->availableGeometry());
        main.show();
        const TfmMain::Commands &c = main.commands();
        c.dbConnect->trigger();
        ASSERT_TRUE(session.registry());
        settle();
        shooter.shoot(&main, "main");

        // The menus, each opened where it drops down.
        QList<QAction *> commands;
        for (QAction *top : main.menuBar()->actions()) {
            QMenu *m = top->menu();
            if (!m)
                continue;
            m->popup(main.mapToGlobal(main.menuBar()->actionGeometry(top).bottomLeft()));
            shooter.shoot(m, "menu_" + shown(top->text()));
            for (QAction *sub : m->actions())
                if (QMenu *sm = sub->menu()) {
                    sm->popup(m->mapToGlobal(m->actionGeometry(sub).topRight()));
                    shooter.shoot(sm, "menu_" + shown(top->text()) + "_" + shown(sub->text()));
                    sm->hide();
                }
            m->hide();
            collectCommands(m, commands);
        }
        collectCommands(main.gridContextMenu(), commands);
        for (QMenu *m : {main.gridContextMenu(), main.mapContextMenu()}) {
            m->popup(main.mapToGlobal(QPoint(300, 300)));
            shooter.shoot(m, "popup_" + m->objectName());
            m->hide();
        }

        // Each command that opens a window; leaving, disconnecting and the server's
        // connection (it would wait for a server) stay out.
        const QList<QAction *> skipped{c.exit,          c.dbConnect,        c.dbDisconnect,
                                       c.serverConnect, c.serverDisconnect, c.demoObject,
                                       c.options};
        for (QAction *a : commands)
            if (a->isEnabled() && !a->isCheckable() && !skipped.contains(a))
                openEach(a, shooter, opened);
        // The refuelling record, opened from the refuelling window.
        openEach(c.showCharges, shooter, opened, "Добавить заправку");
        c.tbArrowIndicators->setChecked(true);
        settle();
        shooter.shoot(&arrows, "indicators");
        c.tbArrowIndicators->setChecked(false);

        // The settings window, tab by tab.
        QTabWidget *tabs = optionsForm.findChild<QTabWidget *>();
        ASSERT_TRUE(tabs);
        optionsForm.show();
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            shooter.shoot(&optionsForm, "settings_" + tabs->tabText(i));
        }
        optionsForm.hide();
        firstRun.show();
        shooter.shoot(&firstRun, "first_run");
        firstRun.hide();
    }
    EXPECT_GE(shooter.files.size(), 25) << opened.join(" | ").toStdString();
    EXPECT_TRUE(checks.problems.isEmpty()) << checks.problems.join("\n").toStdString();
}

INSTANTIATE_TEST_SUITE_P(Sizes, Screenshots, ::testing::Values(QSize(1366, 768), QSize(1920, 1080)),
                         [](const auto &info) {
                             return std::to_string(info.param.width()) + "x" +
                                    std::to_string(info.param.height());
                         });
