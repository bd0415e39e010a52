// A schematic map that needs no map service: positions are drawn on an SVG plane in an
// equirectangular view around the current centre. It offers every function the program calls.
// Names and times are always inserted as text; only a stop's description uses <br> for lines.
(function () {
  'use strict';
  var NS = 'http://www.w3.org/2000/svg';
  var state = {
    ready: false,
    center: { lat: 0, lng: 0 },
    scale: 2000, // pixels per degree
    markers: {}, // object number -> {lat, lng, name, caption}
    track: [], // finished track points
    live: [], // the live track
    parks: [],
    inTrack: false
  };
  window.webMapState = state; // for inspection

  var svg, layers = {};

  function el(name, attrs, parent) {
    var e = document.createElementNS(NS, name);
    for (var k in attrs) e.setAttribute(k, attrs[k]);
    if (parent) parent.appendChild(e);
    return e;
  }
  function num(v) { v = Number(v); return isFinite(v) ? v : 0; }
  function xy(lat, lng) {
    var w = svg.clientWidth || 800, h = svg.clientHeight || 600;
    var k = Math.cos(state.center.lat * Math.PI / 180);
    return { x: w / 2 + (lng - state.center.lng) * state.scale * k,
             y: h / 2 - (lat - state.center.lat) * state.scale };
  }

  function drawLine(points, cls, parent) {
    if (points.length === 0) return;
    var d = points.map(function (p) { var q = xy(p.lat, p.lng); return q.x + ',' + q.y; });
    el('polyline', { points: d.join(' '), 'class': cls }, parent);
  }

  function redraw() {
    if (!svg) return;
    for (var k in layers) while (layers[k].firstChild) layers[k].removeChild(layers[k].firstChild);
    drawLine(state.track, 'track', layers.track);
    drawLine(state.live, 'live', layers.track);
    state.track.concat(state.live).forEach(function (p) {
      if (p.time === undefined) return;
      var q = xy(p.lat, p.lng);
      var c = el('circle', { cx: q.x, cy: q.y, r: 2, 'class': 'point' }, layers.track);
      el('title', {}, c).textContent = p.number + ' ' + p.time + ' ' + p.speed;
    });
    state.parks.forEach(function (p) {
      var q = xy(p.lat, p.lng);
      var c = el('rect', { x: q.x - 4, y: q.y - 4, width: 8, height: 8, 'class': 'park' },
                 layers.parks);
      el('title', {}, c).textContent = p.lines.join('\n');
    });
    Object.keys(state.markers).forEach(function (n) {
      var m = state.markers[n];
      var q = xy(m.lat, m.lng);
      var g = el('g', { 'class': 'marker' }, layers.markers);
      el('circle', { cx: q.x, cy: q.y, r: 5 }, g);
      var t = el('text', { x: q.x + 8, y: q.y - 8 }, g);
      t.textContent = m.name;
      el('title', {}, g).textContent = m.name + '\n' + m.caption;
    });
    var info = document.getElementById('info');
    if (info) info.textContent = state.center.lat.toFixed(6) + ', ' + state.center.lng.toFixed(6);
  }

  function point(lat, lng, number, time, speed) {
    return { lat: num(lat), lng: num(lng), number: number, time: time, speed: speed };
  }

  window.init = function (lat, lng) {
    svg = document.getElementById('map');
    ['track', 'parks', 'markers'].forEach(function (n) { layers[n] = el('g', {}, svg); });
    state.center = { lat: num(lat), lng: num(lng) };
    var drag = null;
    svg.addEventListener('mousedown', function (e) { drag = { x: e.clientX, y: e.clientY }; });
    window.addEventListener('mouseup', function () { drag = null; });
    svg.addEventListener('mousemove', function (e) {
      if (!drag) return;
      var k = Math.cos(state.center.lat * Math.PI / 180) || 1;
      state.center.lng -= (e.clientX - drag.x) / (state.scale * k);
      state.center.lat += (e.clientY - drag.y) / state.scale;
      drag = { x: e.clientX, y: e.clientY };
      redraw();
    });
    svg.addEventListener('wheel', function (e) {
      state.scale *= e.deltaY < 0 ? 1.25 : 0.8;
      redraw();
      e.preventDefault();
    });
    window.addEventListener('resize', redraw);
    state.ready = true;
    redraw();
  };
  window.RECMapReady = function () { return state.ready; };
  window.markers_clear = function () { state.markers = {}; redraw(); };
  window.marker_at = function (lat, lng, number, name, caption) {
    state.markers[String(number)] =
        { lat: num(lat), lng: num(lng), name: String(name), caption: String(caption) };
    redraw();
  };
  window.go_to = function (lat, lng) { state.center = { lat: num(lat), lng: num(lng) }; redraw(); };
  window.clear_track = function () { state.track = []; state.live = []; redraw(); };
  window.clear_park = function () { state.parks = []; redraw(); };
  window.begin_track = function () { state.inTrack = true; state.track = []; };
  window.end_track = function () { state.inTrack = false; redraw(); };
  window.put_point_ex = function (lat, lng, number, time, speed) {
    state.track.push(point(lat, lng, String(number), String(time), String(speed)));
    if (!state.inTrack) redraw();
  };
  window.put_point = function (lat, lng) {
    state.track.push(point(lat, lng));
    if (!state.inTrack) redraw();
  };
  window.add_park = function (lat, lng, description) {
    state.parks.push({ lat: num(lat), lng: num(lng), lines: String(description).split(/<br\s*\/?>/i) });
    if (!state.inTrack) redraw();
  };
  window.append_track_ex = function (lat, lng, number, time, speed) {
    state.live.push(point(lat, lng, String(number), String(time), String(speed)));
    redraw();
  };
  window.append_track = function (lat, lng) { state.live.push(point(lat, lng)); redraw(); };
  window.cleanup_current_track = function () { state.live = []; redraw(); };
})();
