#include "maps/UManagedItem.h"

#include "maps/MapObjects.h"
#include "maps/MapPanel.h"
#include "tracks/CoordsUtils.h"

#include <QGuiApplication>
#include <QPalette>

#include <cmath>
#include <numbers>
#include <stdexcept>

namespace {

bool isZero(const TGeoCoords &c) {
    return c.Latitude == 0 && c.Longitude == 0;
}

// A record that was never given a position or a time (the item's initial one).
bool isEmpty(const TDataRecord &r) {
    return r.FTimeStamp == 0 && isZero(r.FCoords);
}

TPositionSnapshot snapshotOf(const TDataRecord &r) {
    TPositionSnapshot s;
    s.TimeStamp = r.FTimeStamp;
    s.Coords = r.FCoords;
    s.Status = r.Status;
    s.GPSLost = r.FGPSLost;
    return s;
}

} // namespace

TManagedItem::TManagedItem(int32_t ANumber, const QColor &MarkerColor, const QColor &TrackColor,
                           const QColor &LostTrackColor, TMapPanel *AMapPanel)
    : FMapPanel(AMapPanel) {
    if (!AMapPanel)
        throw std::invalid_argument("TManagedItem needs a map panel");
    FDescription.Number = ANumber;
    const QString text = QString::number(ANumber);

    const QPalette pal = QGuiApplication::palette();
    FTextLabel = AMapPanel->CreateObject<TMapLabel>();
    FTextLabel->FSize = LabelSize;
    FTextLabel->FColor = pal.color(QPalette::ToolTipText);
    FTextLabel->FBackColor = pal.color(QPalette::ToolTipBase);
    FTextLabel->FText = text;

    FMarker = AMapPanel->CreateObject<TMarker>();
    FMarker->FSize = MarkerSize;
    FMarker->FColor = MarkerColor;
    FMarker->SetObjType(HeadingArrow);
    FMarker->FText = text;

    FTrack = AMapPanel->CreateObject<TTrack>();
    FTrack->FSize = TrackWidth;
    FTrack->FColor = TrackColor;
    FTrack->FLostColor = LostTrackColor;
    FTrack->SetObjType(0);

    SetVisible(true);
}

TManagedItem::~TManagedItem() {
    if (!FMapPanel)
        return;
    FMapPanel->RemoveObject(FTrack);
    FMapPanel->RemoveObject(FMarker);
    FMapPanel->RemoveObject(FTextLabel);
}

void TManagedItem::SetCurrent(const TDataRecord &Value) {
    const TDataRecord old = FCurrent;
    // The initial record is no predecessor: a speed from it would be a distance to 0°/0°.
    if (!isEmpty(old)) {
        const long double d = GeoDistance(Value.FCoords, old.FCoords);
        const long long ms =
            std::llround(std::fabs(double(Value.FTimeStamp - old.FTimeStamp)) * 86400000.0);
        if (ms >= 2)
            FSpeed = d * 3600 / ms;
    }

    FCurrent = Value;
    turnMarker(Value.FCoords);

    if (!FMapPanel)
        return;
    const TPositionSnapshot s = snapshotOf(Value);
    FMarker->SetPosition(s);
    FTextLabel->SetPosition(s);
    FTrack->AddPoint(s);
}

void TManagedItem::MoveCurrent(const TGeoCoords &coords, TDateTime time) {
    FCurrent.FCoords = coords;
    FCurrent.FTimeStamp = time;
    turnMarker(coords);
    if (!FMapPanel)
        return;
    const TPositionSnapshot s = snapshotOf(FCurrent);
    FMarker->SetPosition(s);
    FTextLabel->SetPosition(s);
}

void TManagedItem::turnMarker(const TGeoCoords &to) {
    if (!FMapPanel)
        return;
    // The first position gives no direction; it only becomes the point to measure from.
    if (isZero(FPrevCoords)) {
        FPrevCoords = to;
        return;
    }
    // The marker's own layer holds the binding it is placed with.
    const TCoordsConverter &binding = FMarker->layer()->binding();
    const TMapCoords a = binding.GeoToMap(FPrevCoords);
    const TMapCoords b = binding.GeoToMap(to);
    const float dx = float(b.X - a.X), dy = float(b.Y - a.Y);
    if (!(std::sqrt(dx * dx + dy * dy) > MinHeadingMove))
        return;
    long double angle;
    if (dx == 0)
        angle = dy > 0 ? std::numbers::pi_v<long double> / 2
                       : (dy < 0 ? -std::numbers::pi_v<long double> / 2 : 0);
    else {
        angle = std::atan((long double)dy / dx);
        if (dx < 0)
            angle += std::numbers::pi_v<long double>;
    }
    FMarker->FAngle = angle;
    FPrevCoords = to;
}

void TManagedItem::SetVisible(bool Value) {
    FVisible = Value;
    if (!FMapPanel)
        return;
    FMarker->FisVisible = Value;
    FTrack->FisVisible = Value;
    FTextLabel->FisVisible = Value;
}

void TManagedItem::SetConnected(bool Value) {
    FConnected = Value;
    if (Value)
        FLastConnected = dt::now();
    else
        FLastDisconnected = dt::now();
}
