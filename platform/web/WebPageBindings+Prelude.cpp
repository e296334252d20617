// The script half of the DOM bindings: wrappers, events, window, document, location and timers,
// written over the natives of WebPageBindings.cpp. Compiled once per process to bytecode.
#include "platform/web/WebPageBindings.h"

namespace platform {

const char* WebPageBindings::preludeSource() {
    return R"JS(
(function (N, G) {
var W = {};
var ET = {}, NodeProto, ElementProto, TextProto;
function report(err) { N.log(3, 'uncaught: ' + String(err && err.stack || err)); }
function wrap(id) {
  if (!id) return null;
  var w = W[id];
  if (w) return w;
  var t = N.type(id);
  if (t === 9) return document;
  if (t === 0) return null;
  w = Object.create(t === 1 ? ElementProto : TextProto);
  Object.defineProperty(w, '__id', { value: id });
  W[id] = w;
  return w;
}
function idOf(x) { return x && typeof x === 'object' && x.__id ? x.__id : 0; }
function list(ids) {
  var out = [];
  for (var i = 0; i < ids.length; i++) out.push(wrap(ids[i]));
  out.item = function (i) { return this[i] || null; };
  return out;
}
function prop(o, name, get, set) {
  Object.defineProperty(o, name, { get: get, set: set || function () {}, configurable: true, enumerable: true });
}
function Ev(type, bubbles, cancelable) {
  this.type = String(type); this.bubbles = !!bubbles; this.cancelable = !!cancelable;
  this.defaultPrevented = false; this.target = null; this.currentTarget = null; this.timeStamp = Date.now();
}
Ev.prototype.initEvent = function (t, b, c) { this.type = String(t); this.bubbles = !!b; this.cancelable = !!c; };
Ev.prototype.preventDefault = function () { if (this.cancelable) this.defaultPrevented = true; };
Ev.prototype.stopPropagation = function () { this.__stop = true; };
Ev.prototype.stopImmediatePropagation = function () { this.__stop = this.__stopImm = true; };
function invoke(node, e) {
  e.currentTarget = node;
  var a = node.__l && node.__l[e.type];
  if (a) {
    a = a.slice();
    for (var i = 0; i < a.length; i++) {
      try { var f = a[i]; if (typeof f === 'function') f.call(node, e); else f.handleEvent(e); } catch (err) { report(err); }
      if (e.__stopImm) return;
    }
  }
  var h = node['on' + e.type];
  // Handler attributes; the window's live on the body element.
  var holder = node === G ? N.part(2) : node.__id;
  if (typeof h !== 'function' && holder && N.hasAttr(holder, 'on' + e.type)) {
    try { h = new Function('event', N.attr(holder, 'on' + e.type)); } catch (err) { report(err); h = null; }
  }
  if (typeof h === 'function') {
    try { if (h.call(node, e) === false) e.defaultPrevented = true; } catch (err) { report(err); }
  }
}
function dispatch(target, e) {
  e.target = target;
  var path = [target];
  if (e.bubbles && target !== G) {
    var p = target.__id ? N.parent(target.__id) : 0;
    while (p) { path.push(wrap(p)); p = N.parent(p); }
    if (path[path.length - 1] === document) path.push(G);
  }
  for (var i = 0; i < path.length && !e.__stop; i++) invoke(path[i], e);
  return !e.defaultPrevented;
}
ET.addEventListener = function (type, fn) {
  if (typeof fn !== 'function' && !(fn && typeof fn.handleEvent === 'function')) return;
  if (!this.__l) Object.defineProperty(this, '__l', { value: {} });
  var a = this.__l[type] || (this.__l[type] = []);
  if (a.indexOf(fn) < 0) a.push(fn);
};
ET.removeEventListener = function (type, fn) {
  var a = this.__l && this.__l[type];
  if (!a) return;
  var i = a.indexOf(fn);
  if (i >= 0) a.splice(i, 1);
};
ET.dispatchEvent = function (e) { return dispatch(this, e); };

NodeProto = Object.create(ET);
prop(NodeProto, 'nodeType', function () { return N.type(this.__id); });
prop(NodeProto, 'parentNode', function () { return wrap(N.parent(this.__id)); });
prop(NodeProto, 'parentElement', function () { var p = N.parent(this.__id); return p && N.type(p) === 1 ? wrap(p) : null; });
prop(NodeProto, 'nextSibling', function () { return wrap(N.sibling(this.__id, 1)); });
prop(NodeProto, 'previousSibling', function () { return wrap(N.sibling(this.__id, -1)); });
prop(NodeProto, 'childNodes', function () { return list(N.children(this.__id, false)); });
prop(NodeProto, 'firstChild', function () { var c = N.children(this.__id, false); return wrap(c[0]); });
prop(NodeProto, 'lastChild', function () { var c = N.children(this.__id, false); return wrap(c[c.length - 1]); });
prop(NodeProto, 'ownerDocument', function () { return document; });
prop(NodeProto, 'textContent', function () { return N.text(this.__id); }, function (v) { N.setText(this.__id, String(v)); });
NodeProto.appendChild = function (c) { if (!N.insert(this.__id, idOf(c), 0)) throw new Error('HierarchyRequestError'); return c; };
NodeProto.insertBefore = function (c, ref) { if (!N.insert(this.__id, idOf(c), idOf(ref))) throw new Error('HierarchyRequestError'); return c; };
NodeProto.removeChild = function (c) { if (!N.remove(this.__id, idOf(c))) throw new Error('NotFoundError'); return c; };
NodeProto.replaceChild = function (n, old) { this.insertBefore(n, old); return this.removeChild(old); };
NodeProto.contains = function (o) { return !!o && N.contains(this.__id, idOf(o)); };
NodeProto.hasChildNodes = function () { return N.children(this.__id, false).length > 0; };

TextProto = Object.create(NodeProto);
prop(TextProto, 'data', function () { return N.text(this.__id); }, function (v) { N.setText(this.__id, String(v)); });
prop(TextProto, 'nodeValue', function () { return N.text(this.__id); }, function (v) { N.setText(this.__id, String(v)); });
prop(TextProto, 'nodeName', function () { return N.type(this.__id) === 3 ? '#text' : '#comment'; });

ElementProto = Object.create(NodeProto);
function reflect(name, attr) {
  prop(ElementProto, name, function () { var v = N.attr(this.__id, attr); return v === null ? '' : v; },
       function (v) { N.setAttr(this.__id, attr, String(v)); });
}
reflect('id', 'id'); reflect('className', 'class'); reflect('name', 'name'); reflect('type', 'type');
reflect('value', 'value'); reflect('alt', 'alt'); reflect('target', 'target'); reflect('rel', 'rel');
reflect('action', 'action'); reflect('method', 'method'); reflect('title', 'title');
function urlProp(name) {
  prop(ElementProto, name, function () { return N.resolvedAttr(this.__id, name); },
       function (v) { N.setAttr(this.__id, name, String(v)); });
}
urlProp('src'); urlProp('href');
function sizeProp(name, axis) {
  prop(ElementProto, name, function () { return N.size(this.__id, axis); },
       function (v) { N.setAttr(this.__id, name, String(v)); });
}
sizeProp('width', 0); sizeProp('height', 1);
prop(ElementProto, 'naturalWidth', function () { return N.size(this.__id, 2); });
prop(ElementProto, 'naturalHeight', function () { return N.size(this.__id, 3); });
prop(ElementProto, 'complete', function () { return N.size(this.__id, 4) > 0; });
prop(ElementProto, 'tagName', function () { return N.tag(this.__id); });
prop(ElementProto, 'nodeName', function () { return N.tag(this.__id); });
prop(ElementProto, 'children', function () { return list(N.children(this.__id, true)); });
prop(ElementProto, 'innerHTML', function () { return N.html(this.__id, false); }, function (v) { N.setHTML(this.__id, String(v)); });
prop(ElementProto, 'outerHTML', function () { return N.html(this.__id, true); });
prop(ElementProto, 'innerText', function () { return N.innerText(this.__id); }, function (v) { N.setText(this.__id, String(v)); });
prop(ElementProto, 'style', function () {
  if (this.__style) return this.__style;
  var id = this.__id;
  var s = new Proxy({}, {
    get: function (t, k) {
      if (k === 'cssText') return N.attr(id, 'style') || '';
      if (k === 'setProperty') return function (n, v) { N.styleSet(id, String(n), String(v)); };
      if (k === 'getPropertyValue') return function (n) { return N.styleGet(id, String(n)); };
      if (k === 'removeProperty') return function (n) { N.styleSet(id, String(n), ''); };
      if (typeof k !== 'string') return undefined;
      return N.styleGet(id, k);
    },
    set: function (t, k, v) {
      if (k === 'cssText') N.setAttr(id, 'style', String(v));
      else if (typeof k === 'string') N.styleSet(id, k, v === null || v === undefined ? '' : String(v));
      return true;
    }
  });
  Object.defineProperty(this, '__style', { value: s });
  return s;
}, function (v) { N.setAttr(this.__id, 'style', String(v)); });
ElementProto.getAttribute = function (n) { return N.attr(this.__id, String(n)); };
ElementProto.setAttribute = function (n, v) { N.setAttr(this.__id, String(n), String(v)); };
ElementProto.removeAttribute = function (n) { N.removeAttr(this.__id, String(n)); };
ElementProto.hasAttribute = function (n) { return N.hasAttr(this.__id, String(n)); };
ElementProto.getElementsByTagName = function (t) { return list(N.byTag(this.__id, String(t))); };
ElementProto.getElementsByClassName = function (c) { return list(N.byClass(this.__id, String(c))); };
ElementProto.querySelectorAll = function (s) { return list(N.query(this.__id, String(s))); };
ElementProto.querySelector = function (s) { return wrap(N.query(this.__id, String(s))[0]); };
ElementProto.focus = ElementProto.blur = function () {};
ElementProto.getBoundingClientRect = function () {
  var w = N.size(this.__id, 0), h = N.size(this.__id, 1);
  return { left: 0, top: 0, right: w, bottom: h, width: w, height: h, x: 0, y: 0 };
};
ElementProto.click = function () {
  var e = new Ev('click', true, true);
  if (!dispatch(this, e)) return;
  var id = this.__id;
  while (id && N.type(id) === 1) {
    var t = N.tag(id);
    if (t === 'A' || t === 'AREA') {
      if (N.hasAttr(id, 'href')) N.navigate(N.resolvedAttr(id, 'href'), 0);
      return;
    }
    if (t === 'INPUT' || t === 'BUTTON') {
      var ty = (N.attr(id, 'type') || (t === 'BUTTON' ? 'submit' : '')).toLowerCase();
      if (ty === 'submit') { var f = id; while (f && N.tag(f) !== 'FORM') f = N.parent(f); if (f) submit(f); }
      return;
    }
    id = N.parent(id);
  }
};
function submit(formId) {
  var e = new Ev('submit', true, true);
  if (dispatch(wrap(formId), e)) N.submit(formId);
}
ElementProto.submit = function () { if (N.tag(this.__id) === 'FORM') N.submit(this.__id); };

var cookie = '';
var DocProto = Object.create(NodeProto);
var document = Object.create(DocProto);
prop(document, 'nodeName', function () { return '#document'; });
prop(document, 'readyState', function () { return N.readyState(); });
prop(document, 'documentElement', function () { return wrap(N.part(0)); });
prop(document, 'head', function () { return wrap(N.part(1)); });
prop(document, 'body', function () { return wrap(N.part(2)); });
prop(document, 'title', function () { return N.title(); });
prop(document, 'URL', function () { return N.href(); });
prop(document, 'referrer', function () { return ''; });
prop(document, 'defaultView', function () { return G; });
prop(document, 'cookie', function () { return cookie; }, function (v) {
  var kv = String(v).split(';')[0], eq = kv.indexOf('=');
  if (eq < 0) return;
  var k = kv.substring(0, eq).trim(), parts = cookie ? cookie.split('; ') : [], out = [];
  for (var i = 0; i < parts.length; i++) if (parts[i].split('=')[0] !== k) out.push(parts[i]);
  out.push(k + '=' + kv.substring(eq + 1).trim());
  cookie = out.join('; ');
});
document.createElement = function (t) { return wrap(N.create(String(t), 1)); };
document.createTextNode = function (t) { return wrap(N.create(String(t), 3)); };
document.createComment = function (t) { return wrap(N.create(String(t), 8)); };
document.createDocumentFragment = function () { return wrap(N.create('div', 1)); };
document.getElementById = function (i) { return wrap(N.byId(String(i))); };
document.getElementsByTagName = function (t) { return list(N.byTag(0, String(t))); };
document.getElementsByClassName = function (c) { return list(N.byClass(0, String(c))); };
document.querySelectorAll = function (s) { return list(N.query(0, String(s))); };
document.querySelector = function (s) { return wrap(N.query(0, String(s))[0]); };
document.createEvent = function () { return new Ev('', false, false); };
document.write = function () { N.write(Array.prototype.join.call(arguments, '')); };
document.writeln = function () { N.write(Array.prototype.join.call(arguments, '') + '\n'); };
document.open = document.close = function () {};
document.hasFocus = function () { return true; };

var loc = {};
prop(loc, 'href', function () { return N.href(); }, function (v) { N.navigate(String(v), 5); });
['protocol', 'host', 'hostname', 'port', 'pathname', 'search', 'hash', 'origin'].forEach(function (k) {
  prop(loc, k, function () { return N.urlPart(k); });
});
loc.assign = function (u) { N.navigate(String(u), 5); };
loc.replace = function (u) { N.navigate(String(u), 5); };
loc.reload = function () { N.navigate(N.href(), 3); };
loc.toString = function () { return N.href(); };
function setLocation(v) { N.navigate(String(v), 5); }
prop(document, 'location', function () { return loc; }, setLocation);

for (var k in ET) G[k] = ET[k];
G.window = G; G.self = G; G.top = G; G.parent = G; G.frames = G;
G.document = document;
Object.defineProperty(G, 'location', { get: function () { return loc; }, set: setLocation, configurable: false });
G.navigator = { userAgent: '', platform: 'iPhone', language: 'en-US', languages: ['en-US'],
  cookieEnabled: true, onLine: true, appName: 'Netscape', vendor: 'Apple Computer, Inc.' };
prop(G, 'innerWidth', function () { return N.viewport(0); });
prop(G, 'innerHeight', function () { return N.viewport(1); });
prop(G, 'devicePixelRatio', function () { return N.viewport(2); });
prop(G, 'outerWidth', function () { return N.viewport(0); });
prop(G, 'outerHeight', function () { return N.viewport(1); });
G.screen = {};
prop(G.screen, 'width', function () { return N.viewport(0); });
prop(G.screen, 'height', function () { return N.viewport(1); });
prop(G.screen, 'availWidth', function () { return N.viewport(0); });
prop(G.screen, 'availHeight', function () { return N.viewport(1); });
G.pageXOffset = G.pageYOffset = G.scrollX = G.scrollY = 0;
G.scrollTo = G.scrollBy = function () {};
G.onload = null; G.onerror = null;

var T = {};
function timer(fn, ms, args, repeat) {
  if (typeof fn !== 'function') { var code = String(fn); fn = function () { (0, eval)(code); }; }
  var delay = Number(ms); if (!(delay > 0)) delay = 0;
  var id = N.setTimer(delay, repeat);
  if (id) T[id] = { fn: fn, args: args };
  return id;
}
G.setTimeout = function (fn, ms) { return timer(fn, ms, Array.prototype.slice.call(arguments, 2), false); };
G.setInterval = function (fn, ms) { return timer(fn, ms, Array.prototype.slice.call(arguments, 2), true); };
G.clearTimeout = G.clearInterval = function (id) { if (T[id]) { delete T[id]; N.clearTimer(Number(id)); } };
G.open = function (u) { N.navigate(String(u === undefined ? 'about:blank' : u), 5); return null; };
G.alert = function (m) { N.log(1, 'alert: ' + m); };
G.confirm = function (m) { N.log(1, 'confirm: ' + m); return false; };
G.prompt = function (m) { N.log(1, 'prompt: ' + m); return null; };
G.getComputedStyle = function (el) { return el.style; };
G.Event = function (type, init) { Ev.call(this, type, init && init.bubbles, init && init.cancelable); };
G.Event.prototype = Ev.prototype;
G.Image = function (w, h) {
  var el = document.createElement('img');
  if (w !== undefined) el.setAttribute('width', String(w));
  if (h !== undefined) el.setAttribute('height', String(h));
  return el;
};
function logger(level) {
  return function () {
    var parts = [];
    for (var i = 0; i < arguments.length; i++) {
      var a = arguments[i];
      if (typeof a === 'object' && a !== null) { try { a = JSON.stringify(a); } catch (e) { a = String(a); } }
      parts.push(String(a));
    }
    N.log(level, parts.join(' '));
  };
}
G.console = { log: logger(1), info: logger(1), debug: logger(0), warn: logger(2), error: logger(3) };

return {
  // What the heap learns of its page once it has one (it may be made before the page).
  attach: function () {
    Object.defineProperty(document, '__id', { value: N.root() });
    G.navigator.userAgent = N.ua();
    G.navigator.appVersion = G.navigator.userAgent.replace(/^Mozilla\//, '');
  },
  fire: function (id, type, bubbles, cancelable) {
    var e = new Ev(type, bubbles, cancelable);
    return dispatch(id ? wrap(id) : G, e);
  },
  timer: function (id, repeat) {
    var t = T[id];
    if (!t) return;
    if (!repeat) delete T[id];
    t.fn.apply(G, t.args);
  },
  click: function (id) { var w = wrap(id); if (w) w.click(); },
  submit: function (id) { submit(id); }
};
})
)JS";
}

} // namespace platform
