// Script run into every heap before anything else: replaces the few built-ins whose native loops never
// reach the engine's time checks (see DukHeapBudget) on large input with equivalents that do the same
// work in bounded native steps. Short inputs keep the native code path.
//
// - Substring search (indexOf, lastIndexOf, includes, split and replace with a string pattern) costs up
//   to the haystack length times the needle length in one native call: searched here window by window,
//   each window a native search of about a million byte comparisons.
// - Case conversion of a long string is done in slices, never cut next to a capital sigma (the one
//   letter whose conversion looks at its neighbours).
// - Sorting without a comparison function compares strings natively, never calling back: a merge sort
//   here instead (stable, as browsers are). With a comparison function every comparison is a call,
//   which the time checks see, so that stays native.
#include "platform/web/ScriptContext.h"

namespace platform {

const char* ScriptContext::guardSource() {
    return R"JS(
(function (SP, AP) {
'use strict';
var nIndexOf = SP.indexOf, nLastIndexOf = SP.lastIndexOf, nIncludes = SP.includes, nSplit = SP.split,
    nReplace = SP.replace, nSlice = SP.slice, nUpper = SP.toUpperCase, nLower = SP.toLowerCase,
    nLocaleUpper = SP.toLocaleUpperCase, nLocaleLower = SP.toLocaleLowerCase, nSort = AP.sort, nPush = AP.push,
    nJoin = AP.join, nCharCodeAt = SP.charCodeAt, classOf = Object.prototype.toString, floor = Math.floor,
    max = Math.max, min = Math.min;
// Native work per step: byte comparisons of a search, characters of a case conversion (about 300 ns
// each outside ASCII).
var STEP = 1048576, SLICE = 8192;

function install(o, name, fn) {
  Object.defineProperty(o, name, { value: fn, writable: true, configurable: true, enumerable: false });
}
function isRegExp(x) { return classOf.call(x) === '[object RegExp]'; }
function integer(x) { var n = Number(x); return n !== n ? 0 : n < 0 ? Math.ceil(n) : floor(n); }
// True when one native search of q in s could take long.
function slow(s, q) { var n = s.length, m = q.length; return m > 0 && (n > STEP || (n - m + 1) * m > STEP * 4); }
function slice(s, b, e) { return nSlice.call(s, b, e); }

// Windows of match positions grow from a small one to the most one native search may take, so a
// near match costs little (split calls this once per piece).
function windows(m) { return { k: min(1024, max(floor(STEP / m), 1)), most: max(floor(STEP / m), 1) }; }
// First match of q in s starting at or after `from` (0 <= from <= s.length), or -1.
function find(s, q, from) {
  var n = s.length, m = q.length, w = windows(m);
  for (var p = from, k = w.k; p + m <= n; p += k, k = min(k * 2, w.most)) {
    var r = nIndexOf.call(slice(s, p, p + k + m - 1), q);
    if (r >= 0) return p + r;
  }
  return -1;
}
// Last match of q in s starting at or before `from` (0 <= from <= s.length), or -1.
function findLast(s, q, from) {
  var m = q.length, w = windows(m);
  for (var e = min(from, s.length - m), k = w.k; e >= 0; e -= k, k = min(k * 2, w.most)) {
    var b = max(e - k + 1, 0);
    var r = nLastIndexOf.call(slice(s, b, e + m), q);
    if (r >= 0) return b + r;
  }
  return -1;
}

install(SP, 'indexOf', function indexOf(searchString) {
  if (this == null) return nIndexOf.apply(this, arguments);
  var s = String(this), q = String(searchString);
  var pos = min(max(integer(arguments[1]), 0), s.length);
  return slow(s, q) ? find(s, q, pos) : nIndexOf.call(s, q, pos);
});
install(SP, 'lastIndexOf', function lastIndexOf(searchString) {
  if (this == null) return nLastIndexOf.apply(this, arguments);
  var s = String(this), q = String(searchString), p = Number(arguments[1]);
  var pos = p !== p ? s.length : min(max(integer(p), 0), s.length);
  return slow(s, q) ? findLast(s, q, pos) : nLastIndexOf.call(s, q, pos);
});
if (nIncludes) install(SP, 'includes', function includes(searchString) {
  if (this == null || isRegExp(searchString)) return nIncludes.apply(this, arguments);
  var s = String(this), q = String(searchString);
  var pos = min(max(integer(arguments[1]), 0), s.length);
  return slow(s, q) ? find(s, q, pos) >= 0 : nIncludes.call(s, q, pos);
});
install(SP, 'split', function split(separator, limit) {
  if (this == null || separator === undefined || isRegExp(separator)) return nSplit.apply(this, arguments);
  var s = String(this), lim = limit === undefined ? 4294967295 : limit >>> 0, q = String(separator);
  if (!slow(s, q)) return nSplit.call(s, q, lim);
  var out = [];
  if (lim === 0) return out;
  for (var p = 0, i; (i = find(s, q, p)) >= 0; p = i + q.length) {
    out[out.length] = slice(s, p, i);
    if (out.length === lim) return out;
  }
  out[out.length] = slice(s, p);
  return out;
});
install(SP, 'replace', function replace(searchValue, replaceValue) {
  if (this == null || isRegExp(searchValue)) return nReplace.apply(this, arguments);
  var s = String(this), q = String(searchValue);
  if (!slow(s, q)) return nReplace.call(s, q, replaceValue);
  var at = find(s, q, 0);
  if (at < 0) return s;
  var end = at + q.length, text;
  if (typeof replaceValue === 'function') {
    text = String(replaceValue(q, at, s));
  } else {
    var r = String(replaceValue), parts = [], last = 0;
    for (var i = nIndexOf.call(r, '$'); i >= 0 && i + 1 < r.length; i = nIndexOf.call(r, '$', last)) {
      var c = r.charAt(i + 1), sub = c === '$' ? '$' : c === '&' ? q : c === '`' ? slice(s, 0, at) :
                                      c === "'" ? slice(s, end) : null;
      if (sub === null) { parts[parts.length] = slice(r, last, i + 1); last = i + 1; continue; }
      parts[parts.length] = slice(r, last, i);
      parts[parts.length] = sub;
      last = i + 2;
    }
    parts[parts.length] = slice(r, last);
    text = nJoin.call(parts, '');
  }
  return slice(s, 0, at) + text + slice(s, end);
});

function sliced(native) {
  return function () {
    if (this == null) return native.apply(this, arguments);
    var s = String(this), n = s.length;
    if (n <= SLICE) return native.call(s);
    var parts = [], b = 0;
    while (b < n) {
      var e = min(b + SLICE, n);
      while (e < n && (nCharCodeAt.call(s, e - 1) === 0x3a3 || nCharCodeAt.call(s, e) === 0x3a3)) e++;
      parts[parts.length] = native.call(slice(s, b, e));
      b = e;
    }
    return nJoin.call(parts, '');
  };
}
install(SP, 'toUpperCase', sliced(nUpper));
install(SP, 'toLowerCase', sliced(nLower));
install(SP, 'toLocaleUpperCase', sliced(nLocaleUpper));
install(SP, 'toLocaleLowerCase', sliced(nLocaleLower));

function keyLess(a, b) { return a.k < b.k || (a.k === b.k && a.i < b.i); }
install(AP, 'sort', function sort(comparefn) {
  if (this == null || comparefn !== undefined) return nSort.apply(this, arguments);
  var o = Object(this), len = o.length >>> 0;
  if (len > 2147483647) return nSort.call(o);
  var items = [], undefs = 0, i;
  for (i = 0; i < len; i++) {
    if (!(i in o)) continue;
    var v = o[i];
    if (v === undefined) undefs++;
    else items[items.length] = { v: v, k: String(v), i: i };
  }
  // Bottom-up merge sort on (key, original index): the order is total, so it is stable.
  var a = items, t = new Array(a.length), n = a.length;
  for (var w = 1; w < n; w *= 2) {
    for (var lo = 0; lo < n; lo += 2 * w) {
      var mid = min(lo + w, n), hi = min(lo + 2 * w, n), x = lo, y = mid, z = lo;
      while (x < mid && y < hi) t[z++] = keyLess(a[y], a[x]) ? a[y++] : a[x++];
      while (x < mid) t[z++] = a[x++];
      while (y < hi) t[z++] = a[y++];
    }
    var swap = a; a = t; t = swap;
  }
  for (i = 0; i < n; i++) o[i] = a[i].v;
  for (; i < n + undefs; i++) o[i] = undefined;
  for (; i < len; i++) if (i in o) delete o[i];
  return o;
});
})(String.prototype, Array.prototype)
)JS";
}

} // namespace platform
