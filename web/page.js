// The page around the core's window: draws the control table the core
// hands over (vxt_design_json), keeps each control's text and state for the
// core's adapters (web/page_controls.h), carries the page's events to the
// core's handlers, and shows its message boxes, menus and file dialogs.
// Text boxes hold LF line breaks; the core counts CR LF, two characters.
(function () {
  'use strict';
  const byId = (id) => document.getElementById(id);
  const storageKey = 'vxt4710.initialText';
  let design = null;

  // ---- calls into the core; held while the repetition test waits
  let asleep = false;
  const held = [];
  function call(name, ...args) {
    if (asleep) {
      held.push([name, args]);
      return;
    }
    Module['_' + name](...args);
  }
  function flushHeld() {
    while (!asleep && held.length) {
      const [name, args] = held.shift();
      Module['_' + name](...args);
    }
  }
  function withString(text, use) {
    const p = allocateUTF8(text);
    try { return use(p); } finally { _free(p); }
  }

  // ---- positions: LF in the element, CR LF in the core
  const crlf = (value, pos) => pos + (value.slice(0, pos).match(/\n/g) || []).length;
  function lf(value, units) {
    let u = 0;
    for (let i = 0; i < value.length; ++i) {
      if (u >= units) return i;
      u += value[i] === '\n' ? 2 : 1;
    }
    return value.length;
  }
  const fromCore = (text) => text.replace(/\r\n|\r/g, '\n');
  const toCore = (text) => text.replace(/\n/g, '\r\n');
  const pending = new Map(); // text box -> entries appended, not in it yet
  function flush(el) {
    const texts = pending.get(el);
    if (!texts) return el;
    pending.delete(el);
    const end = el.value.length;
    el.setRangeText(texts.join(''), end, end, 'end');
    el.scrollTop = el.scrollHeight;
    return el;
  }
  const box = (name) => flush(byId(name));
  const inputOf = (el) => (el.tagName === 'LABEL' ? el.querySelector('input') : el);

  const page = {
    text: (name) => toCore(box(name).value),
    setText(name, text) {
      const el = box(name);
      el.value = fromCore(text);
      if (name === 'Text3') keepText();
      if (name === 'Text5') hexTip();
    },
    // The log grows for weeks: entries wait in a batch that goes in at the
    // end at most every 30 ms (or before anything reads the box), so that
    // the box lays out its text once per batch, not once per entry.
    appendText(name, text) {
      const el = byId(name);
      if (!pending.has(el)) {
        pending.set(el, []);
        setTimeout(() => flush(el), 30);
      }
      pending.get(el).push(fromCore(text));
    },
    mid(name, start, length) {
      return toCore(box(name).value).substr(start, Math.max(0, length));
    },
    number(name, what) {
      const el = box(name);
      const v = el.value;
      switch (what) {
        case 'length': return v.length + (v.match(/\n/g) || []).length;
        case 'selStart': return crlf(v, el.selectionStart);
        case 'selLength': return crlf(v, el.selectionEnd) - crlf(v, el.selectionStart);
        // The hidden first entry is the field's designed text: no entry picked.
        case 'listIndex': return el.selectedIndex - 1;
        case 'listCount': return el.options.length - 1;
        case 'checked': return inputOf(el).checked ? 1 : 0;
        case 'min': return Number(el.min);
        case 'max': return Number(el.max);
        case 'value': return Number(el.value);
      }
      return 0;
    },
    setNumber(name, what, n) {
      const el = box(name);
      const v = el.value;
      switch (what) {
        case 'selStart': { const p = lf(v, Math.max(0, n)); el.setSelectionRange(p, p); break; }
        case 'selLength': {
          const start = crlf(v, el.selectionStart);
          el.setSelectionRange(el.selectionStart, lf(v, start + Math.max(0, n)));
          break;
        }
        case 'listIndex':
          el.selectedIndex = n >= 0 && n < el.options.length - 1 ? n + 1 : 0;
          break;
        case 'checked': inputOf(el).checked = n !== 0; break;
        case 'value': el.value = String(n); break;
      }
    },
    focus: (name) => inputOf(byId(name)).focus(),
    messageBox: (text) => { messages.push(fromCore(text)); nextMessage(); },
    post: (id) => setTimeout(() => call('vxt_run_posted', id), 0),
    sleeping(on) {
      asleep = on;
      document.body.style.cursor = on ? 'wait' : '';
      if (!on) setTimeout(flushHeld, 0);
    },
    keptText() {
      try { return localStorage.getItem(storageKey); } catch (e) { return null; }
    },
    download(name, bytes) {
      const url = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
      const a = document.createElement('a');
      a.href = url;
      a.download = name;
      document.body.appendChild(a);
      a.click();
      a.remove();
      setTimeout(() => URL.revokeObjectURL(url), 10000);
    },
    showAnalysis(json) {
      const a = JSON.parse(json);
      const box = byId('analysis');
      box.querySelector('.title').textContent = a.title;
      const table = box.querySelector('table');
      table.textContent = '';
      // (Emscripten's script optimiser reads no destructuring in loops.)
      [a.headers].concat(a.rows).forEach((cells, row) => {
        const tr = table.insertRow();
        for (const text of cells) {
          const cell = document.createElement(row ? 'td' : 'th');
          cell.textContent = text;
          tr.appendChild(cell);
        }
      });
      byId('exportCsv').textContent = a.export.replace('&', '');
      if (!box.open) box.showModal();
    },
    // For the ports (serial.js): calls into the core, held as any other.
    call,
  };
  Module.page = page;

  function keepText() {
    try { localStorage.setItem(storageKey, page.text('Text3')); } catch (e) { /* private mode */ }
  }
  function hexTip() {
    const el = byId('Text5');
    el.title = withString(page.text('Text5'), (p) => UTF8ToString(_vxt_hex_tip(p)));
  }

  // ---- message boxes: modal dialogs of the page, one after the other
  const messages = [];
  function nextMessage() {
    const box = byId('messageBox');
    if (box.open || !messages.length) return;
    box.querySelector('.body').textContent = messages.shift();
    box.showModal();
    box.querySelector('button').focus();
  }
  function setUpMessageBox() {
    const box = byId('messageBox');
    box.querySelector('button').addEventListener('click', () => box.close());
    box.addEventListener('close', () => setTimeout(nextMessage, 0));
  }

  // ---- the designed window
  const px = (twips) => Math.round(twips / 15);
  function makeElement(c) {
    let el;
    switch (c.kind) {
      case 'Frame': {
        el = document.createElement('div');
        el.className = 'frame';
        const cap = document.createElement('span');
        cap.className = 'caption';
        cap.textContent = c.caption;
        el.appendChild(cap);
        break;
      }
      case 'TextBox':
        el = document.createElement('textarea');
        el.value = fromCore(c.caption);
        el.spellcheck = false;
        break;
      case 'LineBox':
        el = document.createElement('input');
        el.value = c.caption;
        break;
      case 'CommandButton':
        el = document.createElement('button');
        el.type = 'button';
        el.textContent = c.caption;
        break;
      case 'CheckBox':
      case 'OptionButton': {
        el = document.createElement('label');
        const input = document.createElement('input');
        input.type = c.kind === 'CheckBox' ? 'checkbox' : 'radio';
        input.name = c.container;
        el.appendChild(input);
        el.appendChild(document.createTextNode(c.caption));
        break;
      }
      case 'ComboBox': {
        el = document.createElement('select');
        const shown = document.createElement('option');
        shown.textContent = c.caption; // the field's text until an entry is picked
        shown.hidden = true;
        el.appendChild(shown);
        for (const entry of c.entries) {
          const o = document.createElement('option');
          o.textContent = entry;
          el.appendChild(o);
        }
        break;
      }
      case 'Label':
        el = document.createElement('div');
        el.className = 'label';
        el.textContent = c.caption;
        break;
      case 'HScrollBar':
        el = document.createElement('input');
        el.type = 'range';
        break;
    }
    el.id = c.name;
    el.classList.add('ctl');
    el.dataset.tab = c.tab;
    Object.assign(el.style, { left: px(c.left) + 'px', top: px(c.top) + 'px',
                              width: px(c.width) + 'px', height: px(c.height) + 'px' });
    if (c.kind !== 'Frame' && c.kind !== 'Label') inputOf(el).tabIndex = c.tab + 1;
    return el;
  }

  function connect(c, row) {
    const el = byId(c.name);
    const input = inputOf(el);
    const click = () => call('vxt_event', row, 0);
    const change = () => call('vxt_event', row, 1);
    switch (c.kind) {
      case 'CommandButton': el.addEventListener('click', click); break;
      case 'ComboBox': el.addEventListener('change', click); break;
      case 'OptionButton': input.addEventListener('change', () => { if (input.checked) click(); }); break;
      case 'HScrollBar':
      case 'LineBox': el.addEventListener('input', change); break;
      case 'TextBox':
        if (c.name === 'Text3') el.addEventListener('input', keepText);
        if (c.name === 'Text5') el.addEventListener('input', hexTip);
        break;
    }
  }

  function drawWindow() {
    design = JSON.parse(UTF8ToString(_vxt_design_json()));
    document.title = design.title;
    const form = byId('Form1');
    form.style.width = px(design.width) + 'px';
    form.style.height = px(design.height) + 'px';
    for (const c of design.controls)
      (c.container ? byId(c.container) : form).appendChild(makeElement(c));
    for (const v of design.values) {
      const el = byId(v.control);
      if (el.type === 'range') { el.min = v.min; el.max = v.max; el.value = v.value; }
      else inputOf(el).checked = v.value !== 0;
    }
  }

  // ---- the context menus of Text3 and Text4: the core's entries
  function setUpMenus() {
    const menu = byId('menu');
    const hide = () => { menu.style.display = 'none'; };
    document.addEventListener('click', hide);
    document.addEventListener('keydown', (e) => { if (e.key === 'Escape') hide(); });
    for (const name of ['Text3', 'Text4']) {
      byId(name).addEventListener('contextmenu', (e) => {
        e.preventDefault();
        menu.textContent = '';
        design.menus.forEach((m, row) => {
          if (m.control !== name) return;
          const item = document.createElement('div');
          item.id = 'menu-' + m.id;
          item.textContent = m.caption.replace('&', '');
          item.addEventListener('click', () => { hide(); menuAction(m, row); });
          menu.appendChild(item);
        });
        Object.assign(menu.style, { left: e.clientX + 'px', top: e.clientY + 'px', display: 'block' });
      });
    }
  }

  function menuAction(m, row) {
    if (m.id === 'OpenText') byId('openFile').click();
    else if (design.dialogs[m.id]) askSaveName(design.dialogs[m.id], row);
    else call('vxt_menu', row);
  }

  // "打开文本文件": the chosen file's bytes go to the core, which decodes them.
  function setUpOpenFile() {
    const input = byId('openFile');
    input.addEventListener('change', async () => {
      const file = input.files[0];
      input.value = '';
      if (!file) return;
      const row = design.menus.findIndex((m) => m.id === 'OpenText');
      // Over the core's limit the bytes are not read at all.
      const bytes = file.size <= 16 * 1024 * 1024 ? new Uint8Array(await file.arrayBuffer()) : new Uint8Array(0);
      const p = _malloc(Math.max(1, bytes.length));
      HEAPU8.set(bytes, p);
      withString(file.name, (name) => _vxt_choose_file(name, p, bytes.length, file.size, 0));
      _free(p);
      call('vxt_menu', row);
    });
  }

  // The saves: a name and an encoding, then a download of the core's bytes.
  function askSaveName(dialog, row) {
    const box = byId('saveDialog');
    box.querySelector('.title').textContent = dialog.caption;
    byId('saveName').value = dialog.fileName;
    const filter = byId('saveFilter');
    filter.textContent = '';
    for (const label of dialog.filters) filter.appendChild(new Option(label));
    filter.selectedIndex = dialog.filter;
    byId('saveOk').onclick = () => {
      box.close();
      const name = byId('saveName').value.trim();
      if (!name) return;
      withString(name, (p) => _vxt_choose_file(p, 0, 0, 0, filter.selectedIndex));
      call('vxt_menu', row);
    };
    byId('saveCancel').onclick = () => box.close();
    box.showModal();
  }

  function setUpAnalysis() {
    byId('exportCsv').addEventListener('click', () => call('vxt_export_csv'));
    byId('closeAnalysis').addEventListener('click', () => byId('analysis').close());
  }

  async function start() {
    drawWindow();
    setUpAnalysis();
    setUpMessageBox();
    setUpMenus();
    setUpOpenFile();
    await Module.serial.start();
    design.controls.forEach(connect);
    hexTip();
    _vxt_start();
    window.addEventListener('pagehide', () => { keepText(); call('vxt_unload'); });
    byId('Text3').focus();
    document.body.dataset.ready = '1';
    // For the benchmark: when the window was ready, and when first drawn.
    document.body.dataset.readyMs = performance.now().toFixed(1);
    requestAnimationFrame(() => { document.body.dataset.drawnMs = performance.now().toFixed(1); });
  }
  Module.startPage = start;
})();
