#include "app/Logging.h"

#include "app/Cp1251.h"
#include "app/DateUtils.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// ---- TLogging

TLogging::TLogging(const QString &fileName) {
    // One writer at a time: another instance holding the file keeps us out (readers may share).
    auto file = std::make_unique<QFile>(fileName);
    const int fd =
        ::open(QFile::encodeName(fileName).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    QString error;
    if (fd < 0) {
        error = QString::fromLocal8Bit(strerror(errno));
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = QStringLiteral("Процесс не может получить доступ к файлу, так как этот файл "
                               "занят другим процессом");
        ::close(fd);
    } else if (!file->open(fd, QIODevice::ReadWrite | QIODevice::Append,
                           QFileDevice::DontCloseHandle)) {
        error = file->errorString();
        ::close(fd);
    } else {
        m_lockFd = fd;
        m_file = std::move(file);
    }
    if (!error.isEmpty())
        WriteMessage(LM_ERROR, QStringLiteral("Невозможно открыть файл лога: ") + error);
}

TLogging::~TLogging() {
    m_file.reset();
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QString TLogging::formatLine(const TLogMessage &m) {
    const TDateTime t = dt::fromQDateTime(m.FTimeStamp);
    QString marker = QStringLiteral(" ");
    if (m.FMsgType == LM_WARNING)
        marker = QStringLiteral(" Внимание! ");
    else if (m.FMsgType == LM_ERROR)
        marker = QStringLiteral(" Ошибка! ");
    return dt::dateToStr(t) + QLatin1Char(' ') + dt::timeToStr(t) + marker + m.FMessage;
}

void TLogging::WriteMessage(TLogMessageType type, const QString &msg, const void *sender,
                            std::shared_ptr<void> data) {
    TLogMessage m;
    m.FData = std::move(data);
    m.FMsgType = type;
    m.FMessage = msg;
    m.FSender = sender;
    m.FTimeStamp = QDateTime::currentDateTime();
    m_messages.push_back(m);
    if (isFileOpen()) {
        // The program log is UTF-8; each line is written whole.
        m_file->write((formatLine(m) + QStringLiteral("\r\n")).toUtf8());
        m_file->flush();
    }
    if (FOnMessage)
        FOnMessage(m_messages.back());
}

// ---- TOperationsLog

TOperationsLog::TOperationsLog(const QString &fileName) : m_fileName(fileName) {
    logFile = std::make_unique<QFile>(fileName);
    if (!logFile->open(QIODevice::WriteOnly | QIODevice::Append)) {
        messList << QStringLiteral("Cannot open log file \"") + fileName + QStringLiteral("\": ") +
                        logFile->errorString();
        logFile.reset();
    }
}

TOperationsLog::~TOperationsLog() = default;

void TOperationsLog::LogOperations(const QString &mess, const QString &sender, int level) {
    const TDateTime n = dt::now();
    const QString line = dt::dateToStr(n) + QLatin1Char(' ') + dt::timeToStr(n) +
                         QStringLiteral(" (") + QString::number(level) + QStringLiteral(") ") +
                         sender + QStringLiteral(":: ") + mess;
    {
        std::lock_guard lock(messCS);
        // Nobody may be emptying the queue (the view is rarely open): keep only the newest.
        if (messList.size() >= QueueCapacity)
            messList.removeFirst();
        messList << line;
    }
    std::lock_guard lock(syncronizedWriteToLog);
    if (!logFile)
        return;
    const QByteArray bytes = cp1251::encode(line + QStringLiteral("\r\n"));
    if (logFile->write(bytes) != bytes.size() || !logFile->flush()) {
        const QString err = logFile->errorString();
        std::lock_guard q(messCS);
        messList << QStringLiteral("Ошибка записи в лог: ") + err;
    }
}

QStringList TOperationsLog::takeQueued() {
    std::lock_guard lock(messCS);
    QStringList out;
    out.swap(messList);
    return out;
}

void TOperationsLog::flushToView() {
    while (m_view.size() >= ViewCapacity)
        m_view.pop_back();
    for (const QString &line : takeQueued())
        m_view.push_front(line);
}

QString TOperationsLog::ArrayToString(const QByteArray &arr) {
    QString s = QLatin1Char('[') + QString::number(arr.size()) + QLatin1Char(']');
    for (unsigned char b : arr)
        s += QLatin1Char(' ') + QString::asprintf("%02X", b);
    return s;
}

// ---- process-wide instance

namespace {
std::mutex g_logMutex;
std::shared_ptr<TOperationsLog> g_log;
} // namespace

void InstallOperationsLog(std::shared_ptr<TOperationsLog> log) {
    std::lock_guard lock(g_logMutex);
    g_log = std::move(log);
}

TOperationsLog *OperationsLog() {
    std::lock_guard lock(g_logMutex);
    return g_log.get();
}

void LogOperations(const QString &mess, const QString &sender, int level) {
    std::shared_ptr<TOperationsLog> log;
    {
        std::lock_guard lock(g_logMutex);
        log = g_log;
    }
    if (log)
        log->LogOperations(mess, sender, level);
}
