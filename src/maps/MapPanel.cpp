#include "maps/MapPanel.h"

#include "app/Dialogs.h"
#include "app/Folders.h"
#include "app/FormatSettings.h"
#include "app/Logging.h"
#include "maps/MapLoadThread.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace {

bool isZero(const TGeoCoords &c) {
    return c.Latitude == 0 && c.Longitude == 0;
}

// The picture for parked track points and rest places: a white "P" on a blue plate; white
// around it is transparent.
QImage makeParkedImage() {
    QImage img(15, 15, QImage::Format_ARGB32);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        p.setPen(QColor(0, 0, 128));
        p.setBrush(QColor(0, 0, 192));
        p.drawRect(1, 1, 12, 12);
        p.setPen(QPen(Qt::white, 2));
        p.drawLine(5, 4, 5, 11);
        p.drawLine(5, 4, 8, 4);
        p.drawLine(8, 4, 9, 5);
        p.drawLine(9, 5, 9, 7);
        p.drawLine(9, 7, 5, 8);
    }
    for (int y = 0; y < img.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if ((line[x] & 0xFFFFFFu) == 0xFFFFFFu)
                line[x] = 0;
    }
    return img;
}

} // namespace

TMapPanel::TMapPanel(TDialogs &dialogs, QObject *parent)
    : QObject(parent), ImagesPath(AppDir()), m_layer(std::make_shared<TMapLayer>()),
      m_dialogs(dialogs) {
    m_layer->setParkedImage(makeParkedImage());
}

TMapPanel::~TMapPanel() {
    // Join every loader before the panel goes: their results are addressed to it.
    m_detailLoader.reset();
    for (TMapLoadThread *loader : m_loaders) {
        disconnect(loader, nullptr, this, nullptr);
        delete loader;
    }
    m_loaders.clear();
}

void TMapPanel::setSize(const QSize &size) {
    m_size = size;
}

bool TMapPanel::hasArea() const {
    return m_size.width() > 0 && m_size.height() > 0 && m_imageSize.width() > 0 &&
           m_imageSize.height() > 0 && !MapImage.isNull();
}

void TMapPanel::setEnabled(bool enabled) {
    if (m_enabled == enabled)
        return;
    m_enabled = enabled;
    emit enabledChanged(enabled);
}

// --- map list ---

int TMapPanel::AddMap(const QString &FileName) {
    Maps.append(TMapFileParser::Parse(FileName));
    m_bindings.append(Maps.back().ControlPoints);
    return int(Maps.size()) - 1;
}

void TMapPanel::GetMapsList(QStringList &list) const {
    list.clear();
    for (const TMapDescription &m : Maps)
        list << m.Name;
}

void TMapPanel::ClearMapsList() {
    Maps.clear();
    m_bindings.clear();
}

void TMapPanel::LoadMapFiles(const QStringList &files) {
    ClearMapsList();
    for (QString name : files) {
        name.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (QDir::isRelativePath(name))
            name = QDir(AppDir().isEmpty() ? QDir::currentPath() : AppDir()).filePath(name);
        try {
            AddMap(name);
        } catch (const std::exception &e) {
            m_dialogs.message(QString::fromUtf8(e.what()), QStringLiteral("Ошибка загрузки карты"),
                              TMsgIcon::Warning);
        }
    }
}

// --- opening ---

void TMapPanel::OpenMap(int MapIndex) {
    OpenMap(MapIndex, TGeoCoords{});
}

void TMapPanel::OpenMap(int MapIndex, const TGeoCoords &Coords) {
    emit OnStartOpenMap();
    const long double zoom =
        (isMapReady() && Coords.Latitude * Coords.Longitude != 0) ? CurrentZoom : 0;
    isMapOpened = false;
    isMapLoaded = false;
    m_caption = QStringLiteral("Загрузка карты...");
    CurrentMapIndex = -1;
    setEnabled(false);
    // From here on the result of any earlier load is stale, whether or not this one starts.
    const quint64 tag = ++m_loadTag;
    dropDetail();
    m_detailFile.clear();
    try {
        if (MapIndex < 0 || MapIndex >= Maps.size())
            throw std::runtime_error("Неверный индекс карты");
        const TMapDescription &map = Maps[MapIndex];
        if (!QFileInfo::exists(map.FileName))
            throw std::runtime_error(
                (QStringLiteral("Файл карты не найден: ") + map.FileName).toStdString());
        // The binding comes from the list; a map not yet bound is bound by its loader, away from
        // the main thread, and installed when the image arrives.
        if (m_bindings.state(MapIndex) == TMapBindings::TState::Failed)
            throw EMapBindingError();
        const TCoordsConverter *known = m_bindings.binding(MapIndex);
        m_layer->setBinding(known ? *known : TCoordsConverter());

        const quint64 generation = m_bindings.generation();
        auto *loader = new TMapLoadThread(tag, map.FileName, Coords, zoom, this,
                                          [this, generation, MapIndex](const TMapLoadResult &r) {
                                              applyLoad(r, generation, MapIndex);
                                          });
        if (!known)
            loader->setPointsToBind(map.ControlPoints);
        connect(loader, &QThread::finished, this, [this, loader]() { reapLoader(loader); });
        m_loaders.push_back(loader);
        loader->start(QThread::LowPriority);

        FisMapVisible = true;
        isMapOpened = true;
        CurrentMapIndex = MapIndex;
        if (known)
            for (const auto &obj : ObjectList)
                obj->UpdateCoords();
        loader->signalEvent();
        Repaint();
    } catch (const std::exception &e) {
        m_caption.clear();
        setEnabled(true);
        Repaint();
        m_dialogs.message(QString::fromUtf8(e.what()), QStringLiteral("Ошибка"), TMsgIcon::None);
    }
}

void TMapPanel::reapLoader(TMapLoadThread *loader) {
    auto it = std::find(m_loaders.begin(), m_loaders.end(), loader);
    if (it == m_loaders.end())
        return;
    m_loaders.erase(it);
    delete loader; // joins it
}

void TMapPanel::applyLoad(const TMapLoadResult &r, quint64 listGeneration, int mapIndex) {
    if (r.BindingDone)
        m_bindings.store(listGeneration, mapIndex, r.BindingOk, r.Binding);
    // A newer OpenMap has replaced this request: its image belongs to no map any more.
    if (r.Tag != m_loadTag || !isMapOpened || isMapLoaded)
        return;
    if (r.BindingDone) {
        if (!r.BindingOk) {
            FailToBind();
            return;
        }
        m_layer->setBinding(r.Binding);
        for (const auto &obj : ObjectList)
            obj->UpdateCoords();
    }
    if (r.Ok)
        PaintMap(r);
    else
        FailToLoadMap(r);
}

void TMapPanel::PaintMap(const TMapLoadResult &r) {
    MapImage = r.Image;
    m_imageSize = r.FullSize;
    m_imageDensity = double(MapImage.width()) / double(m_imageSize.width());
    m_detailFile =
        r.RegionsReadable && MapImage.width() < m_imageSize.width() ? r.FileName : QString();
    isMapLoaded = true;
    m_caption.clear();
    if (!isZero(r.Coords) && isCoordsInCurrentMap(r.Coords)) {
        MoveCamera(r.Coords);
        SetZoom(r.Zoom);
    } else {
        CameraCoords = TMapCoords{static_cast<long double>(m_imageSize.width() / 2),
                                  static_cast<long double>(m_imageSize.height() / 2)};
        SetZoom(0);
    }
    Repaint();
    setEnabled(true);
    emit OnEndOpenMap();
}

// As an opening that fails before its loader starts: no map, the panel usable again.
void TMapPanel::FailToBind() {
    isMapOpened = false;
    isMapLoaded = false;
    CurrentMapIndex = -1;
    m_caption.clear();
    setEnabled(true);
    Repaint();
    m_dialogs.message(EMapBindingError().message(), QStringLiteral("Ошибка"), TMsgIcon::None);
}

void TMapPanel::FailToLoadMap(const TMapLoadResult &r) {
    isMapOpened = false;
    isMapLoaded = false;
    CurrentMapIndex = -1;
    m_caption.clear();
    setEnabled(true);
    Repaint();
    const QString text = QStringLiteral("Невозможно загрузить изображение: ") + r.FileName;
    // One box at a time: a failure while one is open goes to the operations log.
    if (m_loadErrorShown) {
        LogOperations(text, QStringLiteral("MapPanel"), 0);
        return;
    }
    m_loadErrorShown = true;
    m_dialogs.message(text, QStringLiteral("Ошибка!"), TMsgIcon::Error);
    m_loadErrorShown = false;
}

// --- zoom and camera ---

void TMapPanel::SetZoom(long double x) {
    if (!isMapReady() || !hasArea())
        return;
    const long double smallest = (long double)std::max(m_size.width(), m_size.height()) /
                                 (long double)std::min(m_imageSize.width(), m_imageSize.height());
    if (x > MaxScalingFactor)
        x = MaxScalingFactor;
    if (x < smallest)
        x = smallest;
    CurrentZoom = x;
    FScalingFactor = 1 / x;
    emit zoomChanged(int(truncSnap(x * 100)));
}

void TMapPanel::ZoomIn() {
    SetZoom(CurrentZoom + ZoomStep);
}

void TMapPanel::ZoomOut() {
    SetZoom(CurrentZoom - ZoomStep);
}

long double TMapPanel::GetZoom() const {
    return isMapReady() ? CurrentZoom : 0;
}

QString TMapPanel::GetZoomStr() const {
    if (!isMapReady())
        return {};
    return TFormatSettings::current().formatFloat(double(100 / FScalingFactor), 2);
}

void TMapPanel::applyCameraLimits() {
    TMapViewport v = viewport();
    v.LimitCamera(m_imageSize);
    CameraCoords = v.camera();
}

void TMapPanel::MoveCamera(int dx, int dy) {
    if (!isMapReady())
        return;
    TMapViewport v = viewport();
    v.MoveCamera(dx, dy);
    CameraCoords = v.camera();
}

void TMapPanel::MoveCamera(const TGeoCoords &coords) {
    if (!isMapReady())
        return;
    CameraCoords = m_layer->binding().GeoToMap(coords);
}

void TMapPanel::MoveCamera(const TMapCoords &coords) {
    if (!isMapReady())
        return;
    CameraCoords = coords;
}

// --- conversions ---

TMapViewport TMapPanel::viewport() const {
    TMapViewport v(m_size, CameraCoords, CurrentZoom, m_layer->binding());
    v.setMapReady(isMapReady());
    v.setShowPointerToNotVisObj(FShowPointerToNotVisObj);
    v.setParkedImage(m_layer->parkedImage());
    return v;
}

TMapCoords TMapPanel::ScreenToMap(const QPoint &p) const {
    return viewport().ScreenToMap(p);
}

TGeoCoords TMapPanel::ScreenToGeo(int X, int Y) const {
    return viewport().ScreenToGeo(X, Y);
}

QPoint TMapPanel::MapToScreen(const TMapCoords &coords) const {
    return viewport().MapToScreen(coords);
}

TIntRect TMapPanel::GetView() const {
    return viewport().GetView();
}

// --- objects ---

TMapObject *TMapPanel::AddObject(std::unique_ptr<TMapObject> obj) {
    TMapObject *raw = obj.get();
    if (!raw)
        return nullptr;
    raw->setLayer(m_layer);
    ObjectList.push_back(std::move(obj));
    SortObjects();
    return raw;
}

void TMapPanel::RemoveObject(TMapObject *obj) {
    auto it = std::find_if(ObjectList.begin(), ObjectList.end(),
                           [obj](const auto &p) { return p.get() == obj; });
    if (it == ObjectList.end())
        return;
    ObjectList.erase(it);
    SortObjects();
}

void TMapPanel::RemoveAll() {
    ObjectList.clear();
}

void TMapPanel::SortObjects() {
    m_layer->takeOrderChanged();
    std::sort(ObjectList.begin(), ObjectList.end(),
              [](const auto &a, const auto &b) { return a->weight() < b->weight(); });
}

void TMapPanel::restoreOrder() const {
    if (m_layer->takeOrderChanged())
        const_cast<TMapPanel *>(this)->SortObjects();
}

const std::vector<std::unique_ptr<TMapObject>> &TMapPanel::objects() const {
    restoreOrder();
    return ObjectList;
}

void TMapPanel::setParkedImage(const QImage &image) {
    m_layer->setParkedImage(image);
}

void TMapPanel::ZoomTo(const TMapObject &obj) {
    if (!isMapReady())
        return;
    const TIntRect r = obj.GetMetrics();
    const int x = (r.Left + r.Right) / 2, y = (r.Top + r.Bottom) / 2;
    if (!(x > 0 && x < m_imageSize.width() && y > 0 && y < m_imageSize.height()))
        return;
    CameraCoords = TMapCoords{static_cast<long double>(x), static_cast<long double>(y)};
    const int extent = std::max(r.width(), r.height());
    long double zoom = 1;
    if (extent > 0)
        zoom = std::min<long double>(
            (long double)std::min(m_size.width(), m_size.height()) / extent, 1.0L);
    SetZoom(zoom);
}

// --- best map ---

bool TMapPanel::isCoordsInCurrentMap(const TGeoCoords &Coords) const {
    if (CurrentMapIndex < 0 || CurrentMapIndex >= Maps.size())
        return false;
    const TMapDescription &map = Maps[CurrentMapIndex];
    const TMapCoords m = m_layer->binding().GeoToMap(Coords);
    return m.X > 0 && m.X < map.Width && m.Y > 0 && m.Y < map.Height;
}

void TMapPanel::SelectBestFitMap(const TGeoCoords &Coords, bool MoveToCoords) {
    if (!isMapReady())
        return;
    int best = -1;
    long double bestScale = 10000;
    if (isCoordsInCurrentMap(Coords)) {
        best = CurrentMapIndex;
        bestScale = Maps[best].Scale;
    }
    for (int i = 0; i < Maps.size(); ++i) {
        const TMapDescription &map = Maps[i];
        // A map whose binding failed, or is still being computed, is passed over.
        const TCoordsConverter *binding = m_bindings.binding(i);
        if (!binding)
            continue;
        const TMapCoords m = binding->GeoToMap(Coords);
        if (m.X > 0 && m.X < map.Width && m.Y > 0 && m.Y < map.Height && map.Scale < bestScale) {
            best = i;
            bestScale = map.Scale;
        }
    }
    if (best >= 0 && best != CurrentMapIndex)
        OpenMap(best, MoveToCoords ? Coords : TGeoCoords{});
}

TMapDescription TMapPanel::GetCurrentMapDescription() const {
    if (CurrentMapIndex < 0 || CurrentMapIndex >= Maps.size())
        return {};
    return Maps[CurrentMapIndex];
}

// --- drawing ---

namespace {

void copyPixels(const QImage &from, QImage &to) {
    if (to.size() != from.size() || to.format() != from.format() ||
        to.bytesPerLine() != from.bytesPerLine()) {
        to = from.copy();
        return;
    }
    std::memcpy(to.bits(), from.constBits(), size_t(from.sizeInBytes()));
}

} // namespace

bool TMapPanel::TBackgroundKey::operator==(const TBackgroundKey &o) const {
    return image == o.image && detail == o.detail && size == o.size && cameraX == o.cameraX &&
           cameraY == o.cameraY && zoom == o.zoom && visible == o.visible;
}

void TMapPanel::drawBackground(QPainter &canvas, const TMapViewport &view) {
    canvas.fillRect(QRect(QPoint(0, 0), m_size), Qt::white);
    if (!FisMapVisible)
        return;
    // Smooth stretching, except far out where the plain one reads better and costs less.
    canvas.setRenderHint(QPainter::SmoothPixmapTransform, CurrentZoom >= 0.25L);
    const TIntRect v = view.GetView();
    const double d = m_imageDensity;
    canvas.drawImage(QRectF(0, 0, m_size.width(), m_size.height()), MapImage,
                     QRectF(v.Left * d, v.Top * d, v.width() * d, v.height() * d));
    // The detail over the part of the view it covers, placed by the same stretch.
    if (!m_detail.Image.isNull() && v.width() > 0 && v.height() > 0) {
        const QRectF shown(v.Left, v.Top, v.width(), v.height());
        const QRectF part = shown.intersected(m_detail.Covered);
        if (!part.isEmpty()) {
            const double sx = m_size.width() / shown.width(), sy = m_size.height() / shown.height();
            const double f = m_detail.Eighths / 8.0;
            canvas.drawImage(QRectF((part.left() - shown.left()) * sx,
                                    (part.top() - shown.top()) * sy, part.width() * sx,
                                    part.height() * sy),
                             m_detail.Image,
                             QRectF((part.left() - m_detail.Covered.left()) * f,
                                    (part.top() - m_detail.Covered.top()) * f, part.width() * f,
                                    part.height() * f));
        }
    }
    canvas.setRenderHint(QPainter::SmoothPixmapTransform, false);
}

void TMapPanel::updateDetail(const TMapViewport &view) {
    if (m_detailFile.isEmpty() || !FisMapVisible) {
        dropDetail();
        return;
    }
    // The scale the view needs, in eighths of the sheet's pixels, against the overview's.
    const int need = std::clamp(int(std::ceil(double(CurrentZoom) * 8 - 1e-6)), 1, 8);
    const int have = int(std::lround(m_imageDensity * 8));
    if (need <= have) {
        dropDetail();
        return;
    }
    const TIntRect v = view.GetView();
    const QRect sheet(QPoint(0, 0), m_imageSize);
    const QRect visible = QRect(v.Left, v.Top, v.width(), v.height()).intersected(sheet);
    if (visible.isEmpty())
        return;
    const auto covers = [&](const QRectF &c, int eighths) {
        return eighths >= need && c.contains(QRectF(visible));
    };
    if (!m_detail.Image.isNull() && covers(m_detail.Covered, m_detail.Eighths))
        return;
    if (m_detailPending && covers(QRectF(m_pendingRegion), m_pendingEighths))
        return;
    // The view and half a view around it, so that a short move needs no new reading.
    QRect region = visible
                       .adjusted(-visible.width() / 2, -visible.height() / 2, visible.width() / 2,
                                 visible.height() / 2)
                       .intersected(sheet);
    const auto pixels = [&](const QRect &r) {
        return qint64(r.width()) * need / 8 * (qint64(r.height()) * need / 8);
    };
    if (pixels(region) > MaxDetailPixels)
        region = visible;
    if (!m_detailLoader)
        m_detailLoader = std::make_unique<TMapDetailLoader>(
            this, [this](const TMapDetail &d) { applyDetail(d); });
    m_pendingRegion = region;
    m_pendingEighths = need;
    m_detailPending = true;
    m_detailSerial = m_detailLoader->request(m_detailFile, region, need, m_loadTag);
}

void TMapPanel::applyDetail(const TMapDetail &d) {
    // A newer request, or another map, has replaced this one.
    if (!m_detailPending || d.Serial != m_detailSerial || d.MapTag != m_loadTag || !isMapReady())
        return;
    m_detailPending = false;
    if (!d.Ok) {
        // The overview stays; the sheet is not read again for detail.
        LogOperations(QStringLiteral("Невозможно загрузить изображение: ") + m_detailFile +
                          QStringLiteral(" (") + d.Error + QLatin1Char(')'),
                      QStringLiteral("MapPanel"), 0);
        m_detailFile.clear();
        return;
    }
    m_detail = d;
    Repaint();
}

void TMapPanel::dropDetail() {
    m_detail = TMapDetail();
    if (m_detailPending && m_detailLoader)
        m_detailLoader->cancel();
    m_detailPending = false;
}

void TMapPanel::Draw(QPainter &target) {
    if (!isMapReady() || !hasArea())
        return;
    SetZoom(CurrentZoom);
    applyCameraLimits();
    restoreOrder();
    const TMapViewport view = viewport();
    updateDetail(view);

    if (Backbuffer.size() != m_size)
        Backbuffer = QImage(m_size, QImage::Format_RGB32);

    // The lower layers change far less often than the frame: the image as the view shows it,
    // and over it the leading objects whose pictures carry a stamp (the tracks) or that are
    // hidden. A layer is kept once two frames in a row have needed the same one (not while
    // the view moves), and copied while it stays the same.
    const TBackgroundKey bgKey{MapImage.cacheKey(),
                               m_detail.Image.cacheKey(),
                               m_size,
                               CameraCoords.X,
                               CameraCoords.Y,
                               CurrentZoom,
                               FisMapVisible};
    size_t lower = 0;
    std::vector<std::pair<const TMapObject *, quint64>> layerKey;
    for (; lower < ObjectList.size(); ++lower) {
        const TMapObject &obj = *ObjectList[lower];
        const quint64 stamp = obj.pictureStamp();
        if (stamp == 0 && obj.FisVisible)
            break;
        layerKey.emplace_back(&obj, obj.FisVisible ? stamp : 0);
    }

    {
        QPainter canvas(&Backbuffer);
        canvas.setRenderHint(QPainter::SmoothPixmapTransform, false);
        const bool bgSame = bgKey == m_lastBackgroundKey;
        const bool layerSame = bgSame && layerKey == m_lastLayerKey;
        if (layerSame && m_layerCached) {
            canvas.end();
            copyPixels(m_lowerLayers, Backbuffer);
            canvas.begin(&Backbuffer);
        } else {
            if (bgSame && m_backgroundCached) {
                canvas.end();
                copyPixels(m_background, Backbuffer);
                canvas.begin(&Backbuffer);
            } else {
                drawBackground(canvas, view);
                m_backgroundCached = bgSame;
                if (bgSame)
                    copyPixels(Backbuffer, m_background);
            }
            for (size_t i = 0; i < lower; ++i)
                if (ObjectList[i]->FisVisible)
                    ObjectList[i]->Draw(canvas, view);
            m_layerCached = layerSame;
            if (layerSame)
                copyPixels(Backbuffer, m_lowerLayers);
        }
        if (!bgSame) {
            m_backgroundCached = false;
            m_layerCached = false;
        }
        m_lastBackgroundKey = bgKey;
        m_lastLayerKey = std::move(layerKey);

        for (size_t i = lower; i < ObjectList.size(); ++i)
            if (ObjectList[i]->FisVisible)
                ObjectList[i]->Draw(canvas, view);
    }
    target.drawImage(0, 0, Backbuffer);
}

void TMapPanel::Paint(QPainter &target) {
    if (isMapReady() && hasArea()) {
        Draw(target);
        return;
    }
    if (m_size.isEmpty())
        return;
    const QRect r(QPoint(0, 0), m_size);
    target.fillRect(r, QColor(240, 240, 240));
    if (!m_caption.isEmpty()) {
        target.setPen(Qt::black);
        target.drawText(r, Qt::AlignCenter, m_caption);
    }
}

void TMapPanel::RepaintLive() {
    if (m_liveRepaint.isActive()) {
        m_liveRepaintPending = true;
        return;
    }
    if (!m_liveRepaint.isSingleShot()) {
        m_liveRepaint.setSingleShot(true);
        m_liveRepaint.setInterval(LiveRepaintMs);
        connect(&m_liveRepaint, &QTimer::timeout, this, [this] {
            if (!m_liveRepaintPending)
                return;
            m_liveRepaintPending = false;
            emit repaintRequested();
            m_liveRepaint.start();
        });
    }
    emit repaintRequested();
    m_liveRepaint.start();
}
