#pragma once

#include "app/GeoTypes.h"
#include "maps/CoordsConverter.h"
#include "maps/MapFileParser.h"

#include <QImage>
#include <QObject>
#include <QSemaphore>
#include <QSize>
#include <QString>
#include <QThread>

#include <atomic>
#include <functional>

// What a loader hands back to the main thread.
struct TMapLoadResult {
    quint64 Tag = 0; // the request it answers; a newer request makes it stale
    QString FileName;
    TGeoCoords Coords;    // position to centre on, zero for none
    long double Zoom = 0; // zoom to restore, 0 for none
    bool Ok = false;
    QImage Image;   // decoded pixels, possibly reduced for a very large JPEG
    QSize FullSize; // the image's own size in pixels, which the map's binding refers to
    QString Error;  // decoder's reason when not Ok (for the log)
    // A JPEG sheet whose regions can be read from the file one at a time (one scan).
    bool RegionsReadable = false;

    // Set when the loader bound the map itself (its binding was not known yet). A binding that
    // fails leaves the image undecoded.
    bool BindingDone = false;
    bool BindingOk = false;
    TCoordsConverter Binding;
};

// Decodes one map image away from the main thread, binding the map first when asked to (the
// binding of a map not yet bound). It waits for its own event, which the opening code signals
// once it has installed the new map, and then posts the result to the main thread through the
// context object; it never touches the panel itself.
class TMapLoadThread : public QThread {
public:
    using TDeliver = std::function<void(const TMapLoadResult &)>;

    TMapLoadThread(quint64 tag, const QString &FileName, const TGeoCoords &Coords, long double Zoom,
                   QObject *context, TDeliver deliver);

    // Binds these points before decoding; call before start().
    void setPointsToBind(const TControlPoints &points) {
        m_bind = true;
        m_points = points;
    }
    ~TMapLoadThread() override;

    quint64 tag() const { return m_tag; }
    // The event the loader waits for before it hands its result over.
    void signalEvent() { EventHandle.release(); }

    // JPEG (".jpg", ".jpeg", any case) through libjpeg, streamed from the file and reduced by
    // 2, 4 or 8 while its pixel count exceeds maxDecodedPixels(); anything else as a Windows
    // bitmap.
    static bool DecodeImage(const QString &fileName, QImage &image, QSize &fullSize,
                            QString &error);

    static qint64 maxDecodedPixels();
    // For tests: a small limit shows the reduced decoding on a small image.
    static void setMaxDecodedPixels(qint64 pixels);

protected:
    void run() override;

private:
    quint64 m_tag;
    QString FileName;
    TGeoCoords Coords;
    long double Zoom;
    QSemaphore EventHandle;
    QObject *m_context; // outlives the loader: its owner joins the loader before it goes
    TDeliver m_deliver;
    bool m_bind = false;
    TControlPoints m_points;

    static std::atomic<qint64> s_maxDecodedPixels;
};
