#pragma once

// The client's side of the server link: connecting and disconnecting, the link state,
// automatic reconnection, the server's message lines, and the object commands. The session
// owns it and turns its signals into the map's and the windows' news.

#include <QColor>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

#include "link/ClientSock.h"
#include "link/ServerLines.h"
#include "session/OnlineProcessor.h"
#include "session/SessionTypes.h"

#include <vector>

struct TOptions;
class TDialogs;
class TManager;
class TOnlineProcessor;

// "Автоматическое подключение к серверу": a ten-second countdown to the next attempt.
class TAutoConnectToServer : public QObject {
    Q_OBJECT
public:
    // connect makes one attempt and tells whether it connected.
    TAutoConnectToServer(std::function<bool()> connect, QObject *parent = nullptr);

    QTimer tmrConnect; // 1000 ms
    QString counterText() const { return m_counter; }
    bool isShown() const { return m_shown; }

    // Shows the dialog and starts the countdown.
    void showAndStart();
    void tmrConnectTimer();
    void btnConnectClick();
    void btnCancelClick();
    void close();

signals:
    void visibilityChanged(bool shown);
    void counterChanged(const QString &text);

private:
    void attempt();
    void setCounter(const QString &text);
    std::function<bool()> m_connect;
    QString m_counter = QStringLiteral("10");
    int m_left = 10;
    bool m_shown = false;
};

class TServerController : public QObject {
    Q_OBJECT
public:
    TServerController(TOptions &options, TDialogs &dialogs, QObject *parent = nullptr);

    // The link thread, created once by the main window with ClientDataIn and ClientStateChanged
    // as its callbacks.
    void setClient(TClientThread *client) { FClientThread = client; }
    TClientThread *client() const { return FClientThread; }
    void setManager(TManager *manager) { FManager = manager; }
    void setProcessor(TOnlineProcessor *p) { m_processor = p; }

    int FCurrentConnectState = 0; // 0 not connected, 1 connecting or authorised, 2 failed
    bool discNotified = false;

    bool ConnectToServer(const QString &IP, int Port, bool Silent);
    void miConnectToServerClick();
    void DisconnectFromServer();
    void ClientStateChanged();
    void ClientDataIn();
    // The two callbacks' work on given values (the tests drive these directly).
    void HandleState(uint8_t state, TErrors err);
    void ProcessLine(const TBytes &M);
    // The lines of one hand-over of the link, in order. Their on-line packets are recorded in
    // batches of at most BatchMs of work: one transaction and one day-file sync each.
    void ProcessLines(const std::vector<TBytes> &lines);
    static constexpr int BatchMs = 50;
    // The grid and the object windows redraw for on-line data at most this often.
    static constexpr int RedrawMs = 250;
    // The object number is the text of the state grid's first column in the current row.
    void SendObjectCommand(const QString &objectNumber, int code);
    void UpdateConnectedObjectsList();
    void EnDisControlOuts(int id);

    TAutoConnectToServer &autoConnect() { return m_autoConnect; }

signals:
    void statusText(TStatusField field, const QString &text);
    void statusLamp(TStatusField field, const QColor &colour);
    // The server's connection news of a registered object.
    void objectConnectionNews(int number, TConnectionNews news);
    // The link is down: every object counts as disconnected.
    void allObjectsDisconnected();
    // An on-line packet was applied to these objects.
    void packetsApplied(const std::vector<TAppliedPacket> &applied);
    // The device-programming dialogue's traffic.
    void programmedParameters3(int objNumber, const QByteArray &payload);
    void programmedParameters1(int objNumber, const QByteArray &payload);
    void programmingNotification(TProgrammingStatus status, int objNumber,
                                 const QByteArray &payload);
    void connectCommandsChanged(bool connectEnabled, bool disconnectEnabled);
    void downloadEnabledChanged(bool enabled);
    void serverButtonDownChanged(bool down);
    void controlOutsEnabledChanged(bool enabled);
    void repaintMap();
    void redrawGrid();
    void objectWindowsRepaint();

private:
    void refreshStatus();
    void markAllDisconnected();
    void panel0();
    QString now() const;
    void handlePayload(int N, const QByteArray &P);
    void connectionNews(int number, TConnectionNews news);
    void endBatch();
    void requestRedraw();

    QTimer m_redraw; // single shot: the pause after a redraw
    bool m_redrawPending = false;
    TOptions &m_options;
    TDialogs &m_dialogs;
    TClientThread *FClientThread = nullptr;
    TManager *FManager = nullptr;
    TOnlineProcessor *m_processor = nullptr;
    TAutoConnectToServer m_autoConnect;
};
