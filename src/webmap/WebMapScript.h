#pragma once

#include <QColor>
#include <QString>
#include <QVariant>
#include <QVariantList>

// Script texts for the web-map page. Every argument is written as a JSON literal, so a name
// with quotes, backslashes or line breaks reaches the page as the same text and can never
// become code. A call with a number that is not finite is not made (an empty text).
namespace webscript {

// A JSON string literal ("..." with quotes, backslashes, control characters, U+2028/U+2029
// and unpaired surrogates escaped).
QString jsonString(const QString &s);
// A finite number with "." as separator, shortest exact form; empty when not finite.
QString jsonNumber(double v);

// window[name](args...) when the page has a function of that name: a function the page lacks
// is no call at all. An error inside the page's function is the page's own: it stays uncaught,
// so the browser reports it with its message and line (shown or only logged as WebMapSilent
// says); the program never sees it. Arguments: double -> number, int/long -> integer, anything
// else -> string.
QString call(const QString &name, const QVariantList &args = {});

// The readiness probe: true only when window.RECMapReady exists and returns a true value.
QString readyCheck();

// The page's functions, positions in degrees.
QString init(double lat, double lng);
QString markers_clear();
// colour, "#rrggbb" from colourText, is the marker's colour by the map's marker-colour rule. It
// is appended as a sixth argument only when given: a page that knows five arguments ignores it
// and keeps its own colour.
QString marker_at(double lat, double lng, int number, const QString &shortName,
                  const QString &caption, const QString &colour = {});
// An object's marker flashes (on: a fuel drain nobody has confirmed yet) or stops; the page
// keeps the choice for a marker it places later. A page without the function shows nothing.
QString marker_alarm(int number, bool on);
QString go_to(double lat, double lng);
QString clear_track();
QString clear_park();
QString begin_track();
QString end_track();
QString put_point_ex(double lat, double lng, const QString &number, const QString &timeText,
                     const QString &speedText);
QString put_point(double lat, double lng);
QString add_park(double lat, double lng, const QString &descriptionHtml);
QString append_track_ex(double lat, double lng, const QString &number, const QString &timeText,
                        const QString &speedText);
QString append_track(double lat, double lng);
QString cleanup_current_track();
// The tool buttons "+", "–" and "Все" on the web map.
QString zoom_in();
QString zoom_out();
QString fit_all();

// "#rrggbb" for a valid colour, empty otherwise.
QString colourText(const QColor &c);

// "Данные от: <time as dd.mm.yy hh:nn:ss>", the caption of a marker.
QString markerCaption(double timeStamp);
// FormatFloat("0.", kmh) + " км/ч": the speed text of a track point.
QString speedText(double kmh);

} // namespace webscript
