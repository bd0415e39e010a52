#pragma once

// The main window's side of the server link: connecting and disconnecting, the link state in
// the status bar, automatic reconnection, the server's message lines, and the object commands.
// UI-free; the main window wires the signals to its widgets.

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

#include "link/ClientSock.h"

struct TOptions;
class TDialogs;
class TManager;
class TOnlineProcessor;
class TControllableObject;

// The notifications of the device-programming dialogue, in the order the status signatures are
// tested.
enum class TProgrammingStatus {
    WhenObjInProgramming,
    WhenObjReadyForFirstBlock,
    WhenObjReadyForSecondBlock,
    WhenObjReadyForThirdBlock,
    WhenObjReadyForFourthBlock,
    WhenObjProgOk,
    WhenObjProgError,
    WhenNoCan,
    WhenObjTimeOut,
    WhenObjInProgrammingEquip,
    WhenObjReadyForProgEquip,
    WhenServDataError,
    WhenAllParamOk,
    WhenTimeOk,
    WhenParamOk,
    WhenParamError,
};

// Implemented by the device-programming dialogue.
class TProgrammingHandler {
public:
    virtual ~TProgrammingHandler() = default;
    virtual void ProcessProgrammedPparameters3(int objNumber, const QByteArray &payload) = 0;
    virtual void ProcessProgrammedPparameters1(int objNumber, const QByteArray &payload) = 0;
    virtual void Notify(TProgrammingStatus status, int objNumber, const QByteArray &payload) = 0;
};

// The second byte of every programming status signature.
constexpr unsigned char kProgrammingSignatureByte = 0x20;
// The status signature of a notification (7 bytes).
QByteArray ProgrammingSignature(TProgrammingStatus status);

// The command words by code (2..10); empty for an unknown code.
QString ObjectCommandWord(int code);

// "Автоматическое подключение к серверу": a ten-second countdown to the next attempt.
class TAutoConnectToServer : public QObject {
    Q_OBJECT
public:
    explicit TAutoConnectToServer(QObject *parent = nullptr);

    QTimer tmrConnect; // 1000 ms
    QString counterText() const { return m_counter; }
    bool isShown() const { return m_shown; }

    // Shows the dialog and starts the countdown.
    void showAndStart();
    void tmrConnectTimer();
    void btnConnectClick();
    void btnCancelClick();
    void close();

    // One attempt; true when it connected.
    std::function<bool()> connect;

signals:
    void visibilityChanged(bool shown);
    void counterChanged(const QString &text);

private:
    void attempt();
    void setCounter(const QString &text);
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
    void setProgrammingHandler(TProgrammingHandler *h) { m_programming = h; }

    int FCurrentConnectState = 0; // 0 not connected, 1 connecting or authorised, 2 failed
    bool discNotified = false;

    bool ConnectToServer(const QString &IP, int Port, bool Silent);
    void miConnectToServerClick();
    void DisconnectFromServer();
    // The server tool button was pressed (true) or released (false).
    void tbServerClick(bool down);
    void ClientStateChanged();
    void ClientDataIn();
    // The two callbacks' work on given values (the tests drive these directly).
    void HandleState(uint8_t state, TErrors err);
    void ProcessLine(const TBytes &M);
    // The object number is the text of the state grid's first column in the current row.
    void SendObjectCommand(const QString &objectNumber, int code);
    void UpdateConnectedObjectsList();
    void EnDisControlOuts(int id);

    TAutoConnectToServer &autoConnect() { return m_autoConnect; }

    // The database side of the server button.
    std::function<bool()> databaseConnected;
    std::function<void()> connectDatabase;
    // The map objects follow the objects (attached by the map-object manager).
    std::function<void(int number, bool connected)> setMapObjectConnected;
    std::function<void(int number, bool archive)> setMapObjectArchive;
    std::function<void(int number, int colour)> setMarkerColour;
    std::function<void()> setAllMapObjectsDisconnected;
    std::function<int()> activeObject;
    // Whether the map object of an object exists and is connected; without maps, the object.
    std::function<bool(int number)> mapObjectConnected;

signals:
    void statusText(int panel, const QString &text);
    void statusLamp(int panel, int colour);
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
    void handleOnline(int N, const QByteArray &P);

    TOptions &m_options;
    TDialogs &m_dialogs;
    TClientThread *FClientThread = nullptr;
    TManager *FManager = nullptr;
    TOnlineProcessor *m_processor = nullptr;
    TProgrammingHandler *m_programming = nullptr;
    TAutoConnectToServer m_autoConnect;
};
