// The device-programming command: program write, program read.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include "cli/Commands.h"
#include "link/ClientSock.h"
#include "programming/ParameterFile.h"
#include "programming/ProgrammingCodec.h"
#include "session/ProgrammingPart.h"
#include "session/ServerMessages.h"

namespace cli {

namespace {

constexpr int kLoginWaitMs = 30000;

// Runs the event loop until done() holds or ms have passed; false when the time ran out.
bool waitFor(const std::function<bool()> &done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// The monitoring server's link as the client opens it, with the programming session on it.
class TProgrammingLink {
public:
    explicit TProgrammingLink(TCliContext &context)
        : m_options(context.options()), m_server(m_options, context.dialogs()),
          m_client([this] { m_server.ClientDataIn(); }, [this] { m_server.ClientStateChanged(); },
                   context.dialogs()),
          m_part(context.dialogs(), m_server) {
        m_server.setClient(&m_client);
        QObject::connect(&m_part, &TProgrammingPart::sessionEnded,
                         [this](bool ok, const QString &) {
                             m_ended = true;
                             m_ok = ok;
                         });
    }
    ~TProgrammingLink() {
        m_server.DisconnectFromServer();
        m_client.Terminate();
    }

    void connect() {
        const QString where =
            m_options.AppServer + QLatin1Char(':') + QString::number(m_options.AppPort);
        if (!m_server.ConnectToServer(m_options.AppServer, m_options.AppPort, true))
            throw EFailure(QStringLiteral("cannot connect to the monitoring server ") + where);
        const bool answered =
            waitFor([this] { return m_client.getState() == 2 || m_client.getState() == 255; },
                    kLoginWaitMs);
        if (!answered || m_client.getState() != 2)
            throw EFailure(QStringLiteral("the monitoring server ") + where +
                           (m_client.getError() == eEAutorization
                                ? QStringLiteral(" did not accept the login ")
                                : QStringLiteral(" did not complete the login ")) +
                           m_options.AppLogin);
    }

    TProgrammingPart &part() { return m_part; }

    // Runs one command of the window to its end; false when it sent nothing or ended with an
    // error (its message is on stderr).
    bool run(bool (TProgrammingPart::*command)()) {
        m_ended = false;
        if (!(m_part.*command)())
            return false;
        // The check timer ends every session that gets no answer.
        waitFor([this] { return m_ended; }, TProgrammingPart::CheckIntervalMs * 2);
        QCoreApplication::processEvents(); // the session's message
        return m_ended && m_ok;
    }

private:
    TOptions &m_options;
    TServerController m_server;
    TClientThread m_client;
    TProgrammingPart m_part;
    bool m_ended = false;
    bool m_ok = false;
};

// The window's fields as it shows them: the file's keys, the pick lists by their texts, then
// what the file does not keep.
QString fieldsText(const TProgrammingParams &p) {
    const QStringList times = programming::TimeSrItems(), temps = programming::EngTempItems();
    const auto item = [](const QStringList &items, int index) {
        return index >= 0 && index < items.size() ? items[index] : QString::number(index);
    };
    QString out;
    const auto line = [&out](const QString &key, const QString &value) {
        out += key + QLatin1Char('\t') + value + QLatin1Char('\n');
    };
    for (const auto &[key, value] : programming::PpcValues(p)) {
        if (key == QLatin1String("GroupBox13"))
            line(key,
                 p.gpsPresent ? QStringLiteral("присутствует") : QStringLiteral("отсутствует"));
        else if (key == QLatin1String("cbTimeSr"))
            line(key, item(times, p.cbTimeSr));
        else if (key == QLatin1String("cbEngTempMin"))
            line(key, item(temps, p.cbEngTempMin));
        else if (key == QLatin1String("cbEngTempMax"))
            line(key, item(temps, p.cbEngTempMax));
        else
            line(key, value);
    }
    line(QStringLiteral("cbRecalcCoof"), item(programming::RecalcCoofItems(), p.cbRecalcCoof));
    line(QStringLiteral("cbUseHeater2"),
         p.cbUseHeater2 ? QStringLiteral("1") : QStringLiteral("0"));
    return out;
}

int program(TCliContext &context, const TArgs &args) {
    args.expectPositional(1, 2);
    const QString action = args.positional().first();
    const bool write = action == QLatin1String("write");
    if (!write && action != QLatin1String("read"))
        throw EUsage(QStringLiteral("unknown action '%1' (write or read)").arg(action));
    if (!args.has(QStringLiteral("object")))
        throw EUsage(QStringLiteral("--object is required"));
    const int number =
        parseInteger(QStringLiteral("--object"), args.value(QStringLiteral("object")));
    if (number <= 0)
        throw EUsage(QStringLiteral("--object: the object number must be above 0"));
    if (write && args.positional().size() != 2)
        throw EUsage(QStringLiteral("write needs the parameter file"));
    if (!write && args.positional().size() != 1)
        throw EUsage(QStringLiteral("read takes no file; --ppc FILE saves what was read"));
    if (write && args.has(QStringLiteral("ppc")))
        throw EUsage(QStringLiteral("--ppc belongs to read"));

    TProgrammingLink link(context);
    TProgrammingPart &part = link.part();
    part.setObjectNumber(number);
    if (write) {
        try {
            part.setParams(programming::LoadPpc(args.positional()[1], part.params()));
        } catch (const EProgrammingError &e) {
            throw EFailure(e.text());
        }
        if (part.params().cbTakeSysTime)
            part.tmrSysTimeTimer(); // the clock now, not the file's time
    }
    link.connect();
    if (write) {
        if (!link.run(&TProgrammingPart::btnProgramClick) ||
            !link.run(&TProgrammingPart::btnProgramEquipClick))
            return ExitFailed;
        return ExitDone;
    }
    if (!link.run(&TProgrammingPart::btnRequest3Click) ||
        !link.run(&TProgrammingPart::btnRequest1Click))
        return ExitFailed;
    if (args.has(QStringLiteral("ppc"))) {
        QString file = args.value(QStringLiteral("ppc"));
        if (QFileInfo(file).suffix().isEmpty())
            file += QLatin1Char('.') + programming::PpcExtension();
        try {
            programming::SavePpc(part.params(), file);
        } catch (const EProgrammingError &e) {
            throw EFailure(QStringLiteral("cannot write ") + file + QStringLiteral(": ") +
                           e.text());
        }
    } else {
        printOut(fieldsText(part.params()));
    }
    return ExitDone;
}

} // namespace

std::vector<TCommand> ProgramCommands() {
    std::vector<TCommand> c;
    c.push_back(
        {QStringLiteral("program"),
         QStringLiteral("program write --object N FILE.ppc | program read --object N [--ppc FILE]"),
         QStringLiteral(
             "\"Программирование объектового оборудования\" for object N's device, through the\n"
             "monitoring server of the settings (connected as the client connects).\n"
             "\n"
             "  write FILE.ppc   the window's \"Программировать\" of both pages with the file's\n"
             "                   fields: the four connection blocks, then the equipment packet\n"
             "                   (with \"Брать системное время\" the clock's time now)\n"
             "  read             \"Запрос данных платы №3\", then \"Запрос данных платы №1\"; the\n"
             "                   fields are printed as control<TAB>value lines\n"
             "  --ppc FILE       read: save the fields as a parameter file instead\n"
             "The device's messages go to stderr. Exit status 1 when the device reports an error\n"
             "or does not answer within 20 s.\n"),
         {QStringLiteral("object"), QStringLiteral("ppc")},
         {},
         program});
    return c;
}

} // namespace cli
