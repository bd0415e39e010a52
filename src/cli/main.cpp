// zarnex-cli: the client's jobs without a window (see --help).

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>
#include <memory>

#include "app/FormatSettings.h"
#include "cli/Commands.h"

int main(int argc, char **argv) {
    try {
        // A PDF is painted with fonts, which need the GUI application object; it runs on the
        // offscreen platform, so no display is needed.
        bool painting = false;
        for (int i = 1; i < argc; ++i)
            painting = painting || std::strcmp(argv[i], "--pdf") == 0 ||
                       std::strncmp(argv[i], "--pdf=", 6) == 0;
        if (painting && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        std::unique_ptr<QCoreApplication> app =
            painting ? std::make_unique<QGuiApplication>(argc, argv)
                     : std::make_unique<QCoreApplication>(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("zarnex-cli"));
        TFormatSettings::setCurrent(TFormatSettings::fromSystemLocale());
        return cli::RunCli(QCoreApplication::applicationDirPath(),
                           QCoreApplication::arguments().mid(1));
    } catch (...) {
        // RunCli catches everything; this is for the application object itself.
        std::fputs("zarnex-cli: unexpected error\n", stderr);
        return cli::ExitFailed;
    }
}
