#include "tracks/TrackAnalysis.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "app/Options.h"
#include "tracks/FileManager.h"

TTrackSettings TTrackSettings::fromOptions(const TOptions &o) {
    return {o.MinSpeed, o.MaxSpeed, o.RestMinTime};
}

namespace {

// Whole days plus the time of day rounded to the millisecond, as CoordSpeed takes them.
long long toMilliseconds(TDateTime t) {
    const double days = std::trunc(t);
    const long long timeMs = std::llround(std::fabs(t - days) * dt::MsPerDay);
    return static_cast<long long>(days) * 86400000LL + (t < 0 ? -timeMs : timeMs);
}

long long msBetween(TDateTime a, TDateTime b) {
    return std::llabs(toMilliseconds(a) - toMilliseconds(b));
}

enum class TMode { Undetermined, Moving, Stopped };

// The six-sample rule over samples first..last; moving(k) classes sample k.
template <class Moving> ArrayTracks divideSamples(int first, int last, int points, Moving moving) {
    ArrayTracks parts{TTrackPart{false, 0, -1}};
    TMode mode = TMode::Undetermined;
    int m = 0, s = 0;
    int startMove = 0, startStop = 0, lastMove = 0, lastStop = 0;
    for (int k = first; k <= last; ++k) {
        if (moving(k)) {
            if (m == 0)
                startMove = k;
            s = 0;
            if (m <= 4) {
                ++m;
                continue;
            }
            if (mode == TMode::Undetermined) {
                parts.back().moving = true;
            } else if (mode == TMode::Stopped) {
                parts.back().eind = lastStop;
                parts.push_back(TTrackPart{true, startMove, -1});
            }
            lastMove = k;
            mode = TMode::Moving;
        } else {
            if (s == 0)
                startStop = k;
            m = 0;
            if (s <= 4) {
                ++s;
                continue;
            }
            if (mode == TMode::Undetermined) {
                parts.back().moving = false;
            } else if (mode == TMode::Moving) {
                parts.back().eind = lastMove;
                parts.push_back(TTrackPart{false, startStop, -1});
            }
            lastStop = k;
            mode = TMode::Stopped;
        }
    }
    parts.back().eind = points - 1;
    parts.back().moving = mode != TMode::Stopped;
    return parts;
}

} // namespace

int64_t WholeSecondsBetween(TDateTime a, TDateTime b) {
    return msBetween(a, b) / 1000;
}

long double PairSpeed(long double metres, const TCoordData &A, const TCoordData &B) {
    const long double s = roundHalfEven(static_cast<long double>(msBetween(A.ts, B.ts)) / 1000);
    return (metres / 1000) / (s / 3600);
}

int64_t PartSeconds(const std::vector<TCoordData> &track, const TTrackPart &part) {
    const int n = static_cast<int>(track.size());
    if (part.bind < 0 || part.eind < 0 || part.bind >= n || part.eind >= n)
        return 0;
    return WholeSecondsBetween(track[size_t(part.eind)].ts, track[size_t(part.bind)].ts);
}

ArrayTracks SeparateTrackC(const std::vector<TCoordData> &track, int MinSpeed) {
    TTrackSettings s;
    s.MinSpeed = MinSpeed;
    return TTrackAnalysis(track, s).separateBySpeed();
}

ArrayTracks SeparateTrackE(const std::vector<TCoordData> &track) {
    const int n = static_cast<int>(track.size());
    return divideSamples(0, n - 1, n, [&](int k) { return track[size_t(k)].g24 == 1; });
}

void FoldShortStops(ArrayTracks &parts, const std::vector<TCoordData> &track, int RestMinTime) {
    size_t i = 0;
    while (i < parts.size()) {
        const TTrackPart p = parts[i];
        if (p.moving || PartSeconds(track, p) / 60 >= RestMinTime) {
            ++i;
            continue;
        }
        const bool last = i + 1 == parts.size();
        if (i > 0 && !last) {
            parts[i - 1].eind = parts[i + 1].eind;
            parts.erase(parts.begin() + long(i), parts.begin() + long(i) + 2);
        } else if (i > 0) {
            parts[i - 1].eind = p.eind;
            parts.erase(parts.begin() + long(i));
        } else if (!last) {
            parts[1].bind = p.bind;
            parts.erase(parts.begin());
        } else {
            ++i; // the only part stays
        }
    }
}

TTrackAnalysis::TTrackAnalysis(const std::vector<TCoordData> &track, const TTrackSettings &settings)
    : m_track(track), m_settings(settings) {}

void TTrackAnalysis::measureAll() {
    if (m_measured)
        return;
    const size_t n = m_track.size();
    m_distance.resize(n > 0 ? n - 1 : 0);
    for (size_t j = 0; j + 1 < n; ++j)
        m_distance[j] = CoordDistance(m_track[j], m_track[j + 1]);
    m_measured = true;
}

long double TTrackAnalysis::pairDistance(int j) {
    measureAll();
    return m_distance[size_t(j)];
}

ArrayTracks TTrackAnalysis::separateBySpeed() {
    measureAll();
    const int n = static_cast<int>(m_track.size());
    const long double minSpeed = m_settings.MinSpeed;
    return divideSamples(1, n - 1, n, [&](int k) {
        const long double v =
            PairSpeed(m_distance[size_t(k - 1)], m_track[size_t(k - 1)], m_track[size_t(k)]);
        return v > minSpeed; // infinity moves, NaN stands
    });
}

ArrayTracks TTrackAnalysis::divide(bool byEngine) {
    ArrayTracks parts = byEngine ? separateByEngine() : separateBySpeed();
    FoldShortStops(parts, m_track, m_settings.RestMinTime);
    return parts;
}

long double TTrackAnalysis::run(const TTrackPart &part) {
    if (!part.moving || part.eind <= part.bind || part.bind < 0 ||
        part.eind >= static_cast<int>(m_track.size()))
        return 0;
    measureAll();
    const long double maxSpeed = m_settings.MaxSpeed;
    long double metres = 0;
    for (int j = part.bind; j < part.eind; ++j) {
        const long double d = m_distance[size_t(j)];
        if (PairSpeed(d, m_track[size_t(j)], m_track[size_t(j + 1)]) < maxSpeed)
            metres += d;
    }
    return metres / 1000;
}

long double TTrackAnalysis::avgSpeed(const TTrackPart &part) {
    if (!part.moving)
        return 0;
    const int n = static_cast<int>(m_track.size());
    if (part.bind < 0 || part.eind < 0 || part.bind >= n || part.eind >= n)
        return 0;
    const long double seconds =
        roundHalfEven(static_cast<long double>(
                          msBetween(m_track[size_t(part.eind)].ts, m_track[size_t(part.bind)].ts)) /
                      1000);
    const long double v = run(part) / (seconds / 3600);
    return std::isfinite(v) ? v : 0;
}

long double TrackRunKm(const std::vector<TCoordData> &track, const TTrackSettings &settings) {
    TTrackAnalysis a(track, settings);
    long double km = 0;
    for (const TTrackPart &p : a.divide(false))
        km += a.run(p);
    return km;
}

std::vector<TCoordData> LoadTrackPeriod(TFManager &fmngr, const QString &folder, TDateTime start,
                                        TDateTime end) {
    return std::move(fmngr.form_track(folder, start, end)->coords);
}

QString SecondsTo_hhh_mm_ss(int64_t sec) {
    return QString::asprintf("%lld:%02lld:%02lld", static_cast<long long>(sec / 3600),
                             static_cast<long long>((sec % 3600) / 60),
                             static_cast<long long>(sec % 60));
}

QString DHMStoHMS(const QString &DHMS) {
    int pos = 0;
    const auto fail = [&]() {
        return std::runtime_error(
            (QStringLiteral("Mistake of transformation of format DHMS in HMS (") + DHMS.mid(pos) +
             QLatin1Char(')'))
                .toStdString());
    };
    // The next number up to a "-"; pos moves past the separator.
    const auto number = [&]() {
        const int dash = DHMS.indexOf(QLatin1Char('-'), pos);
        if (dash < 0)
            throw fail();
        bool ok = false;
        const qlonglong v = DHMS.mid(pos, dash - pos).toLongLong(&ok);
        if (!ok)
            throw fail();
        pos = dash + 1;
        return v;
    };
    const qlonglong days = number();
    const qlonglong hours = number();
    const qlonglong minutes = number();
    const QString seconds = DHMS.mid(pos);
    const auto pad = [](const QString &t) { return t.size() < 2 ? QLatin1Char('0') + t : t; };
    return pad(QString::number(days * 24 + hours)) + QLatin1Char(':') +
           pad(QString::number(minutes)) + QLatin1Char(':') + pad(seconds);
}
