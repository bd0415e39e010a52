#include "online/ServerMessages.h"

#include "app/Cp1251.h"
#include "app/Dialogs.h"
#include "app/Logging.h"
#include "app/Options.h"
#include "link/Bytes.h"
#include "online/GroupManager.h"
#include "online/OnlineData.h"

namespace {
constexpr int kGrey = 0x808080;
constexpr int kGreen = 0x00FF00;
constexpr int kRed = 0x0000FF;

// Characters 5 and 6 of the status signatures, in the order they are tested.
const char *const kSignatureTails[] = {"*\x07", "AA", "QQ", "MM", "HH", "55", "ZZ", "A4",
                                       "A2",    "A0", "A1", "A3", "A5", "A6", "A7", "A8"};
} // namespace

QByteArray ProgrammingSignature(TProgrammingStatus status) {
    QByteArray s;
    s.append(char(0x08));
    s.append(char(kProgrammingSignatureByte));
    s.append("CR");
    s.append(kSignatureTails[static_cast<int>(status)], 2);
    s.append('?');
    return s;
}

QString ObjectCommandWord(int code) {
    switch (code) {
    case 2:
        return QStringLiteral("lock");
    case 3:
        return QStringLiteral("unlock");
    case 4:
        return QStringLiteral("lock2");
    case 5:
        return QStringLiteral("unlock2");
    case 6:
        return QStringLiteral("lock3");
    case 7:
        return QStringLiteral("unlock3");
    case 8:
        return QStringLiteral("lock4");
    case 9:
        return QStringLiteral("unlock4");
    case 10:
        return QStringLiteral("configure");
    default:
        return {};
    }
}

// ---- reconnection countdown

TAutoConnectToServer::TAutoConnectToServer(QObject *parent) : QObject(parent) {
    tmrConnect.setInterval(1000);
    QObject::connect(&tmrConnect, &QTimer::timeout, this, &TAutoConnectToServer::tmrConnectTimer);
}

void TAutoConnectToServer::setCounter(const QString &text) {
    m_counter = text;
    emit counterChanged(text);
}

void TAutoConnectToServer::showAndStart() {
    m_left = 10;
    setCounter(QStringLiteral("10"));
    if (!m_shown) {
        m_shown = true;
        emit visibilityChanged(true);
    }
    tmrConnect.start();
}

void TAutoConnectToServer::close() {
    tmrConnect.stop();
    if (m_shown) {
        m_shown = false;
        emit visibilityChanged(false);
    }
}

void TAutoConnectToServer::tmrConnectTimer() {
    if (m_left > 0)
        --m_left;
    setCounter(QString::number(m_left));
    if (m_left == 0)
        attempt();
}

void TAutoConnectToServer::attempt() {
    tmrConnect.stop();
    setCounter(QStringLiteral("Выполняется ..."));
    close();
    const bool ok = connect && connect();
    m_left = 10;
    setCounter(QStringLiteral("10"));
    if (!ok && !m_shown)
        showAndStart();
}

void TAutoConnectToServer::btnConnectClick() {
    attempt();
}

void TAutoConnectToServer::btnCancelClick() {
    tmrConnect.stop();
    m_left = 10;
    setCounter(QStringLiteral("10"));
    close();
}

// ---- the controller

TServerController::TServerController(TOptions &options, TDialogs &dialogs, QObject *parent)
    : QObject(parent), m_options(options), m_dialogs(dialogs), m_autoConnect(this) {
    m_autoConnect.connect = [this] {
        return ConnectToServer(m_options.AppServer, m_options.AppPort, true);
    };
}

QString TServerController::now() const {
    return dt::dateTimeToStr(dt::now());
}

void TServerController::refreshStatus() {
    const int colour = FCurrentConnectState == 1   ? kGreen
                       : FCurrentConnectState == 2 ? kRed
                                                   : kGrey;
    emit statusLamp(4, colour);
}

void TServerController::panel0() {
    if (FManager)
        emit statusText(0, FManager->AllObjConnectObjRatio());
}

bool TServerController::ConnectToServer(const QString &IP, int Port, bool Silent) {
    Q_UNUSED(Silent);
    discNotified = false;
    bool ok = false;
    if (FClientThread)
        ok = FClientThread->ConnectTo(IP, QString::number(Port), m_options.AppLogin,
                                      m_options.AppPass);
    if (ok)
        emit serverButtonDownChanged(true);
    else
        FCurrentConnectState = 2;
    refreshStatus();
    return ok;
}

void TServerController::miConnectToServerClick() {
    ConnectToServer(m_options.AppServer, m_options.AppPort, false);
}

void TServerController::DisconnectFromServer() {
    if (FClientThread)
        FClientThread->Disconnect();
    emit serverButtonDownChanged(false);
    emit controlOutsEnabledChanged(false);
}

void TServerController::tbServerClick(bool down) {
    if (!down) {
        DisconnectFromServer();
        return;
    }
    if (databaseConnected && !databaseConnected() && connectDatabase)
        connectDatabase();
    if (databaseConnected && databaseConnected())
        miConnectToServerClick();
    else
        emit serverButtonDownChanged(false);
}

void TServerController::markAllDisconnected() {
    if (FManager)
        FManager->SetAllObjectsDisconnected();
    if (setAllMapObjectsDisconnected)
        setAllMapObjectsDisconnected();
}

void TServerController::ClientStateChanged() {
    if (FClientThread)
        HandleState(FClientThread->getState(), FClientThread->getError());
}

void TServerController::HandleState(uint8_t state, TErrors err) {
    switch (state) {
    case 1:
        emit connectCommandsChanged(false, true);
        emit downloadEnabledChanged(true);
        emit statusText(6, now() + QStringLiteral("  Выполняется авторизация"));
        FCurrentConnectState = 1;
        break;
    case 2:
        emit statusText(6, now() + QStringLiteral("  Авторизация пройдена"));
        break;
    case 0:
        if (!discNotified) {
            markAllDisconnected();
            emit connectCommandsChanged(true, false);
            emit downloadEnabledChanged(false);
            emit statusText(6, QString());
            FCurrentConnectState = 0;
            discNotified = true;
        }
        break;
    case 255:
        if (!discNotified) {
            QString text;
            switch (err) {
            case eENone:
                text = QStringLiteral("  Все в порядке");
                break;
            case eESocket:
                text = QStringLiteral("  Ошибка подключения!");
                break;
            case eEAutorization:
                text = QStringLiteral("  Ошибка авторизации!");
                break;
            case eEUnknown:
                text = QStringLiteral("  Неизвестная ошибка!");
                break;
            }
            markAllDisconnected();
            DisconnectFromServer();
            emit statusText(6, now() + text);
            emit connectCommandsChanged(true, false);
            emit serverButtonDownChanged(false);
            emit downloadEnabledChanged(false);
            m_autoConnect.showAndStart();
            FCurrentConnectState = 2;
            discNotified = true;
        }
        break;
    default:
        break;
    }
    refreshStatus();
}

void TServerController::ClientDataIn() {
    if (FClientThread)
        ProcessLine(FClientThread->getData());
}

void TServerController::ProcessLine(const TBytes &M) {
    try {
        if (FindBytes(QStringLiteral("cobj"), M) >= 0) {
            const QByteArray rest = M.mid(M.lastIndexOf('|') + 1);
            if (rest != "null") {
                const QByteArray items = rest + ',';
                int start = 0;
                for (int comma = items.indexOf(',', start); comma >= 0;
                     start = comma + 1, comma = items.indexOf(',', start)) {
                    const int n = DecimalBytesToInt(items.mid(start, comma - start));
                    TControllableObject *o = FManager ? FManager->FindObject(n) : nullptr;
                    if (!o)
                        continue;
                    o->Connected = true;
                    if (setMapObjectConnected)
                        setMapObjectConnected(n, true);
                    if (setMarkerColour)
                        setMarkerColour(n, activeObject && activeObject() == n
                                               ? m_options.ActiveMarkerColor
                                               : m_options.MarkerColor);
                    EnDisControlOuts(n);
                }
            }
            emit repaintMap();
            panel0();
            emit redrawGrid();
        } else if (FindBytes(QStringLiteral("cnev"), M) >= 0) {
            const QByteArray body = M.mid(2);
            const QByteArray numberText = body.left(body.indexOf('|'));
            const int n = DecimalBytesToInt(numberText);
            const QByteArray last = M.mid(M.lastIndexOf('|') + 1);
            TControllableObject *o = FManager ? FManager->FindObject(n) : nullptr;
            const bool active = activeObject && activeObject() == n;
            if (!last.isEmpty() && last.at(0) == 'd') {
                emit statusText(6, now() + QStringLiteral(" Отключился объект № ") +
                                       QString::number(n));
                if (o) {
                    o->Connected = false;
                    if (setMapObjectConnected)
                        setMapObjectConnected(n, false);
                    if (setMapObjectArchive)
                        setMapObjectArchive(n, true);
                    EnDisControlOuts(n);
                    if (setMarkerColour)
                        setMarkerColour(n, active ? m_options.ActiveMarkerColor
                                                  : m_options.ArchiveMarkerColor);
                }
            } else if (!last.isEmpty() && last.at(0) == 'c') {
                emit statusText(6, now() + QStringLiteral(" Подключился объект № ") +
                                       QString::number(n));
                if (o) {
                    o->Connected = true;
                    if (setMapObjectConnected)
                        setMapObjectConnected(n, true);
                    if (setMapObjectArchive)
                        setMapObjectArchive(n, false);
                    EnDisControlOuts(n);
                    if (setMarkerColour)
                        setMarkerColour(n, active ? m_options.ActiveMarkerColor
                                                  : m_options.MarkerColor);
                }
            }
            emit repaintMap();
            panel0();
            emit redrawGrid();
        } else if (FindBytes(QStringLiteral("data"), M) >= 0) {
            int N = 0;
            QByteArray P;
            const QByteArray body = M.mid(2);
            const int bar = body.indexOf('|');
            const int dataAt = M.indexOf("data|");
            if (bar > 0)
                N = DecimalBytesToInt(body.left(bar));
            emit statusText(6, now() + QStringLiteral(" Данные с объекта № ") +
                                   QString::fromLatin1(bar > 0 ? body.left(bar) : body));
            if (bar <= 0 || dataAt < 0)
                LogOperations(QStringLiteral("Невозможно обработать данные: ") +
                                  TOperationsLog::ArrayToString(M),
                              QStringLiteral("TCPin"), 10);
            if (dataAt >= 0)
                P = M.mid(dataAt + 5);
            handleOnline(N, P);
        }
    } catch (const std::exception &e) {
        LogOperations(QStringLiteral("Невозможно обработать данные: ") +
                          TOperationsLog::ArrayToString(M),
                      QStringLiteral("TCPin"), 10);
    }
}

void TServerController::handleOnline(int N, const QByteArray &P) {
    if (P.isEmpty())
        return;
    const unsigned char first = static_cast<unsigned char>(P.at(0));
    if (first == 7) {
        if (m_programming)
            m_programming->ProcessProgrammedPparameters3(N, P);
        return;
    }
    if (first == 0xDF) {
        if (m_programming)
            m_programming->ProcessProgrammedPparameters1(N, P);
        return;
    }
    for (int s = 0; s <= static_cast<int>(TProgrammingStatus::WhenParamError); ++s) {
        const auto status = static_cast<TProgrammingStatus>(s);
        if (P.contains(ProgrammingSignature(status))) {
            if (m_programming)
                m_programming->Notify(status, N, P);
            return;
        }
    }
    if (first == 0x08) {
        try {
            if (m_processor)
                m_processor->ProcessObjectOnLineData(FManager, N, P);
        } catch (const std::exception &) {
            LogOperations(QStringLiteral("Невозможно обработать данные: ") +
                              TOperationsLog::ArrayToString(P),
                          QStringLiteral("TCPprocess"), 0);
        }
        emit objectWindowsRepaint();
        emit redrawGrid();
    }
}

void TServerController::SendObjectCommand(const QString &objectNumber, int code) {
    bool ok = false;
    objectNumber.toInt(&ok);
    if (!ok)
        return;
    const QString line = QStringLiteral("c|%1|o|%2|cmd|%3")
                             .arg(m_options.AppLogin, objectNumber, ObjectCommandWord(code));
    QString error;
    if (!FClientThread)
        error = QStringLiteral("нет соединения с сервером");
    else if (!FClientThread->war(cp1251::encode(line), true))
        error = QStringLiteral("не удалось отправить команду на сервер");
    if (!error.isEmpty())
        m_dialogs.message(QStringLiteral("Ошибка выполнения операции по объекту:\r\n") + error,
                          QString(), TMsgIcon::Error);
}

void TServerController::UpdateConnectedObjectsList() {
    if (!FClientThread)
        return;
    const uint8_t s = FClientThread->getState();
    if (s == 1 || s == 2)
        FClientThread->war(TextToBytes(QStringLiteral("c|") + FClientThread->getLogin() +
                                       QStringLiteral("|s|s|cobj|all")),
                           true);
}

void TServerController::EnDisControlOuts(int id) {
    bool on = false;
    if (mapObjectConnected) {
        on = mapObjectConnected(id);
    } else if (FManager) {
        const TControllableObject *o = FManager->FindObject(id);
        on = o && o->Connected;
    }
    emit controlOutsEnabledChanged(on);
}
