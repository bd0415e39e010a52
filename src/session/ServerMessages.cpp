#include "session/ServerMessages.h"

#include "app/Cp1251.h"
#include "app/Dialogs.h"
#include "app/Logging.h"
#include "app/Options.h"
#include "db/GroupManager.h"
#include "link/Bytes.h"
#include "session/OnlineProcessor.h"

#include <QElapsedTimer>

namespace {
const QColor kGrey(128, 128, 128);
const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);
} // namespace

// ---- reconnection countdown

TAutoConnectToServer::TAutoConnectToServer(std::function<bool()> connect, QObject *parent)
    : QObject(parent), m_connect(std::move(connect)) {
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
    const bool ok = m_connect();
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
    : QObject(parent), m_options(options), m_dialogs(dialogs),
      m_autoConnect(
          [this] { return ConnectToServer(m_options.AppServer, m_options.AppPort, true); }, this) {
    m_redraw.setSingleShot(true);
    m_redraw.setInterval(RedrawMs);
    connect(&m_redraw, &QTimer::timeout, this, [this] {
        if (!m_redrawPending)
            return;
        m_redrawPending = false;
        emit objectWindowsRepaint();
        emit redrawGrid();
        m_redraw.start();
    });
}

void TServerController::requestRedraw() {
    // The first news redraws at once, what follows within the pause once at its end.
    if (m_redraw.isActive()) {
        m_redrawPending = true;
        return;
    }
    emit objectWindowsRepaint();
    emit redrawGrid();
    m_redraw.start();
}

void TServerController::endBatch() {
    if (!m_processor)
        return;
    try {
        m_processor->endBatch();
    } catch (const std::exception &e) {
        LogOperations(QStringLiteral("Ошибка записи пакетов: ") + QString::fromUtf8(e.what()),
                      QStringLiteral("TCPprocess"), 0);
    }
}

void TServerController::ProcessLines(const std::vector<TBytes> &lines) {
    if (m_processor)
        m_processor->beginBatch();
    QElapsedTimer work;
    work.start();
    for (const TBytes &line : lines) {
        ProcessLine(line);
        if (m_processor && work.elapsed() >= BatchMs) {
            endBatch();
            m_processor->beginBatch();
            work.restart();
        }
    }
    endBatch();
}

QString TServerController::now() const {
    return dt::dateTimeToStr(dt::now());
}

void TServerController::refreshStatus() {
    const QColor colour = FCurrentConnectState == 1   ? kGreen
                          : FCurrentConnectState == 2 ? kRed
                                                      : kGrey;
    emit statusLamp(TStatusField::LinkLamp, colour);
}

void TServerController::panel0() {
    if (FManager)
        emit statusText(TStatusField::Objects, FManager->AllObjConnectObjRatio());
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

void TServerController::markAllDisconnected() {
    if (FManager)
        FManager->SetAllObjectsDisconnected();
    emit allObjectsDisconnected();
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
        emit statusText(TStatusField::LinkEvent,
                        now() + QStringLiteral("  Выполняется авторизация"));
        FCurrentConnectState = 1;
        break;
    case 2:
        emit statusText(TStatusField::LinkEvent, now() + QStringLiteral("  Авторизация пройдена"));
        break;
    case 0:
        if (!discNotified) {
            markAllDisconnected();
            emit connectCommandsChanged(true, false);
            emit downloadEnabledChanged(false);
            emit statusText(TStatusField::LinkEvent, QString());
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
            emit statusText(TStatusField::LinkEvent, now() + text);
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

void TServerController::connectionNews(int n, TConnectionNews news) {
    TControllableObject *o = FManager ? FManager->FindObject(n) : nullptr;
    if (!o)
        return;
    o->Connected = news != TConnectionNews::Disconnected;
    emit objectConnectionNews(n, news);
    EnDisControlOuts(n);
}

void TServerController::ProcessLine(const TBytes &M) {
    const auto cannotProcess = [&M] {
        LogOperations(QStringLiteral("Невозможно обработать данные: ") +
                          TOperationsLog::ArrayToString(M),
                      QStringLiteral("TCPin"), 10);
    };
    try {
        const TServerLine line = ParseServerLine(M);
        switch (line.kind) {
        case TServerLineKind::ObjectList:
            for (int n : line.objects)
                connectionNews(n, TConnectionNews::Listed);
            emit repaintMap();
            panel0();
            emit redrawGrid();
            break;
        case TServerLineKind::ConnectionEvent:
            if (line.event == 'd') {
                emit statusText(TStatusField::LinkEvent,
                                now() + QStringLiteral(" Отключился объект № ") +
                                    QString::number(line.number));
                connectionNews(line.number, TConnectionNews::Disconnected);
            } else if (line.event == 'c') {
                emit statusText(TStatusField::LinkEvent,
                                now() + QStringLiteral(" Подключился объект № ") +
                                    QString::number(line.number));
                connectionNews(line.number, TConnectionNews::Connected);
            }
            emit repaintMap();
            panel0();
            emit redrawGrid();
            break;
        case TServerLineKind::ObjectData:
            emit statusText(TStatusField::LinkEvent, now() +
                                                         QStringLiteral(" Данные с объекта № ") +
                                                         QString::fromLatin1(line.numberText));
            if (line.malformed)
                cannotProcess();
            handlePayload(line.number, line.payload);
            break;
        case TServerLineKind::Other:
            break;
        }
    } catch (const std::exception &) {
        cannotProcess();
    }
}

void TServerController::handlePayload(int N, const QByteArray &P) {
    const TPayload payload = ClassifyPayload(P);
    switch (payload.kind) {
    case TPayloadKind::ProgrammedParameters3:
        emit programmedParameters3(N, P);
        break;
    case TPayloadKind::ProgrammedParameters1:
        emit programmedParameters1(N, P);
        break;
    case TPayloadKind::Programming:
        emit programmingNotification(payload.status, N, P);
        break;
    case TPayloadKind::Online: {
        std::vector<TAppliedPacket> applied;
        try {
            if (m_processor)
                applied = m_processor->ProcessObjectOnLineData(FManager, N, P);
        } catch (const std::exception &) {
            LogOperations(QStringLiteral("Невозможно обработать данные: ") +
                              TOperationsLog::ArrayToString(P),
                          QStringLiteral("TCPprocess"), 0);
        }
        if (!applied.empty())
            emit packetsApplied(applied);
        requestRedraw();
        break;
    }
    case TPayloadKind::None:
        break;
    }
}

void TServerController::SendObjectCommand(const QString &objectNumber, int code) {
    bool ok = false;
    objectNumber.toInt(&ok);
    if (!ok)
        return;
    const QString line = ObjectCommandLine(m_options.AppLogin, objectNumber, code);
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
        FClientThread->war(TextToBytes(ConnectedObjectsRequest(FClientThread->getLogin())), true);
}

void TServerController::EnDisControlOuts(int id) {
    const TControllableObject *o = FManager ? FManager->FindObject(id) : nullptr;
    emit controlOutsEnabledChanged(o && o->Connected);
}
