// zarnex-cli: the client's jobs without a window (see --help).

#include <QCoreApplication>

#include <cstdio>

#include "app/FormatSettings.h"
#include "cli/Commands.h"

int main(int argc, char **argv) {
    try {
        QCoreApplication app(argc, argv);
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
