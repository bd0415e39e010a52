#include "ui/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool InstallQtTranslations(QCoreApplication *app) {
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    bool any = false;
    // qtbase holds the dialogs and buttons; the others add what their modules show.
    for (const char *catalogue : {"qtbase", "qtwebengine", "qtmultimedia"}) {
        auto *t = new QTranslator(app);
        if (t->load(russian, QString::fromLatin1(catalogue), QStringLiteral("_"), dir)) {
            QCoreApplication::installTranslator(t);
            any = true;
        } else {
            delete t;
        }
    }
    return any;
}
