#pragma once

// Device programming: one session at a time with one object's device, through the server
// link. A user command sends its first line; each "ready" signature of the device sends the
// next; a final signature, a report or the check timer ends the session with its message.
// The window and the batch front end both drive this class; the window shows params() and
// hands its edits back through setParams().

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <array>
#include <functional>

#include "app/Dialogs.h"
#include "link/ServerLines.h"
#include "programming/ProgrammingParams.h"

class TServerController;

class TProgrammingPart : public QObject {
    Q_OBJECT
public:
    static constexpr int CheckIntervalMs = 20000;

    // Listens to the server controller's programming traffic (the reports and signatures of
    // the session's object) and sends through its link thread.
    TProgrammingPart(TDialogs &dialogs, TServerController &server, QObject *parent = nullptr);

    // The object whose device the session speaks to ("n" of the command lines).
    int objectNumber() const { return m_objectNumber; }
    void setObjectNumber(int n);
    // 0 idle; 1..11 what the session waits for.
    int state() const { return m_state; }

    const TProgrammingParams &params() const { return m_params; }
    // The window's fields as edited; the system-time clock follows cbTakeSysTime.
    void setParams(const TProgrammingParams &p);

    // What the last build produced (kept until the next build).
    const std::array<QByteArray, 4> &blocks() const { return m_blocks; }
    const QByteArray &equipmentPacket() const { return m_packet; }

    // The check timer (20 s, one shot; tests shorten it with setInterval).
    QTimer tmrCheck;
    void tmrCheckTimer();
    // "Брать системное время": copies the clock into the date and time fields every second.
    QTimer tmrSysTime;
    void tmrSysTimeTimer();
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    // ---- the window's commands; false when nothing was sent
    bool btnProgramClick();  // "Программировать" of "Параметры связи"
    bool btnRequest3Click(); // "Запрос данных платы №3"
    bool btnProgramEquipClick(); // "Программировать" of "Параметры оборудования"
    bool btnRequest1Click(); // "Запрос данных платы №1"
    void btnDefaultsClick(); // "По умолчанию"
    void btnRememberClick(); // "Запомнить"
    void btnResetClick();    // "Сброс"
    void tbAKBChange(int position);
    void tbTMASChange(int position);
    void cbTakeSysTimeClick(bool checked);
    // The window is shown: the date fields take today's date.
    void FormShow();
    // "Файл" -> "Сохранить" / "Загрузить" through the file dialogs.
    void miSaveClick();
    void miLoadClick();

    // ---- the device's news (the server controller's dispatch calls these)
    void WhenObjInProgramming();
    void WhenObjReadyForFirstBlock();
    void WhenObjReadyForSecondBlock();
    void WhenObjReadyForThirdBlock();
    void WhenObjReadyForFourthBlock();
    void WhenObjProgOk();
    void WhenObjProgError();
    void WhenNoCan();
    void WhenObjTimeOut();
    void WhenObjInProgrammingEquip();
    void WhenObjReadyForProgEquip();
    void WhenServDataError();
    void WhenAllParamOk();
    void WhenTimeOk();
    void WhenParamOk();
    void WhenParamError();
    void notify(TProgrammingStatus status);
    void ProcessProgrammedPparameters3(const QByteArray &payload);
    void ProcessProgrammedPparameters1(const QByteArray &payload);

    // The check timer's message for a state (empty for 0).
    static QString CheckTimeoutMessage(int state);

signals:
    void paramsChanged();
    void stateChanged(int state);
    void waitCursorChanged(bool wait);
    // Lines for the log ("mmLog").
    void logAdded(const QStringList &lines);
    // A session ended: ok for an information, false for an error; the message follows in a
    // box once the event loop runs (never inside the link's hand-over).
    void sessionEnded(bool ok, const QString &message);

private:
    void onNotification(TProgrammingStatus status, int objNumber, const QByteArray &payload);
    void onForm3(int objNumber, const QByteArray &payload);
    void onForm1(int objNumber, const QByteArray &payload);
    bool send(const QByteArray &line);
    bool startCommand(const QByteArray &line, int newState);
    void advance(const QByteArray &line, int newState);
    void endSession(const QString &text, TMsgIcon icon);
    void setState(int state);
    void setWait(bool wait);
    void changed(const TProgrammingParams &p);
    void syncSysTime();

    TDialogs &m_dialogs;
    TServerController &m_server;
    int m_objectNumber = 0;
    int m_state = 0;
    bool m_wait = false;
    TProgrammingParams m_params;
    std::array<QByteArray, 4> m_blocks;
    QByteArray m_packet;
    std::function<QDateTime()> m_clock;
};
