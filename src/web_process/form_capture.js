(function () {
  'use strict';
  // Defined in this world, and only here, by the program's web process
  // extension: scrivletPost hands a message of one kind to the program as
  // plain data; scrivletMessage holds the kinds' names and the keys.
  const send = typeof scrivletPost === 'function' ? scrivletPost : null;
  if (!send || typeof scrivletMessage !== 'object') return;
  const M = scrivletMessage;
  const frame = Math.random().toString(36).slice(2) + '.' + Date.now().toString(36);
  const post = (kind, message) => {
    message[M.kFrame] = frame;
    try { send(kind, message); } catch (e) {}
  };
  const text = (value) => {
    const s = String(value);
    return typeof s.toWellFormed === 'function' ? s.toWellFormed() : s;
  };
  const base64 = (buffer) => {
    const bytes = new Uint8Array(buffer);
    let binary = '';
    for (let i = 0; i < bytes.length; i += 0x8000) {
      binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    }
    return btoa(binary);
  };
  const encodingOf = (form) => {
    const labels = (form.getAttribute('accept-charset') || '').split(/[\s,]+/);
    for (const label of labels) {
      if (!label) continue;
      try { return new TextDecoder(label).encoding; } catch (e) {}
    }
    return document.characterSet;
  };

  // A submit event is followed, in the same task, by the formdata event of
  // the submission it starts; its submitter may override action and method.
  // Only events the engine raised count: a page can construct and dispatch
  // submit and formdata events of its own, with any entries it likes, and
  // their isTrusted is false.
  let lastSubmit = null;
  window.addEventListener('submit', (event) => {
    if (!event.isTrusted) return;
    lastSubmit = { form: event.target, submitter: event.submitter || null };
    setTimeout(() => { lastSubmit = null; }, 0);
  }, true);

  // File -> its contents in base64 once read, null while being read. A Map,
  // not a WeakMap: this world's wrapper of a File dies with the last
  // reference of this world, and the formdata event would then bring a new
  // wrapper that a WeakMap no longer knows. The entries of an input go when
  // its choice changes.
  const chosen = new Map();
  const chosenBy = new WeakMap();  // input -> the files of its last choice
  const readChosen = (event) => {
    const path = typeof event.composedPath === 'function' ? event.composedPath() : [];
    const input = path.length ? path[0] : event.target;
    if (!(input instanceof HTMLInputElement) || input.type !== 'file') return;
    const files = Array.from(input.files || []);
    for (const old of chosenBy.get(input) || []) {
      if (!files.includes(old)) chosen.delete(old);
    }
    chosenBy.set(input, files);
    for (const file of files) {
      if (file.size === 0 || chosen.has(file)) continue;
      chosen.set(file, null);
      file.arrayBuffer().then((buffer) => {
        if (chosen.has(file)) chosen.set(file, base64(buffer));
      }, () => { chosen.delete(file); });
    }
  };
  window.addEventListener('input', readChosen, true);
  window.addEventListener('change', readChosen, true);

  let sequence = 0;
  const report = (formData, info) => {
    const entries = [];
    const files = [];
    for (const [name, value] of formData.entries()) {
      if (typeof value === 'string') {
        entries.push({ [M.kName]: text(name), [M.kValue]: text(value) });
      } else {
        const entry = { [M.kName]: text(name), [M.kFile]: true,
                        [M.kFilename]: text(value.name),
                        [M.kType]: text(value.type), [M.kData]: '' };
        entries.push(entry);
        if (value.size === 0) continue;
        const known = chosen.get(value);
        if (typeof known === 'string') {
          entry[M.kData] = known;
        } else {
          files.push([entry, value]);
        }
      }
    }
    const form = (complete) => Object.assign(
        { [M.kEntries]: entries, [M.kComplete]: complete }, info);
    post(M.kFormMessage, form(files.length === 0));
    if (files.length === 0) return;
    Promise.all(files.map(([entry, file]) => file.arrayBuffer().then(
        (buffer) => { entry[M.kData] = base64(buffer); }, () => {})))
      .then(() => post(M.kFormMessage, form(true)));
  };

  window.addEventListener('formdata', (event) => {
    if (!event.isTrusted) return;
    const form = event.target;
    if (!(form instanceof HTMLFormElement)) return;
    const submitter = lastSubmit && lastSubmit.form === form ? lastSubmit.submitter : null;
    lastSubmit = null;
    const overrides = (name) => submitter && submitter.hasAttribute(name);
    const info = {
      [M.kId]: ++sequence,
      [M.kAction]: text(overrides('formaction') ? submitter.formAction : form.action),
      [M.kMethod]: text(overrides('formmethod') ? submitter.formMethod : form.method).toLowerCase(),
      [M.kCharset]: encodingOf(form),
    };
    let done = false;
    const finish = (later) => {
      if (later && later !== event) return;
      if (done) return;
      done = true;
      window.removeEventListener('formdata', finish, false);
      report(event.formData, info);
    };
    window.addEventListener('formdata', finish, false);
    // A page listener that stops the propagation keeps the bubbling
    // listener from running; report at the end of the task instead.
    setTimeout(() => finish(null), 0);
  }, true);

  // The requests the page's scripts made, as the engine's resource timing
  // tells them to this world too: read only, and invisible to the page.
  // The program counts those it did not record; while it records them, the
  // extension finds among them those sent without an announcement.
  if (typeof PerformanceObserver === 'function') {
    const kinds = ['fetch', 'xmlhttprequest', 'beacon'];
    try {
      new PerformanceObserver((list) => {
        for (const entry of list.getEntries()) {
          if (kinds.includes(entry.initiatorType)) {
            post(M.kScriptSeenMessage, { [M.kUrl]: text(entry.name) });
          }
        }
      }).observe({ type: 'resource' });
    } catch (e) {}
  }

  if (window !== window.top) {
    window.addEventListener('load', () => {
      let top = '';
      try { top = String(window.top.location.href); } catch (e) {}
      post(M.kFrameLoadMessage, { [M.kUrl]: String(location.href), [M.kTop]: top });
    });
  }
})();
