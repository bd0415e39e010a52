#pragma once

#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

enum TLogMessageType { LM_SPAM, LM_INFO, LM_WARNING, LM_ERROR };

struct TLogMessage {
    std::shared_ptr<void> FData; // attached object, owned by the message
    TLogMessageType FMsgType = LM_INFO;
    QString FMessage;
    const void *FSender = nullptr; // originator, not owned
    QDateTime FTimeStamp;
};

// The program log: typed messages kept in memory for the whole run and appended to the file
// named like the program with ".log". Main thread only.
class TLogging {
public:
    // Opens (or creates) the log file; when it cannot be opened the run goes on without it.
    explicit TLogging(const QString &fileName);
    ~TLogging();

    void WriteMessage(TLogMessageType type, const QString &msg, const void *sender = nullptr,
                      std::shared_ptr<void> data = {});

    const std::vector<TLogMessage> &MessageList() const { return m_messages; }
    bool isFileOpen() const { return m_file && m_file->isOpen(); }
    std::function<void(const TLogMessage &)> FOnMessage;

    // The line as written to the file (without CR LF).
    static QString formatLine(const TLogMessage &m);

private:
    std::vector<TLogMessage> m_messages;
    std::unique_ptr<QFile> m_file;
    int m_lockFd = -1;
};

// The operations log: lines with a sender and a numeric level, appended to "log.txt" in the
// profile folder in Windows-1251, and queued for the in-memory view. Any thread may write.
class TOperationsLog {
public:
    static constexpr int ViewCapacity = 1000;
    // Lines waiting for the view; older ones are dropped (the file keeps them all).
    static constexpr int QueueCapacity = 10 * ViewCapacity;

    explicit TOperationsLog(const QString &fileName);
    ~TOperationsLog();

    void LogOperations(const QString &mess, const QString &sender, int level);

    // The view's timer step: trims the view below its capacity, then moves every queued line to
    // its top (newest first).
    void flushToView();
    const std::deque<QString> &view() const { return m_view; }
    QStringList takeQueued();
    const QString &fileName() const { return m_fileName; }

    static QString ArrayToString(const QByteArray &arr);

private:
    QString m_fileName;
    std::mutex messCS;
    std::mutex syncronizedWriteToLog;
    std::unique_ptr<QFile> logFile;
    QStringList messList;
    std::deque<QString> m_view;
};

// The process-wide operations log; lines written before one is installed are dropped.
void InstallOperationsLog(std::shared_ptr<TOperationsLog> log);
TOperationsLog *OperationsLog();
void LogOperations(const QString &mess, const QString &sender, int level);
