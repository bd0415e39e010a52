// The web map's page code, shared by every page of the program folder's webmap/ (each page only
// names its tile layer and calls webMapPage). The program drives the page through the global
// functions below, with plain arguments: positions in degrees, everything else text (the object
// number of marker_at is an integer).
//
// Functions the program calls:
//   init(lat, lng)                   creates the map centred there; RECMapReady() is then true
//   RECMapReady()                    true once init has run
//   markers_clear()                  removes every object marker
//   marker_at(lat, lng, number, name, caption[, colour])
//                                    places or moves object number's marker; name is its label,
//                                    caption the "Данные от: ..." text; colour "#rrggbb" is the
//                                    marker's colour (left out by older callers: the colour stays)
//   go_to(lat, lng)                  centres the map there, keeping the zoom
//   clear_track(), clear_park()      remove the drawn tracks (loaded and live) / the rest places
//   begin_track(), end_track()       bracket the drawing of a loaded track
//   put_point_ex(lat, lng, number, time, speed)   a point of the loaded track with its data
//   put_point(lat, lng)              the position of a stop on the loaded track
//   add_park(lat, lng, description)  a rest place; in description only "<br>" is markup
//   append_track_ex(lat, lng, number, time, speed), append_track(lat, lng)
//                                    a point appended to the live track of the active object
//   cleanup_current_track()          the appends that follow redraw the newest part of the live
//                                    track: points they draw again are dropped, not doubled, so
//                                    the live track builds up packet by packet
//   zoom_in(), zoom_out(), fit_all() the tool buttons "+", "–" and "Все"
//
// Every name, caption and time is inserted as text, never as markup. Without a network the tile
// layer stays empty and the map still shows its plain background, a graticule and a scale bar.
(function () {
  'use strict';

  var DEFAULT_ZOOM = 12;
  var MAX_ZOOM = 19;
  var MARKER_COLOUR = '#0000ff';
  var TRACK_COLOUR = '#1f5fd6';
  var LIVE_COLOUR = '#d01010';
  var COLOUR_RE = /^#[0-9a-fA-F]{6}$/;

  var tiles = null; // the page's tile layer settings
  var wm = {
    ready: false,
    map: null,
    markers: {}, // object number -> {marker, dot, label, lat, lng, name, caption}
    alarms: {}, // object number -> true while its marker flashes
    markerLayer: null,
    track: null, // the loaded track's line
    trackPoints: null, // its points with their data
    live: null, // the live track's line
    livePoints: null,
    liveInfo: [], // per live point: {lat, lng, key (time) or null}
    parkLayer: null,
    graticule: null,
    tileLayer: null,
    inTrack: false,
    pendingTrack: [],
    cleanupPending: false,
    cleanupBase: 0
  };
  // The page's state, for the program's tests and for debugging.
  window.webMap = wm;

  function num(v) {
    v = Number(v);
    return isFinite(v) ? v : NaN;
  }
  function position(lat, lng) {
    lat = num(lat);
    lng = num(lng);
    if (isNaN(lat) || isNaN(lng) || Math.abs(lat) > 90 || Math.abs(lng) > 180) return null;
    return L.latLng(lat, lng);
  }
  function text(v) {
    return v === undefined || v === null ? '' : String(v);
  }
  function element(tag, className, content) {
    var e = document.createElement(tag);
    if (className) e.className = className;
    if (content !== undefined) e.textContent = content;
    return e;
  }
  // "dd.mm.yy hh:nn:ss" as a number that orders like the time; null for anything else.
  function timeKey(t) {
    var m = /^(\d\d)\.(\d\d)\.(\d\d) (\d\d):(\d\d):(\d\d)$/.exec(text(t));
    if (!m) return null;
    return ((((+m[3] * 100 + +m[2]) * 100 + +m[1]) * 100 + +m[4]) * 100 + +m[5]) * 100 + +m[6];
  }

  // ---- the graticule: lines of latitude and longitude under the tiles, labelled in degrees
  // and minutes, so a map without tiles can still be read.
  var STEPS = [45, 30, 20, 10, 5, 2, 1, 30 / 60, 20 / 60, 10 / 60, 5 / 60, 2 / 60, 1 / 60,
               30 / 3600, 20 / 3600, 10 / 3600, 5 / 3600, 2 / 3600, 1 / 3600];

  function formatAngle(v, step, pos, neg) {
    var a = Math.abs(v);
    var total = Math.round(a * 3600);
    var d = Math.floor(total / 3600), m = Math.floor(total % 3600 / 60), s = total % 60;
    var out = d + '°';
    if (step < 1 || m || s) out += (m < 10 ? '0' : '') + m + '′';
    if (step < 1 / 60 || s) out += (s < 10 ? '0' : '') + s + '″';
    if (total === 0) return out;
    return out + ' ' + (v > 0 ? pos : neg);
  }

  var Graticule = L.Layer.extend({
    onAdd: function (map) {
      if (!map.getPane('graticule')) {
        var pane = map.createPane('graticule');
        pane.style.zIndex = 150; // under the tiles: loaded tiles cover it
        pane.style.pointerEvents = 'none';
      }
      this._canvas = L.DomUtil.create('canvas', 'wm-graticule', map.getPane('graticule'));
      map.on('move moveend zoomend resize viewreset', this._draw, this);
      map.on('zoomstart', this._hide, this);
      this._draw();
    },
    onRemove: function (map) {
      map.off('move moveend zoomend resize viewreset', this._draw, this);
      map.off('zoomstart', this._hide, this);
      L.DomUtil.remove(this._canvas);
    },
    _hide: function () {
      this._canvas.style.visibility = 'hidden';
    },
    _draw: function () {
      var map = this._map, c = this._canvas;
      if (!map) return;
      var size = map.getSize();
      var ratio = window.devicePixelRatio || 1;
      c.width = Math.max(1, Math.round(size.x * ratio));
      c.height = Math.max(1, Math.round(size.y * ratio));
      c.style.width = size.x + 'px';
      c.style.height = size.y + 'px';
      c.style.visibility = '';
      L.DomUtil.setPosition(c, map.containerPointToLayerPoint([0, 0]));
      var g = c.getContext('2d');
      g.setTransform(ratio, 0, 0, ratio, 0, 0);
      g.clearRect(0, 0, size.x, size.y);
      if (size.x < 2 || size.y < 2) return;

      var nw = map.containerPointToLatLng([0, 0]);
      var se = map.containerPointToLatLng([size.x, size.y]);
      var degPerPx = Math.abs(se.lng - nw.lng) / size.x;
      var step = STEPS[0];
      for (var i = 0; i < STEPS.length; ++i) {
        if (STEPS[i] / degPerPx >= 110) step = STEPS[i];
      }
      var centre = map.getCenter();
      g.lineWidth = 1;
      g.strokeStyle = 'rgba(90, 105, 120, 0.55)';
      g.font = '11px "DejaVu Sans", Arial, sans-serif';
      g.textBaseline = 'bottom';
      var label = function (t, x, y, align) {
        g.textAlign = align;
        g.lineWidth = 3;
        g.strokeStyle = 'rgba(255, 255, 255, 0.9)';
        g.strokeText(t, x, y);
        g.fillStyle = '#3c4650';
        g.fillText(t, x, y);
        g.lineWidth = 1;
        g.strokeStyle = 'rgba(90, 105, 120, 0.55)';
      };
      var lat0 = Math.ceil(Math.max(-85, se.lat) / step) * step;
      for (var lat = lat0; lat <= Math.min(85, nw.lat); lat += step) {
        var y = Math.round(map.latLngToContainerPoint([lat, centre.lng]).y) + 0.5;
        g.beginPath();
        g.moveTo(0, y);
        g.lineTo(size.x, y);
        g.stroke();
        label(formatAngle(lat, step, 'с.ш.', 'ю.ш.'), size.x - 6, y - 2, 'right');
      }
      var lng0 = Math.ceil(nw.lng / step) * step;
      for (var lng = lng0; lng <= se.lng; lng += step) {
        var x = Math.round(map.latLngToContainerPoint([centre.lat, lng]).x) + 0.5;
        g.beginPath();
        g.moveTo(x, 0);
        g.lineTo(x, size.y);
        g.stroke();
        var wrapped = ((lng + 180) % 360 + 360) % 360 - 180;
        label(formatAngle(wrapped, step, 'в.д.', 'з.д.'), x + 4, 16, 'left');
      }
    }
  });

  // The scale bar in metres and kilometres, written in Russian.
  var Scale = L.Control.Scale.extend({
    _updateMetric: function (maxMeters) {
      var meters = this._getRoundNum(maxMeters);
      var label = meters < 1000 ? meters + ' м' : meters / 1000 + ' км';
      this._updateScale(this._mScale, label, meters / maxMeters);
    }
  });

  // ---- the map

  function createMap(lat, lng) {
    var container = document.getElementById('map');
    var map = L.map(container, {
      center: [lat, lng],
      zoom: DEFAULT_ZOOM,
      maxZoom: MAX_ZOOM,
      minZoom: 2,
      preferCanvas: true,
      zoomControl: false,
      attributionControl: false
    });
    L.control.zoom({ zoomInTitle: 'Приблизить', zoomOutTitle: 'Отдалить' }).addTo(map);
    new Scale({ imperial: false, maxWidth: 160 }).addTo(map);
    // Plain text: a link would take the embedded browser away from the map.
    L.control.attribution({ prefix: 'Leaflet' }).addTo(map);
    wm.graticule = new Graticule().addTo(map);
    if (tiles && tiles.url) {
      // Tiles come from the network when there is one; a tile that fails stays hidden and
      // shows the background and the graticule.
      wm.tileLayer = L.tileLayer(tiles.url, {
        attribution: tiles.attribution || '',
        subdomains: tiles.subdomains || 'abc',
        maxNativeZoom: tiles.maxZoom || 18,
        maxZoom: MAX_ZOOM
      }).addTo(map);
    }
    wm.parkLayer = L.layerGroup().addTo(map);
    wm.track = L.polyline([], { color: TRACK_COLOUR, weight: 3, opacity: 0.85 }).addTo(map);
    wm.trackPoints = L.layerGroup().addTo(map);
    wm.live = L.polyline([], { color: LIVE_COLOUR, weight: 3, opacity: 0.9 }).addTo(map);
    wm.livePoints = L.layerGroup().addTo(map);
    wm.markerLayer = L.layerGroup().addTo(map);
    wm.map = map;
  }

  function ensureMap() {
    if (!wm.map) createMap(51.690754, 39.269037);
    return wm.map;
  }

  // A track point's data, shown when the pointer is over it.
  function pointTooltip(number, time, speed) {
    return function () {
      var box = element('div', 'wm-point');
      box.appendChild(element('div', 'wm-point-number', 'Объект: ' + number));
      box.appendChild(element('div', '', time));
      box.appendChild(element('div', '', speed));
      return box;
    };
  }
  function pointDot(ll, colour, number, time, speed) {
    return L.circleMarker(ll, {
      radius: 3, color: colour, weight: 1, fillColor: '#ffffff', fillOpacity: 1
    }).bindTooltip(pointTooltip(text(number), text(time), text(speed)), { direction: 'top' });
  }

  function setMarkerLook(m) {
    m.label.textContent = m.name !== '' ? m.name : String(m.number);
    m.icon.classList.toggle('wm-alarm', !!wm.alarms[m.number]);
    m.dot.style.backgroundColor = m.colour;
    m.icon.title = m.name + '\n' + m.caption;
    if (m.marker.getPopup()) m.marker.setPopupContent(markerPopup(m));
  }
  function markerPopup(m) {
    var box = element('div', 'wm-popup');
    box.appendChild(element('div', 'wm-popup-name', m.name !== '' ? m.name : String(m.number)));
    box.appendChild(element('div', 'wm-popup-caption', m.caption));
    return box;
  }

  // The rest place's description: text lines separated by "<br>", the one piece of markup.
  function parkContent(description) {
    var box = element('div', 'wm-park-text');
    text(description).split(/<br\s*\/?>/i).forEach(function (line, i, all) {
      if (line === '' && i === all.length - 1) return;
      if (box.childNodes.length) box.appendChild(document.createElement('br'));
      box.appendChild(document.createTextNode(line));
    });
    return box;
  }

  function flushTrack() {
    if (wm.pendingTrack.length) {
      var all = wm.track.getLatLngs().concat(wm.pendingTrack);
      wm.track.setLatLngs(all);
      wm.pendingTrack = [];
    }
  }
  function addTrackPoint(ll) {
    if (wm.inTrack) wm.pendingTrack.push(ll);
    else wm.track.addLatLng(ll);
  }

  // cleanup_current_track: the appends that follow redraw the live track from some point on.
  // The first of them with a time tells from where: the points drawn before the cleanup that
  // are later than it, or are that same point, are drawn again and are dropped here; earlier
  // points stay, so the track builds up. Points without a time that come first (after a point
  // without a fix) are kept and wait for that decision.
  function startAppend(ll, key) {
    if (!wm.cleanupPending || key === null) return;
    wm.cleanupPending = false;
    var info = wm.liveInfo;
    var base = Math.min(wm.cleanupBase, info.length);
    var cut = -1, timed = false;
    for (var i = base - 1; i >= 0; --i) {
      var p = info[i];
      if (p.key === null) continue;
      timed = true;
      var same = p.lat === ll.lat && p.lng === ll.lng;
      if (p.key < key || (p.key === key && !same)) {
        cut = i + 1;
        break;
      }
    }
    if (cut < 0) cut = timed ? 0 : base;
    if (cut >= base) return;
    info.splice(cut, base - cut).forEach(function (p) {
      if (p.dot) wm.livePoints.removeLayer(p.dot);
    });
    var lls = wm.live.getLatLngs();
    lls.splice(cut, base - cut);
    wm.live.setLatLngs(lls);
  }
  function appendLive(ll, key, dot) {
    wm.liveInfo.push({ lat: ll.lat, lng: ll.lng, key: key, dot: dot });
    wm.live.addLatLng(ll);
    if (dot) wm.livePoints.addLayer(dot);
  }

  // ---- the functions the program calls

  window.webMapPage = function (tileSettings) {
    tiles = tileSettings || null;
  };

  window.init = function (lat, lng) {
    var ll = position(lat, lng) || L.latLng(51.690754, 39.269037);
    if (!wm.map) createMap(ll.lat, ll.lng);
    else wm.map.setView(ll, wm.map.getZoom(), { animate: false });
    wm.ready = true;
  };

  window.RECMapReady = function () {
    return wm.ready;
  };

  // An object's marker flashes until the program stops it (a fuel drain not yet confirmed);
  // the choice outlives markers_clear, so a marker placed again flashes on.
  window.marker_alarm = function (number, on) {
    var key = text(number);
    if (Number(on)) wm.alarms[key] = true;
    else delete wm.alarms[key];
    var m = wm.markers[key];
    if (m) setMarkerLook(m);
  };

  window.markers_clear = function () {
    ensureMap();
    wm.markerLayer.clearLayers();
    wm.markers = {};
  };

  window.marker_at = function (lat, lng, number, name, caption, colour) {
    ensureMap();
    var ll = position(lat, lng);
    if (!ll) return;
    var key = text(number);
    var m = wm.markers[key];
    if (!m) {
      var icon = element('div', 'wm-marker');
      var dot = element('span', 'wm-dot');
      var label = element('span', 'wm-label');
      icon.appendChild(dot);
      icon.appendChild(label);
      m = { number: key, icon: icon, dot: dot, label: label, colour: MARKER_COLOUR };
      m.marker = L.marker(ll, {
        icon: L.divIcon({ html: icon, className: 'wm-marker-icon', iconSize: [14, 14],
                          iconAnchor: [7, 7], popupAnchor: [0, -8] }),
        keyboard: false
      });
      m.marker.bindPopup(function () { return markerPopup(m); });
      wm.markers[key] = m;
      wm.markerLayer.addLayer(m.marker);
    } else {
      m.marker.setLatLng(ll);
    }
    m.lat = ll.lat;
    m.lng = ll.lng;
    m.name = text(name);
    m.caption = text(caption);
    if (COLOUR_RE.test(text(colour))) m.colour = text(colour).toLowerCase();
    setMarkerLook(m);
  };

  window.go_to = function (lat, lng) {
    var map = ensureMap();
    var ll = position(lat, lng);
    if (ll) map.setView(ll, map.getZoom(), { animate: false });
  };

  window.clear_track = function () {
    ensureMap();
    wm.track.setLatLngs([]);
    wm.trackPoints.clearLayers();
    wm.pendingTrack = [];
    wm.live.setLatLngs([]);
    wm.livePoints.clearLayers();
    wm.liveInfo = [];
    wm.cleanupPending = false;
  };

  window.clear_park = function () {
    ensureMap();
    wm.parkLayer.clearLayers();
  };

  window.begin_track = function () {
    ensureMap();
    flushTrack();
    wm.inTrack = true;
  };

  window.end_track = function () {
    ensureMap();
    wm.inTrack = false;
    flushTrack();
  };

  window.put_point_ex = function (lat, lng, number, time, speed) {
    ensureMap();
    var ll = position(lat, lng);
    if (!ll) return;
    addTrackPoint(ll);
    wm.trackPoints.addLayer(pointDot(ll, TRACK_COLOUR, number, time, speed));
  };

  window.put_point = function (lat, lng) {
    ensureMap();
    var ll = position(lat, lng);
    if (ll) addTrackPoint(ll);
  };

  window.add_park = function (lat, lng, description) {
    ensureMap();
    var ll = position(lat, lng);
    if (!ll) return;
    var icon = L.divIcon({ html: element('div', 'wm-park', 'P'), className: 'wm-park-icon',
                           iconSize: [18, 18], iconAnchor: [9, 9] });
    var park = L.marker(ll, { icon: icon, keyboard: false });
    park.bindPopup(parkContent(description));
    park.bindTooltip(parkContent(description), { direction: 'top', offset: [0, -8] });
    wm.parkLayer.addLayer(park);
  };

  window.append_track_ex = function (lat, lng, number, time, speed) {
    ensureMap();
    var ll = position(lat, lng);
    if (!ll) return;
    var key = timeKey(time);
    startAppend(ll, key);
    appendLive(ll, key, pointDot(ll, LIVE_COLOUR, number, time, speed));
  };

  window.append_track = function (lat, lng) {
    ensureMap();
    var ll = position(lat, lng);
    if (!ll) return;
    startAppend(ll, null);
    appendLive(ll, null, null);
  };

  window.cleanup_current_track = function () {
    ensureMap();
    wm.cleanupPending = true;
    wm.cleanupBase = wm.liveInfo.length;
  };

  window.zoom_in = function () {
    ensureMap().zoomIn();
  };

  window.zoom_out = function () {
    ensureMap().zoomOut();
  };

  // Everything drawn in view: the markers, the tracks and the rest places.
  window.fit_all = function () {
    var map = ensureMap();
    var b = L.latLngBounds([]);
    Object.keys(wm.markers).forEach(function (k) {
      b.extend(wm.markers[k].marker.getLatLng());
    });
    [wm.track, wm.live].forEach(function (line) {
      if (line.getLatLngs().length) b.extend(line.getBounds());
    });
    wm.parkLayer.eachLayer(function (p) {
      b.extend(p.getLatLng());
    });
    if (!b.isValid()) return;
    map.fitBounds(b, { padding: [40, 40], maxZoom: 16, animate: false });
  };
})();
