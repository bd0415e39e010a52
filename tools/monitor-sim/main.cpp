// zarnex-monitor-sim: a monitoring server on 127.0.0.1 for trying out and testing the client.
#include "ArchiveService.h"
#include "DeviceSide.h"
#include "MonitorServer.h"

#include <QCoreApplication>
#include <QDateTime>

#include <csignal>
#include <cstdio>

namespace {
void onSignal(int) {
    TMonitorServer::requestStop();
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        std::fputs((TServerOptions::usage() + TDeviceFaults::usage()).toLocal8Bit().constData(),
                   stdout);
        return 0;
    }
    TServerOptions options;
    QString error;
    TDeviceFaults faults;
    if (!faults.take(args, error) || !options.parse(args, error)) {
        std::fprintf(stderr, "%s\n%s", error.toLocal8Bit().constData(),
                     TServerOptions::usage().toLocal8Bit().constData());
        return 2;
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal; // no SA_RESTART: poll returns and the loop sees the request
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::vector<int> numbers;
    for (const TObjectConfig &o : options.objects)
        numbers.push_back(o.number);
    auto devices = std::make_shared<TDeviceSide>(numbers, faults, [](const QString &text) {
        const QByteArray line =
            (QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz ")) + text + '\n')
                .toUtf8();
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
        std::fflush(stdout);
    });
    options.session.devices = [devices](const TBytes &plain, const TDeviceSide::TReply &reply) {
        return devices->handleLine(plain, reply);
    };

    TMonitorServer server(options);
    if (!server.listen(error)) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        return 1;
    }
    std::printf("%d\n", server.port());
    std::fflush(stdout);
    // The archive service is a help, not a must: the on-line server works without it.
    TArchiveService archive;
    if (options.ftpPort >= 0) {
        if (archive.start(options.ftpPort, options.archiveDir, options.objects, options.archiveDays,
                          options.session.accounts, options.seed, error))
            std::printf("archive ftp 127.0.0.1:%d serving %s\n", archive.port(),
                        archive.folder().toLocal8Bit().constData());
        else
            std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        std::fflush(stdout);
    }
    return server.run();
}
