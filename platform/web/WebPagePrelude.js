// The script half of the DOM bindings: wrappers, events, window, document, location and timers,
// written over the natives of WebPageBindings.cpp (N) for the page's global object (G). Embedded in the
// library at build time and compiled once per process to bytecode.
(function (N, G) {
// Wrappers pinned by node id: those of nodes the page may reach again by walking its documents. The
// page lets go of the pins of nodes out of the document at its collections; a wrapper script still
// holds stays live, and N.wrapper finds it again, so a node keeps one wrapper as long as either lives.
var W = {};
var ET = {}, NodeProto, ElementProto, TextProto, FragmentProto, InertDocProto;
function report(err) { N.log(3, 'uncaught: ' + String(err && err.stack || err)); }
function wrap(id) {
  if (!id) return null;
  var w = W[id];
  // Made (or found again) natively: an object of the node's prototype with its id, pinned in W.
  return w ? w : N.wrap(id);
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
  this.eventPhase = 0;
}
Ev.prototype.NONE = 0; Ev.prototype.CAPTURING_PHASE = 1; Ev.prototype.AT_TARGET = 2; Ev.prototype.BUBBLING_PHASE = 3;
Ev.prototype.initEvent = function (t, b, c) { this.type = String(t); this.bubbles = !!b; this.cancelable = !!c; };
Ev.prototype.preventDefault = function () { if (this.cancelable) this.defaultPrevented = true; };
Ev.prototype.stopPropagation = function () { this.__stop = true; };
Ev.prototype.stopImmediatePropagation = function () { this.__stop = this.__stopImm = true; };
function CustomEv(type, init) {
  Ev.call(this, type, init && init.bubbles, init && init.cancelable);
  this.detail = init && init.detail !== undefined ? init.detail : null;
}
CustomEv.prototype = Object.create(Ev.prototype);
CustomEv.prototype.constructor = CustomEv;
CustomEv.prototype.initCustomEvent = function (t, b, c, d) { this.initEvent(t, b, c); this.detail = d === undefined ? null : d; };
// The listeners of `node` for one phase: capture (true), bubbling (false) or, at the target, all of them
// (null) in the order they were added; handler attributes run with the bubbling ones.
function invoke(node, e, capture) {
  e.currentTarget = node;
  var a = node.__l && node.__l[e.type];
  if (a) {
    a = a.slice();
    for (var i = 0; i < a.length; i++) {
      var l = a[i];
      // Removed meanwhile, or of the other phase.
      if (l.gone || (capture !== null && l.capture !== capture)) continue;
      try { var f = l.fn; if (typeof f === 'function') f.call(node, e); else f.handleEvent(e); } catch (err) { report(err); }
      if (e.__stopImm) return;
    }
  }
  if (capture === true) return;
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
// Capture from the window down to the target's parent, then the target, then (for events that bubble)
// back up. The path is the target's ancestors as N.path gives them (a bounded list, made natively, however
// deep the tree), then the window for a tree of the document; a load never reaches the window from a node.
function dispatch(target, e) {
  e.target = target;
  e.__stop = e.__stopImm = false;
  var path = [target], i;
  if (target !== G) {
    var ids = target.__id ? N.path(target.__id) : [];
    for (i = 0; i < ids.length; i++) path.push(wrap(ids[i]));
    if (path[path.length - 1] === document && e.type !== 'load') path.push(G);
  }
  e.eventPhase = 1;
  for (i = path.length - 1; i > 0 && !e.__stop; i--) invoke(path[i], e, true);
  e.eventPhase = 2;
  if (!e.__stop) invoke(target, e, null);
  e.eventPhase = 3;
  for (i = 1; e.bubbles && i < path.length && !e.__stop; i++) invoke(path[i], e, false);
  e.eventPhase = 0;
  e.currentTarget = null;
  e.__stop = e.__stopImm = false;
  return !e.defaultPrevented;
}
function isCapture(options) { return options === true || !!(options && typeof options === 'object' && options.capture); }
ET.addEventListener = function (type, fn, options) {
  if (typeof fn !== 'function' && !(fn && typeof fn.handleEvent === 'function')) return;
  var capture = isCapture(options);
  if (!this.__l) Object.defineProperty(this, '__l', { value: Object.create(null) });
  var a = this.__l[type] || (this.__l[type] = []);
  for (var i = 0; i < a.length; i++) if (a[i].fn === fn && a[i].capture === capture) return;
  a.push({ fn: fn, capture: capture });
};
ET.removeEventListener = function (type, fn, options) {
  var a = this.__l && this.__l[type];
  if (!a) return;
  var capture = isCapture(options);
  for (var i = 0; i < a.length; i++) {
    if (a[i].fn !== fn || a[i].capture !== capture) continue;
    a[i].gone = true;  // a dispatch under way skips it
    a.splice(i, 1);
    return;
  }
};
ET.dispatchEvent = function (e) { return dispatch(this, e); };

NodeProto = Object.create(ET);
prop(NodeProto, 'nodeType', function () { return N.type(this.__id); });
prop(NodeProto, 'parentNode', function () { return wrap(N.parent(this.__id)); });
prop(NodeProto, 'parentElement', function () { var p = N.parent(this.__id); return p && N.type(p) === 1 ? wrap(p) : null; });
prop(NodeProto, 'nextSibling', function () { return wrap(N.sibling(this.__id, 1)); });
prop(NodeProto, 'previousSibling', function () { return wrap(N.sibling(this.__id, -1)); });
prop(NodeProto, 'childNodes', function () { return list(N.children(this.__id, false)); });
prop(NodeProto, 'firstChild', function () { return wrap(N.edgeChild(this.__id, false, false)); });
prop(NodeProto, 'lastChild', function () { return wrap(N.edgeChild(this.__id, true, false)); });
prop(NodeProto, 'ownerDocument', function () { return wrap(N.owner(this.__id)); });
prop(NodeProto, 'textContent', function () { return N.text(this.__id); }, function (v) { N.setText(this.__id, String(v)); });
NodeProto.appendChild = function (c) { if (!N.insert(this.__id, idOf(c), 0)) throw new Error('HierarchyRequestError'); return c; };
NodeProto.insertBefore = function (c, ref) { if (!N.insert(this.__id, idOf(c), idOf(ref))) throw new Error('HierarchyRequestError'); return c; };
NodeProto.removeChild = function (c) { if (!N.remove(this.__id, idOf(c))) throw new Error('NotFoundError'); return c; };
NodeProto.replaceChild = function (n, old) {
  // A node replacing itself stays where it is.
  if (n === old && old && N.parent(idOf(old)) === this.__id) return old;
  this.insertBefore(n, old); return this.removeChild(old);
};
NodeProto.contains = function (o) { return !!o && N.contains(this.__id, idOf(o)); };
NodeProto.hasChildNodes = function () { return N.children(this.__id, false).length > 0; };
NodeProto.cloneNode = function (deep) { return N.clone(this.__id, !!deep); };
NodeProto.getRootNode = function () {
  var id = this.__id, p;
  while ((p = N.parent(id))) id = p;
  return wrap(id);
};
prop(NodeProto, 'isConnected', function () { return N.contains(N.root(), this.__id); });
NodeProto.compareDocumentPosition = function (o) {
  var a = this.__id, b = idOf(o);
  if (!b) throw new TypeError('compareDocumentPosition needs a node');
  if (a === b) return 0;
  if (N.contains(a, b)) return 20;  // contained by, following
  if (N.contains(b, a)) return 10;  // contains, preceding
  var pa = [a], pb = [b], p;
  for (p = a; (p = N.parent(p));) pa.unshift(p);
  for (p = b; (p = N.parent(p));) pb.unshift(p);
  // In different trees (or documents): disconnected, in a fixed order of the trees.
  if (pa[0] !== pb[0]) return 1 | 32 | (pa[0] < pb[0] ? 4 : 2);
  var i = 0;
  while (pa[i] === pb[i]) i++;
  var kids = N.children(pa[i - 1], false);
  return kids.indexOf(pb[i]) > kids.indexOf(pa[i]) ? 4 : 2;
};

// The element below `root` whose id is `i`, for trees the document's id index does not cover.
function elementByIdUnder(root, i) {
  var all = N.byTag(root, '*');
  for (var k = 0; k < all.length; k++) if (N.attr(all[k], 'id') === String(i)) return wrap(all[k]);
  return null;
}

FragmentProto = Object.create(NodeProto);
prop(FragmentProto, 'nodeName', function () { return '#document-fragment'; });
FragmentProto.getElementById = function (i) { return elementByIdUnder(this.__id, i); };

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
function flag(name, attr) {
  prop(ElementProto, name, function () { return N.hasAttr(this.__id, attr); },
       function (v) { if (v) N.setAttr(this.__id, attr, ''); else N.removeAttr(this.__id, attr); });
}
flag('checked', 'checked'); flag('defaultChecked', 'checked'); flag('disabled', 'disabled');
flag('selected', 'selected'); flag('hidden', 'hidden'); flag('readOnly', 'readonly'); flag('multiple', 'multiple');
prop(ElementProto, 'defaultValue', function () { return N.tag(this.__id) === 'TEXTAREA' ? N.text(this.__id) : (N.attr(this.__id, 'value') || ''); });
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
  // The declarations hold their element (as a browser's do), not only its id.
  var el = this, id = this.__id;
  var s = new Proxy({ element: el }, {
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
ElementProto.querySelector = function (s) { return wrap(N.query(this.__id, String(s), true)[0]); };
ElementProto.focus = ElementProto.blur = function () {};
ElementProto.matches = ElementProto.webkitMatchesSelector = function (s) { return N.matches(this.__id, String(s)); };
ElementProto.closest = function (s) { return wrap(N.closest(this.__id, String(s))); };
prop(ElementProto, 'firstElementChild', function () { return wrap(N.edgeChild(this.__id, false, true)); });
prop(ElementProto, 'lastElementChild', function () { return wrap(N.edgeChild(this.__id, true, true)); });
prop(ElementProto, 'childElementCount', function () { return N.children(this.__id, true).length; });
// A fragment lists and finds its elements as an element does.
['children', 'firstElementChild', 'querySelectorAll', 'querySelector'].forEach(function (k) {
  Object.defineProperty(FragmentProto, k, Object.getOwnPropertyDescriptor(ElementProto, k));
});
function siblingElement(id, dir) {
  while ((id = N.sibling(id, dir)) && N.type(id) !== 1) {}
  return wrap(id);
}
prop(ElementProto, 'nextElementSibling', function () { return siblingElement(this.__id, 1); });
prop(ElementProto, 'previousElementSibling', function () { return siblingElement(this.__id, -1); });
prop(ElementProto, 'localName', function () { return N.tag(this.__id).toLowerCase(); });
prop(ElementProto, 'attributes', function () {
  var a = N.attrs(this.__id), out = [];
  for (var i = 0; i < a.length; i++) out.push({ name: a[i][0], nodeName: a[i][0], localName: a[i][0], value: a[i][1], nodeValue: a[i][1], specified: true });
  out.item = function (i) { return this[i] || null; };
  out.getNamedItem = function (n) { n = String(n).toLowerCase(); for (var i = 0; i < this.length; i++) if (this[i].name === n) return this[i]; return null; };
  // Named too (attributes.id), where the name hides nothing the collection has.
  for (i = 0; i < out.length; i++) if (!(out[i].name in out)) out[out[i].name] = out[i];
  return out;
});
ElementProto.getAttributeNode = function (n) { return this.attributes.getNamedItem(n); };
ElementProto.insertAdjacentHTML = function (where, html) { N.adjacent(this.__id, String(where), String(html)); };
// Boxes of the paint model, in the viewport: none for an element out of the document or not drawn.
// Sizes are whole pixels; the root element's client area is the viewport, as on phones.
function boxSize(el, i) { var b = N.box(el.__id); return b ? Math.round(b[i]) : 0; }
function clientSize(el, i) { return el.__id === N.part(0) ? N.viewport(i - 2) : boxSize(el, i); }
function domRect(b) {
  return { left: b[0], top: b[1], right: b[0] + b[2], bottom: b[1] + b[3], width: b[2], height: b[3], x: b[0], y: b[1] };
}
prop(ElementProto, 'offsetWidth', function () { return boxSize(this, 2); });
prop(ElementProto, 'offsetHeight', function () { return boxSize(this, 3); });
prop(ElementProto, 'clientWidth', function () { return clientSize(this, 2); });
prop(ElementProto, 'clientHeight', function () { return clientSize(this, 3); });
ElementProto.getBoundingClientRect = function () { return domRect(N.box(this.__id) || [0, 0, 0, 0]); };
ElementProto.getClientRects = function () {
  var b = N.box(this.__id), out = b ? [domRect(b)] : [];
  out.item = function (i) { return this[i] || null; };
  return out;
};

// classList: the class attribute as an ordered set of tokens, read afresh at every call.
function classTokens(id) {
  var v = N.attr(id, 'class'), out = [];
  if (v) {
    var parts = v.split(/[ \t\n\f\r]+/);
    for (var i = 0; i < parts.length; i++) if (parts[i] && out.indexOf(parts[i]) < 0) out.push(parts[i]);
  }
  return out;
}
function classToken(t) {
  t = String(t);
  if (t === '') throw new Error('SyntaxError: the token is empty');
  if (/[ \t\n\f\r]/.test(t)) throw new Error('InvalidCharacterError: the token holds white space');
  return t;
}
// The list holds its element (as a browser's does), not only its id.
function TokenList(el) { Object.defineProperty(this, '__owner', { value: el.__id }); Object.defineProperty(this, '__element', { value: el }); }
// No tokens to write where there was no attribute: the attribute stays absent.
TokenList.prototype.__set = function (tokens) {
  if (tokens.length || N.hasAttr(this.__owner, 'class')) N.setAttr(this.__owner, 'class', tokens.join(' '));
};
prop(TokenList.prototype, 'length', function () { return classTokens(this.__owner).length; });
prop(TokenList.prototype, 'value', function () { var v = N.attr(this.__owner, 'class'); return v === null ? '' : v; },
     function (v) { N.setAttr(this.__owner, 'class', String(v)); });
TokenList.prototype.toString = function () { return this.value; };
TokenList.prototype.item = function (i) { var t = classTokens(this.__owner); i = Number(i); return i >= 0 && i < t.length ? t[i] : null; };
TokenList.prototype.contains = function (t) { return classTokens(this.__owner).indexOf(String(t)) >= 0; };
TokenList.prototype.add = function () {
  var add = Array.prototype.map.call(arguments, classToken), t = classTokens(this.__owner);
  for (var i = 0; i < add.length; i++) if (t.indexOf(add[i]) < 0) t.push(add[i]);
  this.__set(t);
};
TokenList.prototype.remove = function () {
  var drop = Array.prototype.map.call(arguments, classToken), t = classTokens(this.__owner);
  this.__set(t.filter(function (x) { return drop.indexOf(x) < 0; }));
};
TokenList.prototype.toggle = function (token, force) {
  token = classToken(token);
  var has = this.contains(token);
  var want = force === undefined ? !has : !!force;
  if (want && !has) this.add(token);
  if (!want && has) this.remove(token);
  return want;
};
TokenList.prototype.replace = function (from, to) {
  from = classToken(from); to = classToken(to);
  var t = classTokens(this.__owner), i = t.indexOf(from);
  if (i < 0) return false;
  if (t.indexOf(to) >= 0 && to !== from) t.splice(i, 1); else t[i] = to;
  this.__set(t);
  return true;
};
TokenList.prototype.forEach = function (fn, that) { var t = classTokens(this.__owner); for (var i = 0; i < t.length; i++) fn.call(that, t[i], i, this); };
// Indexed as an array is: list[0] is the first token. (The engine hands index keys over as numbers.)
function tokenIndex(k) { return typeof k === 'number' || (typeof k === 'string' && /^(0|[1-9][0-9]*)$/.test(k)); }
prop(ElementProto, 'classList', function () {
  return new Proxy(new TokenList(this), {
    get: function (t, k) { return tokenIndex(k) ? classTokens(t.__owner)[k] : t[k]; },
    has: function (t, k) { return tokenIndex(k) ? classTokens(t.__owner)[k] !== undefined : k in t; }
  });
});

// dataset: the data-* attributes by their camel-cased names.
function dataAttr(k) { return 'data-' + k.replace(/[A-Z]/g, function (c) { return '-' + c.toLowerCase(); }); }
// A dash before a lower-case letter names no data-* attribute: such keys are none of the dataset's.
function isDataKey(k) { return typeof k === 'string' && !/-[a-z]/.test(k); }
function dataKey(a) { return a.substring(5).replace(/-([a-z])/g, function (m, c) { return c.toUpperCase(); }); }
function dataKeys(id) {
  var a = N.attrs(id), out = [];
  for (var i = 0; i < a.length; i++) if (a[i][0].indexOf('data-') === 0) out.push(dataKey(a[i][0]));
  return out;
}
function mirrorKeys(t, keys) {
  Object.getOwnPropertyNames(t).forEach(function (k) { delete t[k]; });
  keys.forEach(function (k) { t[k] = true; });
  return keys;
}
prop(ElementProto, 'dataset', function () {
  if (this.__dataset) return this.__dataset;
  var id = this.__id;
  var d = new Proxy({ element: this }, {
    get: function (t, k) {
      if (!isDataKey(k)) return undefined;
      var v = N.attr(id, dataAttr(k));
      return v === null ? undefined : v;
    },
    set: function (t, k, v) {
      if (typeof k !== 'string') return true;
      if (/-[a-z]/.test(k)) throw new Error('SyntaxError: ' + k + ' is no dataset name');
      N.setAttr(id, dataAttr(k), String(v));
      return true;
    },
    has: function (t, k) { return isDataKey(k) && N.hasAttr(id, dataAttr(k)); },
    deleteProperty: function (t, k) { if (isDataKey(k)) N.removeAttr(id, dataAttr(k)); return true; },
    // The engine enumerates only what the target itself holds as enumerable: mirror the keys there.
    ownKeys: function (t) { return mirrorKeys(t, dataKeys(id)); },
    enumerate: function (t) { return mirrorKeys(t, dataKeys(id)); }
  });
  Object.defineProperty(this, '__dataset', { value: d });
  return d;
});
// A click and what it does by default: links navigate, submit buttons submit their form.
function activate(el, e) {
  if (!dispatch(el, e)) return;
  var id = el.__id;
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
}
function pointer(e, x, y, px, py) {
  e.clientX = e.screenX = e.x = x; e.clientY = e.screenY = e.y = y; e.pageX = px; e.pageY = py;
  e.button = 0; e.buttons = 0; e.which = 1; e.detail = 1; e.view = G;
  e.altKey = e.ctrlKey = e.metaKey = e.shiftKey = false;
  return e;
}
ElementProto.click = function () { activate(this, new Ev('click', true, true)); };
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
document.createElement = function (t) { return N.create(String(t), 1); };
document.createTextNode = function (t) { return N.create(String(t), 3); };
document.createComment = function (t) { return N.create(String(t), 8); };
document.createDocumentFragment = function () { return N.fragment(); };
document.getElementById = function (i) { return wrap(N.byId(String(i))); };
document.getElementsByTagName = function (t) { return list(N.byTag(0, String(t))); };
document.getElementsByClassName = function (c) { return list(N.byClass(0, String(c))); };
document.querySelectorAll = function (s) { return list(N.query(0, String(s))); };
document.querySelector = function (s) { return wrap(N.query(0, String(s), true)[0]); };
document.createEvent = function (kind) { return /^customevents?$/i.test(String(kind)) ? new CustomEv('') : new Ev('', false, false); };
document.write = function () { N.write(Array.prototype.join.call(arguments, '')); };
document.writeln = function () { N.write(Array.prototype.join.call(arguments, '') + '\n'); };
document.open = document.close = function () {};
document.hasFocus = function () { return true; };
document.hidden = false;
document.visibilityState = 'visible';
document.compatMode = 'CSS1Compat';
document.characterSet = document.charset = 'UTF-8';
document.cloneNode = function () { throw new Error('NotSupportedError: the document cannot be cloned'); };
prop(document, 'activeElement', function () { return wrap(N.part(2)); });
// Documents script makes beside this one (libraries parse markup there): a document node of their
// own, with its own tree; their nodes are inert until moved here, and belong here from then on.
InertDocProto = Object.create(DocProto);
prop(InertDocProto, 'nodeName', function () { return '#document'; });
prop(InertDocProto, 'documentElement', function () { return wrap(N.part(0, this.__id)); });
prop(InertDocProto, 'head', function () { return wrap(N.part(1, this.__id)); });
prop(InertDocProto, 'body', function () { return wrap(N.part(2, this.__id)); });
prop(InertDocProto, 'title', function () { return N.title(this.__id); });
InertDocProto.createElement = function (t) { return N.create(String(t), 1, this.__id); };
InertDocProto.createTextNode = function (t) { return N.create(String(t), 3, this.__id); };
InertDocProto.createComment = function (t) { return N.create(String(t), 8, this.__id); };
InertDocProto.createDocumentFragment = function () { return N.fragment(this.__id); };
InertDocProto.createEvent = document.createEvent;
InertDocProto.getElementById = function (i) { return elementByIdUnder(this.__id, i); };
InertDocProto.getElementsByTagName = function (t) { return list(N.byTag(this.__id, String(t))); };
InertDocProto.getElementsByClassName = function (c) { return list(N.byClass(this.__id, String(c))); };
InertDocProto.querySelectorAll = function (s) { return list(N.query(this.__id, String(s))); };
InertDocProto.querySelector = function (s) { return wrap(N.query(this.__id, String(s))[0]); };
prop(DocProto, 'ownerDocument', function () { return null; });
document.implementation = {
  createHTMLDocument: function (title) {
    var d = wrap(N.newDocument()), html = d.createElement('html');
    d.appendChild(html);
    html.appendChild(d.createElement('head'));
    html.appendChild(d.createElement('body'));
    if (title !== undefined) { var t = d.createElement('title'); t.textContent = String(title); d.head.appendChild(t); }
    return d;
  },
  hasFeature: function () { return true; }
};
InertDocProto.implementation = document.implementation;

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
// Media queries against the viewport: media types all, screen and print; not and only; and-joined
// min-/max-width and -height in px, orientation, and min-/max-device-pixel-ratio (also -webkit-);
// a comma list matches when one of its queries does. A query with anything else matches nothing.
function mediaFeature(text, w, h, r) {
  var m = /^\(\s*([a-z-]+)\s*:\s*([^\s()]+)\s*\)$/.exec(text);
  if (!m) return null;
  var name = m[1], value = m[2], n;
  if (name === 'orientation') return value === 'portrait' ? h >= w : value === 'landscape' ? w > h : null;
  var f = /^(min|max)-(width|height)$/.exec(name) || /^(?:-webkit-)?(min|max)-(device-pixel-ratio)$/.exec(name);
  if (!f) return null;
  n = f[2] === 'device-pixel-ratio' ? /^(\d+(?:\.\d+)?|\.\d+)$/.exec(value) : /^(\d+(?:\.\d+)?|\.\d+)px$|^(0)$/.exec(value);
  if (!n) return null;
  var limit = Number(n[1] || n[2]), actual = f[2] === 'width' ? w : f[2] === 'height' ? h : r;
  return f[1] === 'min' ? actual >= limit : actual <= limit;
}
function mediaQuery(text, w, h, r) {
  var words = /^(?:(not|only)\s+)?([a-z-]+)(?:\s+and\s+(.*))?$/.exec(text), negated = false, result, rest;
  if (words && /^(?:not|only|and|or)$/.test(words[2])) return false;
  if (words) {
    negated = words[1] === 'not';
    result = words[2] === 'all' || words[2] === 'screen';
    rest = words[3];
  } else {
    words = /^(not\s+)?(\(.*)$/.exec(text);
    if (!words) return false;
    negated = !!words[1];
    result = true;
    rest = words[2];
  }
  if (rest !== undefined) {
    var parts = rest.split(/\s+and\s+/);
    for (var i = 0; i < parts.length; i++) {
      var one = mediaFeature(parts[i], w, h, r);
      if (one === null) return false;
      result = result && one;
    }
  }
  return negated ? !result : result;
}
G.matchMedia = function (q) {
  var media = String(q), list = media.toLowerCase().split(','), matches = false;
  var w = N.viewport(0), h = N.viewport(1), r = N.viewport(2);
  for (var i = 0; i < list.length && !matches; i++) {
    var text = list[i].trim();
    // An empty list is every medium.
    matches = text === '' ? list.length === 1 : mediaQuery(text, w, h, r);
  }
  return { matches: matches, media: media, onchange: null, addListener: function () {}, removeListener: function () {},
           addEventListener: function () {}, removeEventListener: function () {} };
};

// Animation frames come at the display's rate; the timestamp is performance.now()'s at the frame.
var F = {};
G.requestAnimationFrame = G.webkitRequestAnimationFrame = function (fn) {
  if (typeof fn !== 'function') throw new TypeError('requestAnimationFrame needs a function');
  var id = N.requestFrame();
  if (id) F[id] = fn;
  return id;
};
G.cancelAnimationFrame = G.webkitCancelAnimationFrame = function (id) {
  if (F[id]) { delete F[id]; N.cancelFrame(Number(id)); }
};
G.performance = { now: function () { return N.now(1); } };
prop(G.performance, 'timeOrigin', function () { return N.now(0) - N.now(1); });
G.performance.timing = {};
prop(G.performance.timing, 'navigationStart', function () { return Math.round(N.now(0) - N.now(1)); });

// The page's clock is the app's (a phone's wall clock; virtual in tests), as every other clock here.
var EngineDate = Date;
function PageDate(y, mo, d, h, mi, s, ms) {
  var n = arguments.length;
  if (!(this instanceof PageDate)) return new EngineDate(N.now(0)).toString();
  if (n === 0) return new EngineDate(N.now(0));
  if (n === 1) return new EngineDate(y instanceof EngineDate ? y.getTime() : y);
  return new EngineDate(y, mo, n > 2 ? d : 1, n > 3 ? h : 0, n > 4 ? mi : 0, n > 5 ? s : 0, n > 6 ? ms : 0);
}
PageDate.prototype = EngineDate.prototype;
PageDate.UTC = EngineDate.UTC;
PageDate.parse = EngineDate.parse;
PageDate.now = function () { return Math.floor(N.now(0)); };
Object.defineProperty(EngineDate.prototype, 'constructor', { value: PageDate, writable: true, configurable: true });
G.Date = PageDate;
G.Event = function (type, init) { Ev.call(this, type, init && init.bubbles, init && init.cancelable); };
G.Event.prototype = Ev.prototype;
G.CustomEvent = CustomEv;
// Interface objects, for instanceof and the node type constants; script cannot construct them.
function illegal() { throw new TypeError('Illegal constructor'); }
G.Node = function () { illegal(); };
G.Node.prototype = NodeProto;
G.Node.ELEMENT_NODE = 1; G.Node.TEXT_NODE = 3; G.Node.COMMENT_NODE = 8; G.Node.DOCUMENT_NODE = 9;
G.Node.DOCUMENT_FRAGMENT_NODE = 11;
G.Element = G.HTMLElement = function () { illegal(); };
G.Element.prototype = ElementProto;
G.ontouchstart = null;
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
  pins: W, document: document, elementProto: ElementProto, textProto: TextProto, fragmentProto: FragmentProto,
  inertDocProto: InertDocProto,
  // What the heap learns of its page once it has one (it may be made before the page).
  attach: function () {
    Object.defineProperty(document, '__id', { value: N.root() });
    G.navigator.userAgent = N.ua();
    G.navigator.appVersion = G.navigator.userAgent.replace(/^Mozilla\//, '');
  },
  fire: function (id, type, bubbles, cancelable) {
    var target = id ? wrap(id) : G;
    // A node gone meanwhile (collected as the entry began) hears nothing.
    if (!target) return true;
    return dispatch(target, new Ev(type, bubbles, cancelable));
  },
  timer: function (id, repeat) {
    var t = T[id];
    if (!t) return;
    if (!repeat) delete T[id];
    t.fn.apply(G, t.args);
  },
  click: function (id) { var w = wrap(id); if (w) w.click(); },
  clickAt: function (id, x, y, px, py) { var w = wrap(id); if (w) activate(w, pointer(new Ev('click', true, true), x, y, px, py)); },
  // One finger: the touch lists as a phone gives them (an ended finger is only in changedTouches).
  touch: function (type, id, x, y, px, py) {
    var target = wrap(id);
    if (!target) return true;
    var t = { identifier: 0, target: target, clientX: x, clientY: y, pageX: px, pageY: py, screenX: x, screenY: y,
              radiusX: 1, radiusY: 1, rotationAngle: 0, force: 1 };
    var ended = type === 'touchend' || type === 'touchcancel';
    var e = new Ev(type, true, type !== 'touchcancel');
    var touches = ended ? [] : [t];
    touches.item = function (i) { return this[i] || null; };
    var changed = [t];
    changed.item = touches.item;
    e.touches = touches; e.targetTouches = touches; e.changedTouches = changed;
    e.altKey = e.ctrlKey = e.metaKey = e.shiftKey = false; e.view = G; e.detail = 0;
    return dispatch(target, e);
  },
  frame: function (ids, ts) {
    for (var i = 0; i < ids.length; i++) {
      var f = F[ids[i]];
      if (!f) continue;
      delete F[ids[i]];
      try { f.call(G, ts); } catch (err) { report(err); }
    }
  },
  submit: function (id) { submit(id); }
};
})
