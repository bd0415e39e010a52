#pragma once

#include "app/Dialogs.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <memory>
#include <mutex>
#include <thread>

namespace httplib {
class Server;
}

// One answer of the local web server, independent of the HTTP library.
struct TWebAnswer {
    int Status = 404;
    QByteArray ContentType;
    QByteArray Body;
    QList<QPair<QByteArray, QByteArray>> Headers;
};

// Answers one GET for the document path D (already percent-decoded) of the served folder
// documentRoot; objectId is the decoded "objectID" query value as bytes. Called on the server's
// worker threads: it reads only its arguments.
TWebAnswer AnswerWebRequest(const QString &documentRoot, const QByteArray &path,
                            const QByteArray &objectId);

// The label picture shown beside an object's marker, as a BMP file; empty when it cannot be made.
QByteArray DrawObjectLabel(const QString &text);

// The local web-map server: serves DocumentRoot on 127.0.0.1 with two worker threads and a
// listen queue of one.
class TdmHTTPServer {
public:
    static constexpr int DefaultPort = 2223;
    static constexpr int WorkerCount = 2;
    static constexpr int ListenQueue = 1;

    TdmHTTPServer();
    ~TdmHTTPServer();
    TdmHTTPServer(const TdmHTTPServer &) = delete;
    TdmHTTPServer &operator=(const TdmHTTPServer &) = delete;

    // The served folder; set it before a start (the workers read it without a lock).
    QString DocumentRoot;

    // Stops a running server, binds 127.0.0.1:Port and starts serving; false on any error.
    bool StartHTTPServer(int Port);
    void StopServer();
    bool IsHTTPServerRunning() const;
    // The port of the last successful start (2223 before any).
    quint16 GetHTTPServerPort() const;

private:
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    bool m_running = false;
    quint16 m_port = DefaultPort;
};

// The ports tried for a start from Port: Port, Port + 1, ... up to 65535, then Port - 1,
// Port - 2, ...; at most count of them.
QList<int> WebServerPortCandidates(int Port, int count = 20);

// Finds a free port from Port on and starts the server on WebServerDir. Returns the port it
// runs on (the main window's CurrentWebServerPort), -1 when all attempts failed; the failure
// is shown through dialogs.
int StartLocalWebServer(TdmHTTPServer &server, int Port, TDialogs &dialogs);
