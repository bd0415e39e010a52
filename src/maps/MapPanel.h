#pragma once

#include "app/GeoTypes.h"
#include "maps/CoordsConverter.h"
#include "maps/MapBindings.h"
#include "maps/MapDetailLoader.h"
#include "maps/MapFileParser.h"
#include "maps/MapObjects.h"
#include "maps/MapViewport.h"

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <memory>
#include <vector>

class TDialogs;
class TMapDetailLoader;
class TMapLoadThread;
struct TMapLoadResult;

// The raster-map view: the configured maps, the open one (its image decoded in a loader
// thread), a camera (the image point at the centre of the view) and a zoom (screen pixels per
// image pixel), the conversions between screen, image and geographic coordinates, the choice
// of the most detailed map for a position, and the drawing of the map with its objects on
// any QPainter. A widget hosts it: it passes its size, paints through Paint() and repaints on
// repaintRequested().
class TMapPanel : public QObject {
    Q_OBJECT
public:
    static constexpr long double ZoomStep = 0.1L;
    static constexpr long double MaxScalingFactor = 4.0L; // the largest zoom

    // The dialogs show the load and binding errors.
    explicit TMapPanel(TDialogs &dialogs, QObject *parent = nullptr);
    ~TMapPanel() override;

    // The size of the hosting widget in screen pixels.
    void setSize(const QSize &size);
    QSize size() const { return m_size; }

    // Map list. AddMap throws the parser's errors. Each listed map is bound once, in a worker
    // thread; the binding is kept until the list is cleared.
    int AddMap(const QString &FileName);
    void GetMapsList(QStringList &list) const;
    void ClearMapsList();
    const QVector<TMapDescription> &maps() const { return Maps; }
    // Rebuilds the list from the settings' map files (relative names are taken from the
    // program folder); a file that fails is reported as "Ошибка загрузки карты" and skipped.
    void LoadMapFiles(const QStringList &files);

    void OpenMap(int MapIndex);
    void OpenMap(int MapIndex, const TGeoCoords &Coords);

    void ZoomIn();
    void ZoomOut();
    void SetZoom(long double x);
    long double GetZoom() const; // 0 while no map is ready
    QString GetZoomStr() const;  // percent with two decimals, empty while no map is ready

    void MoveCamera(int dx, int dy); // screen pixels
    void MoveCamera(const TGeoCoords &coords);
    void MoveCamera(const TMapCoords &coords); // image pixels

    // The view as it stands: size, camera, zoom, binding and the objects' drawing options.
    // Draw builds one per frame, after the zoom and camera limits, and hands it to every object.
    TMapViewport viewport() const;
    // The viewport's conversions with the current view.
    TGeoCoords ScreenToGeo(int X, int Y) const;
    QPoint MapToScreen(const TMapCoords &coords) const;
    TMapCoords ScreenToMap(const QPoint &p) const;
    TIntRect GetView() const; // the visible part of the image

    // The panel owns its objects and keeps them sorted by weight.
    TMapObject *AddObject(std::unique_ptr<TMapObject> obj);
    template <class T, class... Args> T *CreateObject(Args &&...args) {
        auto obj = std::make_unique<T>(std::forward<Args>(args)...);
        T *raw = obj.get();
        AddObject(std::move(obj));
        return raw;
    }
    void RemoveObject(TMapObject *obj); // frees it
    void RemoveAll();
    void SortObjects();
    // In drawing order (a weight changed since is put in its place first).
    const std::vector<std::unique_ptr<TMapObject>> &objects() const;

    void ZoomTo(const TMapObject &obj);
    void SelectBestFitMap(const TGeoCoords &Coords, bool MoveToCoords);
    bool isCoordsInCurrentMap(const TGeoCoords &Coords) const;
    TMapDescription GetCurrentMapDescription() const;

    // Draws the map and its objects into the off-screen buffer and copies it onto target.
    // Nothing happens unless a map is ready and both the panel and the image have an area.
    void Draw(QPainter &target);
    // The plain panel (with its caption) unless a map is ready, otherwise Draw.
    void Paint(QPainter &target);
    // Asks the host to repaint.
    void Repaint() { emit repaintRequested(); }
    // A repaint for live news (markers moved): the first at once, the rest of a burst once
    // at the end of a pause of LiveRepaintMs, so any rate of packets costs a few frames a second.
    void RepaintLive();
    static constexpr int LiveRepaintMs = 250;
    QImage &GetSurface() { return Backbuffer; }

    const TCoordsConverter &coordsConverter() const { return m_layer->binding(); }
    int currentMapIndex() const { return CurrentMapIndex; }
    bool mapOpened() const { return isMapOpened; }
    bool mapLoaded() const { return isMapLoaded; }
    bool isMapReady() const { return isMapOpened && isMapLoaded; }
    bool mapVisible() const { return FisMapVisible; }
    void setMapVisible(bool v) { FisMapVisible = v; }
    TMapCoords cameraCoords() const { return CameraCoords; }
    long double scalingFactor() const { return FScalingFactor; }
    // The open image's own size in pixels (the binding's pixels).
    QSize imageSize() const { return m_imageSize; }
    const QImage &mapImage() const { return MapImage; }
    QString caption() const { return m_caption; }
    bool isEnabled() const { return m_enabled; }
    // Loaders not yet finished and joined (a superseded one runs to its end and is dropped).
    int pendingLoads() const { return int(m_loaders.size()); }
    // The listed maps' bindings; the best-map choice passes over a map not yet bound.
    const TMapBindings &bindings() const { return m_bindings; }

    // A large JPEG sheet is shown from its reduced overview; where the view needs more, the
    // frame asks for the region it shows (and half a view around it) at the scale it needs,
    // read from the file in the background, and the next frames show it once it is there.
    // The detail shown (none when the overview is enough), and whether one is being read.
    const TMapDetail &detail() const { return m_detail; }
    bool detailPending() const { return m_detailPending; }
    // The most pixels one region's detail may take.
    static constexpr qint64 MaxDetailPixels = 24LL * 1024 * 1024;

    // For map objects: markers' border pointers, handed to them through the viewport.
    bool FShowPointerToNotVisObj = true;
    // The picture of parked points and rest places (white is transparent), handed to the
    // objects through their layer and the viewport.
    const QImage &parkedImage() const { return m_layer->parkedImage(); }
    void setParkedImage(const QImage &image);
    QString ImagesPath;

signals:
    void OnStartOpenMap();
    void OnEndOpenMap();
    void repaintRequested();
    void enabledChanged(bool enabled);
    // What an attached zoom field shows: trunc(zoom * 100).
    void zoomChanged(int percent);

private:
    void setEnabled(bool enabled);
    void applyCameraLimits();
    void applyLoad(const TMapLoadResult &r, quint64 listGeneration, int mapIndex);
    void FailToBind();
    void PaintMap(const TMapLoadResult &r);
    void FailToLoadMap(const TMapLoadResult &r);
    void reapLoader(TMapLoadThread *loader);
    void restoreOrder() const;
    void drawBackground(QPainter &canvas, const TMapViewport &view);
    void updateDetail(const TMapViewport &view);
    void applyDetail(const TMapDetail &d);
    void dropDetail();

    // What the image layer of a frame depends on.
    struct TBackgroundKey {
        qint64 image = 0;
        qint64 detail = 0;
        QSize size;
        long double cameraX = 0, cameraY = 0, zoom = 0;
        bool visible = false;
        bool operator==(const TBackgroundKey &o) const;
    };
    bool hasArea() const;

    QImage MapImage;
    int CurrentMapIndex = -1;
    QVector<TMapDescription> Maps;
    std::vector<TMapLoadThread *> m_loaders; // every loader not yet joined, newest last
    quint64 m_loadTag = 0;                   // the request whose result may still be applied
    TMapBindings m_bindings;                 // one per entry of Maps
    std::shared_ptr<TMapLayer> m_layer;      // the binding and the order the objects share
    bool isMapOpened = false;
    bool isMapLoaded = false;
    bool FisMapVisible = false;
    TMapCoords CameraCoords;
    QImage Backbuffer;
    // The lower layers of the last frames (see Draw).
    TBackgroundKey m_lastBackgroundKey;
    std::vector<std::pair<const TMapObject *, quint64>> m_lastLayerKey;
    QImage m_background, m_lowerLayers;
    bool m_backgroundCached = false, m_layerCached = false;
    long double FScalingFactor = 1;
    long double CurrentZoom = 1;
    std::vector<std::unique_ptr<TMapObject>> ObjectList;

    QSize m_size;
    QSize m_imageSize;         // the image's own size
    double m_imageDensity = 1; // decoded pixels per image pixel (below 1 for a reduced JPEG)
    QString m_caption;
    bool m_enabled = true;
    TDialogs &m_dialogs;
    bool m_loadErrorShown = false; // a load error box is open; further ones go to the log

    QString m_detailFile; // the open sheet, when its regions can be read for detail
    std::unique_ptr<TMapDetailLoader> m_detailLoader;
    TMapDetail m_detail;
    bool m_detailPending = false;
    quint64 m_detailSerial = 0; // the request whose result is wanted
    QRect m_pendingRegion;
    int m_pendingEighths = 0;
    QTimer m_liveRepaint; // single shot: the pause after a live repaint
    bool m_liveRepaintPending = false;
};
