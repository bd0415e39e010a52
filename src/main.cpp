#include "app/ErrorGuard.h"
#include "app/Folders.h"
#include "app/FormatSettings.h"
#include "app/Logging.h"
#include "app/OptionsIO.h"
#include "app/Profiles.h"
#include "app/TerminationSignals.h"
#include "db/DatabaseCreation.h"
#include "session/ClientSession.h"
#include "session/DatabasePart.h"
#include "session/FirstStart.h"
#include "ui/Application.h"
#include "ui/ArrowIndicators.h"
#include "ui/FirstTimeMaster.h"
#include "ui/MainBinder.h"
#include "ui/MainWindow.h"
#include "ui/OptionsForm.h"
#include "ui/QtDialogs.h"
#include "ui/QtTranslations.h"
#include "ui/Screenshots.h"
#include "ui/TestLogForm.h"
#include "ui/WindowFit.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QProxyStyle>
#include <QTimer>

#include <memory>

#include <unistd.h>

namespace {
// Hints appear almost at once (10 ms), as the operators are used to.
class TQuickHintStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *ret) const override {
        if (hint == SH_ToolTip_WakeUpDelay)
            return 10;
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};
} // namespace

int main(int argc, char **argv) {
    // The web map's browser engine refuses to start as root without this.
    if (::getuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    TApplication app(argc, argv);
    InstallQtTranslations(&app);
    InstallTitleFit(&app);
    QApplication::setStyle(new TQuickHintStyle);
    QApplication::setApplicationName(QStringLiteral("zarnex-client"));
    QApplication::setApplicationDisplayName(options::ApplicationTitle());
    TFormatSettings::setCurrent(TFormatSettings::fromSystemLocale());
    // Program initialisation: the program folder is current, the program log is open and the
    // server profiles are loaded before any window exists.
    const QString programFile = QCoreApplication::applicationFilePath();
    const QString programDir = QCoreApplication::applicationDirPath();
    QDir::setCurrent(programDir);
    // The folders are fixed before anything reads a setting. An installed program folder is
    // read-only: with the per-user folder in use, the program log and the server profiles live
    // there as well (otherwise it is the program folder, as before).
    SetupFolders(programFile);
    SeedUserSettings(Folders());
    const QString logDir = ProfileDir();
    auto log = std::make_unique<TLogging>(logDir + QFileInfo(programFile).completeBaseName() +
                                          QStringLiteral(".log"));
    InstallProgramLog(log.get());
    auto profiles = std::make_unique<TProfileList>(logDir, log.get());
    profiles->Load();

    TQtDialogs qtDialogs;
    // On a termination signal nobody may be asked anything: the dialogs fall silent.
    auto dialogs = std::make_shared<TQuietableDialogs>(qtDialogs);

    auto operations = std::make_shared<TOperationsLog>(ProfileDir() + QStringLiteral("log.txt"));
    InstallOperationsLog(operations);

    TOptions options = options::Defaults(Folders());
    TClientSession session(options, *dialogs);
    app.setGuard(&session.guard());
    TfmMain main(session);
    TfmArrowIndicators arrows(&main);
    TfmOptions optionsForm(options, &main, &arrows, *dialogs, &main);
    TfmTestLog testLog(operations);
    TfmFirstTimeMaster firstRun(&optionsForm, &main);

    session.afterApplySettings(); // the settings window has read the file: colours, pointers
    TMainBinder binder(main, session, &arrows, &optionsForm);
    QObject::connect(&session, &TClientSession::firstRunRequested, &firstRun,
                     [&firstRun] { firstRun.execFor(); });
    QObject::connect(main.commands().options, &QAction::triggered, &optionsForm,
                     [&optionsForm] { optionsForm.exec(); });
    QObject::connect(main.commands().tbArrowIndicators, &QAction::toggled, &arrows,
                     &QWidget::setVisible);

    // A workstation's first start without its database: offer to make it (for an installed
    // program, the user's own) before the automatic connection looks for it.
    if (options.FirstRun) {
        db::TMissingDatabaseOffer offer(options, *dialogs, Folders());
        offer.saveSettings = [&optionsForm] {
            optionsForm.ui.dbServ->setText(optionsForm.FOptions.DBServ);
            optionsForm.ui.dbPath->setText(optionsForm.FOptions.DBPath);
            optionsForm.SaveOptions();
        };
        offer.run();
    }

    // SIGTERM, SIGINT, SIGHUP: the closing steps without any box, then the exit with status 0.
    TTerminationSignals terminationSignals;
    QObject::connect(&session.database(), &TDatabasePart::connectionMade, &terminationSignals,
                     &TTerminationSignals::install);
    QObject::connect(
        &terminationSignals, &TTerminationSignals::received, &main, [&main, &dialogs](int signo) {
            if (dialogs->quiet())
                return;
            dialogs->setQuiet(true);
            LogOperations(QStringLiteral("Завершение по сигналу ") + QString::number(signo),
                          QStringLiteral("General"), 20);
            // Open questions and settings windows are left unanswered; the main
            // window closes once their loops have ended.
            while (QWidget *modal = QApplication::activeModalWidget()) {
                modal->close();
                if (QApplication::activeModalWidget() == modal)
                    break;
            }
            QMetaObject::invokeMethod(
                &main,
                [&main] {
                    if (main.close())
                        QApplication::quit();
                },
                Qt::QueuedConnection);
        });

    main.show();
    // A developer's aid: --screenshot=DIR saves the windows into DIR after a few seconds and
    // ends the program.
    for (const QString &arg : QCoreApplication::arguments()) {
        if (arg.startsWith(QLatin1String("--screenshot=")))
            QTimer::singleShot(qEnvironmentVariableIntValue("ZARNEX_SCREENSHOT_DELAY_MS") > 0
                                   ? qEnvironmentVariableIntValue("ZARNEX_SCREENSHOT_DELAY_MS")
                                   : 4000,
                               &app, [dir = arg.mid(13), &main, &optionsForm] {
                                   SaveScreenshots(dir, &main, &optionsForm);
                                   // Leave as a user would: through the closing steps.
                                   main.close();
                                   QApplication::quit();
                               });
    }
    const int rc = QApplication::exec();
    app.setGuard(nullptr);

    InstallOperationsLog(nullptr);
    profiles->Save();
    profiles.reset();
    InstallProgramLog(nullptr);
    log.reset();
    return rc;
}
