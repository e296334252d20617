// MRAID 2.0 for Ruzave ads (ES5). The placement type comes from the file that includes this body.
(function (window) {
  if (window.mraid && window.mraid.__ruzave) { return; }
  var placement = window.__ruzaveMraidPlacement || 'inline';
  var state = 'loading';
  var viewable = false;
  var listeners = {};
  var expandProperties = { width: -1, height: -1, useCustomClose: false, isModal: true };
  var orientationProperties = { allowOrientationChange: true, forceOrientation: 'none' };
  var resizeProperties = null;
  var size = { width: 0, height: 0 };
  var defaultPosition = { x: 0, y: 0, width: 0, height: 0 };

  function send(action, params) {
    var query = [];
    for (var k in params) {
      if (params.hasOwnProperty(k) && params[k] !== undefined && params[k] !== null) {
        query.push(encodeURIComponent(k) + '=' + encodeURIComponent(String(params[k])));
      }
    }
    window.location.href = 'gmsg://mobileads.ruzave.example/' + action + (query.length ? '?' + query.join('&') : '');
  }
  function fire(name, args) {
    var list = (listeners[name] || []).slice(0);
    for (var i = 0; i < list.length; i++) {
      try { list[i].apply(null, args); } catch (e) { /* one listener does not stop the others */ }
    }
  }
  function setState(next) {
    if (next === state) { return; }
    state = next;
    fire('stateChange', [state]);
  }

  var mraid = {
    __ruzave: true,
    getVersion: function () { return '2.0'; },
    getState: function () { return state; },
    getPlacementType: function () { return placement; },
    isViewable: function () { return viewable; },
    addEventListener: function (name, listener) {
      if (typeof listener !== 'function') { return; }
      (listeners[name] = listeners[name] || []).push(listener);
    },
    removeEventListener: function (name, listener) {
      var list = listeners[name];
      if (!list) { return; }
      if (!listener) { listeners[name] = []; return; }
      for (var i = list.length - 1; i >= 0; i--) { if (list[i] === listener) { list.splice(i, 1); } }
    },
    open: function (url) { send('open', { a: 'webapp', u: url }); },
    close: function () { send('close', {}); },
    expand: function (url) {
      var customClose = expandProperties.useCustomClose ? '1' : '0';
      if (url) { send('open', { a: 'webapp', u: url, custom_close: customClose }); return; }
      send('open', { a: 'expand', custom_close: customClose });
    },
    resize: function () {
      if (!resizeProperties) { fire('error', ['Resize properties are not set.', 'resize']); return; }
      send('mraid', { a: 'resize', width: resizeProperties.width, height: resizeProperties.height,
        offsetX: resizeProperties.offsetX, offsetY: resizeProperties.offsetY,
        customClosePosition: resizeProperties.customClosePosition, allowOffscreen: resizeProperties.allowOffscreen });
    },
    useCustomClose: function (use) { expandProperties.useCustomClose = !!use; send('customClose', { custom_close: use ? '1' : '0' }); },
    getExpandProperties: function () { return expandProperties; },
    setExpandProperties: function (p) { if (p) { for (var k in p) { if (p.hasOwnProperty(k)) { expandProperties[k] = p[k]; } } } },
    getOrientationProperties: function () { return orientationProperties; },
    setOrientationProperties: function (p) {
      if (!p) { return; }
      for (var k in p) { if (p.hasOwnProperty(k)) { orientationProperties[k] = p[k]; } }
      send('mraid', { a: 'setOrientationProperties', allowOrientationChange: String(orientationProperties.allowOrientationChange),
        forceOrientation: orientationProperties.forceOrientation });
    },
    getResizeProperties: function () { return resizeProperties; },
    setResizeProperties: function (p) { resizeProperties = p; },
    getSize: function () { return size; },
    getMaxSize: function () { return size; },
    getScreenSize: function () { return size; },
    getDefaultPosition: function () { return defaultPosition; },
    getCurrentPosition: function () { return defaultPosition; },
    supports: function (feature) { return feature === 'inlineVideo' || feature === 'calendar' || feature === 'storePicture'; },
    storePicture: function (url) { send('mraid', { a: 'storePicture', iurl: url }); },
    createCalendarEvent: function (p) { send('mraid', { a: 'createCalendarEvent', data: JSON.stringify(p || {}) }); },
    playVideo: function (url) { send('open', { a: 'video', u: url }); }
  };
  window.mraid = mraid;

  // The SDK's messages and events arrive here; earlier receivers of the page keep theirs.
  var previous = window.ZUDO_ReceiveMessage;
  window.ZUDO_ReceiveMessage = function (name, data) {
    data = data || {};
    if (name === 'onStateChanged' && data.state) { setState(data.state); }
    else if (name === 'onAdVisibilityChanged') { viewable = data.visible !== undefined ? String(data.visible) === '1' : !!data.isVisible; fire('viewableChange', [viewable]); }
    else if (name === 'onSizeChanged') { size = { width: data.width, height: data.height }; fire('sizeChange', [size.width, size.height]); }
    else if (name === 'onDefaultPositionReceived') { defaultPosition = data; }
    else if (name === 'onError') { fire('error', [data.message, data.action]); }
    else if (name === 'onshow' || name === 'onReadyEventReceived') { setState('default'); fire('ready', []); }
    if (typeof previous === 'function') { previous(name, data); }
  };

  window.__ruzaveMraidLoaded = true;
  send('mraidLoaded', { placement: placement });
})(window);
