#include "maps/MapDetailLoader.h"

#include "maps/MapJpeg.h"

#include <QMutexLocker>

TMapDetailLoader::TMapDetailLoader(QObject *context, TDeliver deliver)
    : m_context(context), m_deliver(std::move(deliver)) {}

TMapDetailLoader::~TMapDetailLoader() {
    {
        QMutexLocker lock(&m_mutex);
        m_stop = true;
        m_current = 0;
        m_wake.wakeAll();
    }
    wait();
}

quint64 TMapDetailLoader::request(const QString &fileName, const QRect &region, int eighths,
                                  quint64 mapTag) {
    QMutexLocker lock(&m_mutex);
    const quint64 serial = ++m_serial;
    m_next = TRequest{serial, fileName, region, eighths, mapTag};
    m_current = serial;
    m_wake.wakeAll();
    lock.unlock();
    if (!isRunning())
        start(QThread::LowPriority);
    return serial;
}

void TMapDetailLoader::cancel() {
    QMutexLocker lock(&m_mutex);
    m_next.reset();
    m_current = 0;
}

void TMapDetailLoader::run() {
    for (;;) {
        TRequest r;
        {
            QMutexLocker lock(&m_mutex);
            while (!m_stop && !m_next)
                m_wake.wait(&m_mutex);
            if (m_stop)
                return;
            r = *m_next;
            m_next.reset();
        }
        TMapDetail d;
        d.Serial = r.Serial;
        d.MapTag = r.MapTag;
        d.Eighths = r.Eighths;
        d.Ok = mapjpeg::decodeRegion(r.FileName, r.Region, r.Eighths, d.Image, d.Covered, d.Error,
                                     &m_current, r.Serial);
        // A superseded read stops without a result; a newer request is already waiting.
        if (m_current.load() != r.Serial)
            continue;
        QMetaObject::invokeMethod(
            m_context, [deliver = m_deliver, d]() { deliver(d); }, Qt::QueuedConnection);
    }
}
