#pragma once

#include <QImage>
#include <QMutex>
#include <QObject>
#include <QRect>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <functional>
#include <optional>

// The detail of one region of a large JPEG sheet, read from its file at the scale a view needs.
struct TMapDetail {
    quint64 Serial = 0; // the request it answers
    quint64 MapTag = 0; // the map load it belongs to
    bool Ok = false;
    QImage Image;
    QRectF Covered;  // the part of the sheet the image shows, in the sheet's pixels
    int Eighths = 0; // decoded pixels per eight sheet pixels
    QString Error;
};

// Reads regions of large JPEG sheets away from the main thread, one at a time. Only the newest
// request matters: a request replaces one that waits, and stops one being read at its next
// piece. Results are posted to the main thread through the context object; the loader never
// touches the panel. The owner destroys the loader (which joins it) before the context goes.
class TMapDetailLoader : public QThread {
public:
    using TDeliver = std::function<void(const TMapDetail &)>;

    TMapDetailLoader(QObject *context, TDeliver deliver);
    ~TMapDetailLoader() override;

    // Returns the request's serial.
    quint64 request(const QString &fileName, const QRect &region, int eighths, quint64 mapTag);
    // Drops what waits and stops what is being read.
    void cancel();

protected:
    void run() override;

private:
    struct TRequest {
        quint64 Serial;
        QString FileName;
        QRect Region;
        int Eighths;
        quint64 MapTag;
    };

    QObject *m_context;
    TDeliver m_deliver;
    QMutex m_mutex;
    QWaitCondition m_wake;
    std::optional<TRequest> m_next;
    bool m_stop = false;
    quint64 m_serial = 0;
    std::atomic<quint64> m_current{0}; // the one request whose result is still wanted
};
