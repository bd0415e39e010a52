#include "ui/Screenshots.h"

#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QThread>

namespace {
void save(QWidget *w, const QString &folder, const QString &name) {
    w->grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

void settle() {
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
        QThread::msleep(30);
    }
}
} // namespace

void SaveScreenshots(const QString &folder, QWidget *mainWindow, QWidget *extra) {
    QDir().mkpath(folder);
    settle();
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->width() > 0 && !qobject_cast<QMenu *>(w))
            save(w, folder, QString::fromLatin1(w->metaObject()->className()));
    if (auto *mw = qobject_cast<QMainWindow *>(mainWindow)) {
        int i = 0;
        for (QAction *a : mw->menuBar()->actions()) {
            QMenu *m = a->menu();
            if (!m)
                continue;
            m->popup(mw->mapToGlobal(QPoint(10, 10)));
            settle();
            save(m, folder, QStringLiteral("menu%1").arg(i++));
            // Submenus of the first level.
            for (QAction *sa : m->actions()) {
                if (QMenu *sm = sa->menu()) {
                    sm->popup(mw->mapToGlobal(QPoint(200, 10)));
                    settle();
                    save(sm, folder,
                         QStringLiteral("menu%1_%2").arg(QString::number(i - 1), sm->title()));
                    sm->hide();
                }
            }
            m->hide();
        }
        // The context menus and the map-type menu of the main window.
        for (QMenu *m : mw->findChildren<QMenu *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (m->actions().isEmpty() || !m->title().isEmpty() && m->menuAction()->isVisible() &&
                                              mw->menuBar()->actions().contains(m->menuAction()))
                continue;
            m->popup(mw->mapToGlobal(QPoint(300, 200)));
            settle();
            save(m, folder, QStringLiteral("popup%1").arg(i++));
            for (QAction *sa : m->actions()) {
                if (QMenu *sm = sa->menu()) {
                    sm->popup(mw->mapToGlobal(QPoint(500, 200)));
                    settle();
                    save(sm, folder,
                         QStringLiteral("popup%1_%2").arg(QString::number(i - 1), sm->title()));
                    sm->hide();
                }
            }
            m->hide();
        }
    }
    if (extra && !extra->isVisible()) {
        extra->show();
        settle();
        save(extra, folder, QString::fromLatin1(extra->metaObject()->className()));
        extra->hide();
    }
}
