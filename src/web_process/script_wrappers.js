// Evaluated in the page's own world at the start of every document of every
// frame, before the page's scripts. The value is a function the extension
// calls once with its begin(kind, method, url), complete(ticket, headers,
// body) and seen functions, which thus stay in this closure. seen is null
// while script requests are recorded; otherwise it is a function seen(url)
// and only sendBeacon is wrapped, to count the beacons that went out (the
// engine gives them no resource timing, by which the other requests are
// counted). begin is called as the request is made, before the engine's
// function, and gives a ticket; complete follows once the body's bytes are
// known (a Uint8Array, or null for none), or with null headers when the
// request is not to be recorded. Each wrapper calls the engine's own
// function with the same arguments and `this`, returns what it returns and
// throws what it throws; a failure to announce is swallowed.
(function (begin, complete, seen) {
  'use strict';
  const W = window;
  const RequestClass = W.Request;
  const BlobClass = W.Blob;
  const FormDataClass = W.FormData;
  const SearchParams = W.URLSearchParams;
  const FileClass = W.File;
  const encoder = new W.TextEncoder();
  const ArrayBufferClass = W.ArrayBuffer;
  const isView = ArrayBufferClass.isView;
  const U8 = W.Uint8Array;
  const PromiseClass = W.Promise;
  const standard = ['DELETE', 'GET', 'HEAD', 'OPTIONS', 'POST', 'PUT'];

  const start = (kind, method, url) => {
    try { return begin(kind, method, url); } catch (e) { return 0; }
  };
  const finish = (ticket, headers, body) => {
    if (!ticket) return;
    try { complete(ticket, headers, body); } catch (e) {}
  };
  const drop = (ticket) => finish(ticket, null, null);
  const absolute = (url) => {
    try { return new W.URL(String(url), W.document.baseURI).href; } catch (e) { return null; }
  };
  const NavigatorClass = W.Navigator;
  const sendBeacon = NavigatorClass && NavigatorClass.prototype.sendBeacon;
  const wrapBeacon = (wrapper) => {
    NavigatorClass.prototype.sendBeacon = wrapper;
    Object.defineProperty(wrapper, 'name', { value: 'sendBeacon' });
  };
  if (typeof seen === 'function') {
    if (typeof sendBeacon !== 'function') return;
    wrapBeacon(function sendBeacon_(url) {
      const queued = sendBeacon.apply(this, arguments);
      if (queued) {
        const target = absolute(url);
        try { if (target) seen(target); } catch (e) {}
      }
      return queued;
    });
    return;
  }
  const methodOf = (method) => {
    const text = String(method);
    const upper = text.toUpperCase();
    return standard.indexOf(upper) >= 0 ? upper : text;
  };
  const hasHeader = (headers, name) =>
    headers.some(([key]) => String(key).toLowerCase() === name);
  const bytesOfBuffer = (buffer) => new U8(buffer.slice(0));
  const bytesOfView = (view) =>
    new U8(view.buffer.slice(view.byteOffset, view.byteOffset + view.byteLength));
  const join = (parts) => {
    let length = 0;
    for (const part of parts) length += part.length;
    const out = new U8(length);
    let at = 0;
    for (const part of parts) { out.set(part, at); at += part.length; }
    return out;
  };
  // The engine makes the boundary of a FormData sent by XMLHttpRequest or
  // sendBeacon inside the call, out of reach; the parts are written with a
  // boundary of the program's own, which the recorded Content-Type names.
  const escapeName = (name) => String(name).replace(/\r\n|\r|\n/g, '\r\n')
    .replace(/\n/g, '%0A').replace(/\r/g, '%0D').replace(/"/g, '%22');
  const multipart = (formData) => {
    const boundary = '----ScrivletFormBoundary' +
      Math.random().toString(36).slice(2, 14);
    const parts = [];
    const reads = [];
    for (const [name, value] of formData.entries()) {
      if (typeof value === 'string') {
        parts.push(encoder.encode('--' + boundary + '\r\nContent-Disposition: form-data; name="' +
          escapeName(name) + '"\r\n\r\n' + value.replace(/\r\n|\r|\n/g, '\r\n') + '\r\n'));
      } else {
        parts.push(encoder.encode('--' + boundary + '\r\nContent-Disposition: form-data; name="' +
          escapeName(name) + '"; filename="' + escapeName(value.name) + '"\r\nContent-Type: ' +
          (value.type || 'application/octet-stream') + '\r\n\r\n'));
        const at = parts.length;
        parts.push(new U8(0));
        reads.push(value.arrayBuffer().then((buffer) => { parts[at] = new U8(buffer); }));
        parts.push(encoder.encode('\r\n'));
      }
    }
    parts.push(encoder.encode('--' + boundary + '--\r\n'));
    return PromiseClass.all(reads).then(() => ({
      type: 'multipart/form-data; boundary=' + boundary, bytes: join(parts) }));
  };
  // The body's bytes and the type the engine gives it, or a promise of
  // them; null when there is none or it cannot be read.
  const describe = (body) => {
    if (body === null || body === undefined) return null;
    if (typeof body === 'string') {
      return { type: 'text/plain;charset=UTF-8', bytes: encoder.encode(body) };
    }
    if (SearchParams && body instanceof SearchParams) {
      return { type: 'application/x-www-form-urlencoded;charset=UTF-8',
               bytes: encoder.encode(String(body)) };
    }
    if (body instanceof ArrayBufferClass) return { type: '', bytes: bytesOfBuffer(body) };
    if (isView(body)) return { type: '', bytes: bytesOfView(body) };
    if (BlobClass && body instanceof BlobClass) {
      const type = body.type;
      return body.arrayBuffer().then((buffer) => ({ type, bytes: new U8(buffer) }));
    }
    if (FormDataClass && body instanceof FormDataClass) return multipart(body);
    return undefined;  // a document, a stream: not recorded
  };
  const finishWithBody = (ticket, headers, body) => {
    let described;
    try { described = describe(body); } catch (e) { described = undefined; }
    if (described === undefined) { drop(ticket); return; }
    const done = (known) => {
      if (!known) { finish(ticket, headers, null); return; }
      if (known.type && !hasHeader(headers, 'content-type')) {
        headers.push(['Content-Type', known.type]);
      }
      finish(ticket, headers, known.bytes);
    };
    if (described && typeof described.then === 'function') {
      described.then(done, () => drop(ticket));
    } else {
      done(described);
    }
  };

  const originalFetch = W.fetch;
  if (typeof originalFetch === 'function' && RequestClass) {
    // The Request is made first, so the bytes read from its clone are the
    // bytes sent (a FormData's boundary is fixed when it is made).
    // Parameters as the engine's functions have them, so that a wrapper's
    // length is the original's.
    W.fetch = function fetch(input) {
      let request;
      try {
        request = new RequestClass(input, arguments[1]);
      } catch (e) {
        return originalFetch.apply(this, arguments);
      }
      const method = request.method;
      const url = request.url;
      const headers = [];
      request.headers.forEach((value, name) => { headers.push([name, value]); });
      const copy = method === 'GET' || method === 'HEAD' ? null : request.clone();
      const ticket = start('fetch', method, url);
      const result = originalFetch.call(this, request);
      if (copy) {
        copy.arrayBuffer().then((buffer) => {
          finish(ticket, headers, buffer.byteLength ? new U8(buffer) : null);
        }, () => drop(ticket));
      } else {
        finish(ticket, headers, null);
      }
      return result;
    };
  }

  const XHR = W.XMLHttpRequest;
  if (XHR) {
    const proto = XHR.prototype;
    const open = proto.open;
    const setRequestHeader = proto.setRequestHeader;
    const send = proto.send;
    const opened = new W.WeakMap();
    proto.open = function open_(method, url) {
      const result = open.apply(this, arguments);
      opened.set(this, { method: methodOf(method), url: absolute(url), headers: [] });
      return result;
    };
    Object.defineProperty(proto.open, 'name', { value: 'open' });
    proto.setRequestHeader = function setRequestHeader_(name, value) {
      const result = setRequestHeader.apply(this, arguments);
      const state = opened.get(this);
      if (state) state.headers.push([String(name), String(value)]);
      return result;
    };
    Object.defineProperty(proto.setRequestHeader, 'name', { value: 'setRequestHeader' });
    proto.send = function send_() {
      const body = arguments[0];
      const state = opened.get(this);
      const ticket = state && state.url ? start('xhr', state.method, state.url) : 0;
      let result;
      try {
        result = send.apply(this, arguments);
      } catch (e) {
        drop(ticket);
        throw e;
      }
      if (ticket) {
        opened.delete(this);
        const noBody = state.method === 'GET' || state.method === 'HEAD';
        finishWithBody(ticket, state.headers.slice(), noBody ? null : body);
      }
      return result;
    };
    Object.defineProperty(proto.send, 'name', { value: 'send' });
  }

  if (typeof sendBeacon === 'function') {
    wrapBeacon(function sendBeacon_(url) {
      const data = arguments[1];
      const target = absolute(url);
      const ticket = target ? start('beacon', 'POST', target) : 0;
      let queued;
      try {
        queued = sendBeacon.apply(this, arguments);
      } catch (e) {
        drop(ticket);
        throw e;
      }
      if (queued) {
        finishWithBody(ticket, [], data);
      } else {
        drop(ticket);
      }
      return queued;
    });
  }
})
