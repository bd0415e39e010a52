#include "session/ProgrammingPart.h"

#include "link/ClientSock.h"
#include "programming/ParameterFile.h"
#include "programming/ProgrammingCodec.h"
#include "session/ServerMessages.h"

#include <QFileInfo>

using namespace programming;

namespace {
const QString kRepeat = QStringLiteral("\r\nПовторите действия.");
} // namespace

TProgrammingPart::TProgrammingPart(TDialogs &dialogs, TServerController &server, QObject *parent)
    : QObject(parent), m_dialogs(dialogs), m_server(server),
      m_clock([] { return QDateTime::currentDateTime(); }) {
    ApplyDefaults(m_params);
    tmrCheck.setInterval(CheckIntervalMs);
    tmrCheck.setSingleShot(true);
    connect(&tmrCheck, &QTimer::timeout, this, &TProgrammingPart::tmrCheckTimer);
    tmrSysTime.setInterval(1000);
    connect(&tmrSysTime, &QTimer::timeout, this, &TProgrammingPart::tmrSysTimeTimer);
    connect(&server, &TServerController::programmingNotification, this,
            &TProgrammingPart::onNotification);
    connect(&server, &TServerController::programmedParameters3, this, &TProgrammingPart::onForm3);
    connect(&server, &TServerController::programmedParameters1, this, &TProgrammingPart::onForm1);
    syncSysTime();
}

void TProgrammingPart::setObjectNumber(int n) {
    m_objectNumber = n;
}

void TProgrammingPart::changed(const TProgrammingParams &p) {
    if (p == m_params)
        return;
    m_params = p;
    emit paramsChanged();
}

void TProgrammingPart::setParams(const TProgrammingParams &p) {
    changed(p);
    syncSysTime();
}

void TProgrammingPart::syncSysTime() {
    if (m_params.cbTakeSysTime && !tmrSysTime.isActive()) {
        tmrSysTime.start();
        tmrSysTimeTimer();
    } else if (!m_params.cbTakeSysTime) {
        tmrSysTime.stop();
    }
}

void TProgrammingPart::tmrSysTimeTimer() {
    TProgrammingParams p = m_params;
    SetDateTime(p, m_clock());
    changed(p);
}

void TProgrammingPart::cbTakeSysTimeClick(bool checked) {
    TProgrammingParams p = m_params;
    p.cbTakeSysTime = checked;
    setParams(p);
}

void TProgrammingPart::FormShow() {
    TProgrammingParams p = m_params;
    SetDate(p, m_clock().date());
    changed(p);
}

// ---- state, cursor, the end of a session

void TProgrammingPart::setState(int state) {
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void TProgrammingPart::setWait(bool wait) {
    if (wait == m_wait)
        return;
    m_wait = wait;
    emit waitCursorChanged(wait);
}

void TProgrammingPart::endSession(const QString &text, TMsgIcon icon) {
    tmrCheck.stop();
    setState(0);
    setWait(false);
    emit sessionEnded(icon != TMsgIcon::Error, text);
    // The device's news arrive while the link thread waits for them to be handled: the box
    // must not keep it waiting (keep-alives would go unanswered).
    QMetaObject::invokeMethod(
        this, [this, text, icon] { m_dialogs.message(text, QString(), icon); },
        Qt::QueuedConnection);
}

bool TProgrammingPart::send(const QByteArray &line) {
    TClientThread *client = m_server.client();
    QString error;
    if (!client || client->getState() != 2)
        error = QStringLiteral("Нет соединения с сервером.");
    else if (!client->war(line, true))
        error = QStringLiteral("Не удалось отправить данные на сервер.");
    if (error.isEmpty())
        return true;
    endSession(error, TMsgIcon::Error);
    return false;
}

bool TProgrammingPart::startCommand(const QByteArray &line, int newState) {
    if (!send(line))
        return false;
    setState(newState);
    // A timer already running keeps the time it has left.
    if (!tmrCheck.isActive())
        tmrCheck.start();
    setWait(true);
    return true;
}

void TProgrammingPart::advance(const QByteArray &line, int newState) {
    tmrCheck.stop();
    if (!send(line))
        return;
    setState(newState);
    tmrCheck.start();
    setWait(true);
}

// ---- commands

bool TProgrammingPart::btnProgramClick() {
    std::array<QByteArray, 4> blocks;
    try {
        blocks = {Block1(m_params), Block2(m_params), Block3(m_params), Block4(m_params)};
    } catch (const EProgrammingError &e) {
        m_dialogs.message(e.text(), QString(), TMsgIcon::Error);
        return false;
    }
    m_blocks = blocks;
    return startCommand(ShortCommand(kCmdEnterProgramming, m_objectNumber), 1);
}

bool TProgrammingPart::btnRequest3Click() {
    return startCommand(ShortCommand(kCmdRequestForm3, m_objectNumber), 10);
}

bool TProgrammingPart::btnProgramEquipClick() {
    QByteArray packet;
    try {
        packet = EquipmentPacket(m_params);
    } catch (const EProgrammingError &e) {
        m_dialogs.message(e.text(), QString(), TMsgIcon::Error);
        return false;
    }
    m_packet = packet;
    emit logAdded(HexLines(packet));
    return startCommand(ShortCommand(kCmdEnterEquipment, m_objectNumber), 7);
}

bool TProgrammingPart::btnRequest1Click() {
    return startCommand(ShortCommand(kCmdRequestForm1, m_objectNumber), 11);
}

void TProgrammingPart::btnDefaultsClick() {
    TProgrammingParams p = m_params;
    ApplyDefaults(p);
    changed(p);
}

void TProgrammingPart::btnRememberClick() {
    TProgrammingParams p = m_params;
    if (!RememberTmas(p)) {
        m_dialogs.message(QStringLiteral("Неверный диапазон температур."), QString(),
                          TMsgIcon::Warning);
        return;
    }
    changed(p);
}

void TProgrammingPart::btnResetClick() {
    TProgrammingParams p = m_params;
    ResetTmas(p);
    changed(p);
}

void TProgrammingPart::tbAKBChange(int position) {
    TProgrammingParams p = m_params;
    SetAkbPosition(p, position);
    changed(p);
}

void TProgrammingPart::tbTMASChange(int position) {
    TProgrammingParams p = m_params;
    SetTmasPosition(p, position);
    changed(p);
}

void TProgrammingPart::miSaveClick() {
    QString file =
        m_dialogs.saveFile(QStringLiteral("Сохранить"), QString(), PpcFilter(), QString());
    if (file.isEmpty())
        return;
    if (QFileInfo(file).suffix().isEmpty())
        file += QLatin1Char('.') + PpcExtension();
    try {
        SavePpc(m_params, file);
    } catch (const EProgrammingError &e) {
        m_dialogs.message(e.text(), QString(), TMsgIcon::Error);
    }
}

void TProgrammingPart::miLoadClick() {
    const QString file = m_dialogs.openFile(QStringLiteral("Загрузить"), QString(), PpcFilter());
    if (file.isEmpty())
        return;
    try {
        setParams(LoadPpc(file, m_params));
    } catch (const EProgrammingError &e) {
        m_dialogs.message(e.text(), QString(), TMsgIcon::Error);
    }
}

// ---- the device's news

void TProgrammingPart::onNotification(TProgrammingStatus status, int objNumber,
                                      const QByteArray &) {
    // Another object's device (programmed from another workstation) does not drive this one.
    if (objNumber == m_objectNumber)
        notify(status);
}

void TProgrammingPart::onForm3(int objNumber, const QByteArray &payload) {
    if (objNumber == m_objectNumber)
        ProcessProgrammedPparameters3(payload);
}

void TProgrammingPart::onForm1(int objNumber, const QByteArray &payload) {
    if (objNumber == m_objectNumber)
        ProcessProgrammedPparameters1(payload);
}

void TProgrammingPart::notify(TProgrammingStatus status) {
    using S = TProgrammingStatus;
    switch (status) {
    case S::WhenObjInProgramming:
        return WhenObjInProgramming();
    case S::WhenObjReadyForFirstBlock:
        return WhenObjReadyForFirstBlock();
    case S::WhenObjReadyForSecondBlock:
        return WhenObjReadyForSecondBlock();
    case S::WhenObjReadyForThirdBlock:
        return WhenObjReadyForThirdBlock();
    case S::WhenObjReadyForFourthBlock:
        return WhenObjReadyForFourthBlock();
    case S::WhenObjProgOk:
        return WhenObjProgOk();
    case S::WhenObjProgError:
        return WhenObjProgError();
    case S::WhenNoCan:
        return WhenNoCan();
    case S::WhenObjTimeOut:
        return WhenObjTimeOut();
    case S::WhenObjInProgrammingEquip:
        return WhenObjInProgrammingEquip();
    case S::WhenObjReadyForProgEquip:
        return WhenObjReadyForProgEquip();
    case S::WhenServDataError:
        return WhenServDataError();
    case S::WhenAllParamOk:
        return WhenAllParamOk();
    case S::WhenTimeOk:
        return WhenTimeOk();
    case S::WhenParamOk:
        return WhenParamOk();
    case S::WhenParamError:
        return WhenParamError();
    }
}

void TProgrammingPart::WhenObjInProgramming() {
    advance(ShortCommand(kCmdReadyForBlocks, m_objectNumber), 2);
}

void TProgrammingPart::WhenObjReadyForFirstBlock() {
    advance(NumberedCommand(kCmdWrite, m_objectNumber, m_blocks[0]), 3);
}

void TProgrammingPart::WhenObjReadyForSecondBlock() {
    advance(NumberedCommand(kCmdWrite, m_objectNumber, m_blocks[1]), 4);
}

void TProgrammingPart::WhenObjReadyForThirdBlock() {
    advance(NumberedCommand(kCmdWrite, m_objectNumber, m_blocks[2]), 5);
}

void TProgrammingPart::WhenObjReadyForFourthBlock() {
    advance(NumberedCommand(kCmdWrite, m_objectNumber, m_blocks[3]), 6);
}

void TProgrammingPart::WhenObjInProgrammingEquip() {
    advance(NumberedCommand(kCmdReadyForEquipment, m_objectNumber), 8);
}

void TProgrammingPart::WhenObjReadyForProgEquip() {
    advance(NumberedCommand(kCmdWrite, m_objectNumber, m_packet), 9);
}

void TProgrammingPart::WhenObjProgOk() {
    endSession(QStringLiteral("Прибор успешно запрограммирован!"), TMsgIcon::Information);
}

void TProgrammingPart::WhenObjProgError() {
    endSession(QStringLiteral("Ошибка программирования прибора!"), TMsgIcon::Error);
}

void TProgrammingPart::WhenNoCan() {
    endSession(QStringLiteral("Нет CAN! Прибор не запрограммирован."), TMsgIcon::Error);
}

void TProgrammingPart::WhenObjTimeOut() {
    endSession(QStringLiteral("Прибор вышел из режима программирования по таймауту."),
               TMsgIcon::Error);
}

void TProgrammingPart::WhenServDataError() {
    endSession(QStringLiteral("Данные от сервера не верны. Прибор не запрограммирован."),
               TMsgIcon::Error);
}

void TProgrammingPart::WhenAllParamOk() {
    endSession(QStringLiteral("Успешно запрограммированны обе группы параметров."),
               TMsgIcon::Information);
}

void TProgrammingPart::WhenTimeOk() {
    endSession(QStringLiteral("Время успешно запрограммировано."), TMsgIcon::Information);
}

void TProgrammingPart::WhenParamOk() {
    endSession(QStringLiteral("Параметры успешно запрограммированны."), TMsgIcon::Information);
}

void TProgrammingPart::WhenParamError() {
    endSession(QStringLiteral("Параметры не запрограммированны."), TMsgIcon::Error);
}

void TProgrammingPart::ProcessProgrammedPparameters3(const QByteArray &payload) {
    const TForm3Report r = DecodeForm3(payload, m_params);
    switch (r.outcome) {
    case TReportOutcome::BadLength:
        endSession(QStringLiteral("В пакете \"данные платы №3\" неверное количество байт"),
                   TMsgIcon::Error);
        return;
    case TReportOutcome::BadContent:
        endSession(QStringLiteral("Ошибка обработки пакета данных с платы №3\r\n") + r.error,
                   TMsgIcon::Error);
        return;
    case TReportOutcome::Ok:
        break;
    }
    changed(r.params);
    // Blocks 1 to 3 leave the state and the timer: all four arrive within one wait.
    if (r.block == '4')
        endSession(QStringLiteral("Все блоки данных приняты успешно (плата №3)"),
                   TMsgIcon::Information);
}

void TProgrammingPart::ProcessProgrammedPparameters1(const QByteArray &payload) {
    emit logAdded(HexLines(payload));
    const TForm1Report r = DecodeForm1(payload, m_params);
    if (r.outcome != TReportOutcome::Ok) {
        endSession(QStringLiteral("Ошибка обработки пакета данных с платы №1\r\n") + r.error,
                   TMsgIcon::Error);
        return;
    }
    changed(r.params);
    endSession(QStringLiteral("Блок данных с платы №1 принят успешно"), TMsgIcon::Information);
}

// ---- the check timer

QString TProgrammingPart::CheckTimeoutMessage(int state) {
    const QString head = QStringLiteral("Прибор в течении 20 с. не ответил на ");
    switch (state) {
    case 1:
        return head + QStringLiteral("команду \"перейти в режим программирования\"") + kRepeat;
    case 2:
        return head + QStringLiteral("команду \"приготовиться к приему\"") + kRepeat;
    case 3:
    case 4:
    case 5:
    case 6:
        return head + QStringLiteral("блок данных №") + QString::number(state - 2) + kRepeat;
    case 7:
        return head + QStringLiteral("команду \"перейти в режим программирования оборудования\"") +
               kRepeat;
    case 8:
        return head +
               QStringLiteral(
                   "команду \"приготовиться к приему пакета программирования оборудования\"") +
               kRepeat;
    case 9:
        return head + QStringLiteral("пакет программирования оборудования") + kRepeat;
    case 10:
        return head + QStringLiteral("запрос \"выдать значения парметров платы №3\"") + kRepeat;
    case 11:
        return head + QStringLiteral("запрос \"выдать значения парметров платы №1\"") + kRepeat;
    default:
        return {};
    }
}

void TProgrammingPart::tmrCheckTimer() {
    tmrCheck.stop();
    setWait(false);
    if (m_state == 0)
        return;
    endSession(CheckTimeoutMessage(m_state), TMsgIcon::Error);
}
