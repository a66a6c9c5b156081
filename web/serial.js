// The ports granted to the page through Web Serial, as the lines of the
// core's serial control (web/web_serial.cpp). COM<n> is the n-th port granted
// (getPorts(), then each requestPort() in turn). The core's calls return at
// once: everything a port does goes through that port's chain of promises,
// so a close, an open at a new rate and the writes between keep their order.
(function () {
  'use strict';
  const byId = (id) => document.getElementById(id);
  let ports = [];
  const lines = new Map(); // id -> line
  const chains = new Map(); // port -> its last operation
  let nextId = 0;

  function onPort(port, step) {
    const next = (chains.get(port) || Promise.resolve()).then(step, step);
    chains.set(port, next.catch(() => {}));
    return next;
  }
  function notify(line) {
    if (line.notified) return;
    line.notified = true;
    setTimeout(() => { line.notified = false; Module.page.call('vxt_line_ready', line.id); }, 0);
  }
  function lose(line, reason, openFailed) {
    if (line.closed || line.lostReason !== null) return;
    line.lostReason = reason || 'the port is lost';
    line.openFailed = !!openFailed;
    notify(line);
  }
  const message = (e) => (e && e.message) || String(e);

  async function readLoop(line) {
    const readable = line.port.readable;
    if (!readable) { lose(line, 'the port has no input'); return; }
    const reader = readable.getReader();
    line.reader = reader;
    try {
      for (;;) {
        const { value, done } = await reader.read();
        if (done) break;
        if (value && value.length && !line.closed) {
          line.rx.push(value);
          notify(line);
        }
      }
      if (!line.closed && !line.reopening) lose(line, 'the port was closed');
    } catch (e) {
      if (!line.closed && !line.reopening) lose(line, message(e));
    } finally {
      line.reader = null;
      try { reader.releaseLock(); } catch (e) { /* already released */ }
    }
  }
  async function openAt(line, rate) {
    await line.port.open({ baudRate: rate });
    line.reading = readLoop(line);
  }
  async function shut(line) {
    if (line.reader) { try { await line.reader.cancel(); } catch (e) { /* gone */ } }
    if (line.reading) await line.reading;
    try { await line.port.close(); } catch (e) { /* lost or closed already */ }
  }

  const serial = {
    portCount: () => ports.length,
    open(index, rate, quietAbsent) {
      const port = ports[index];
      if (!port && !quietAbsent) return -1;
      const line = { id: ++nextId, port, rx: [], lostReason: null, openFailed: false,
                     closed: false, reopening: false, reader: null, reading: null, notified: false };
      lines.set(line.id, line);
      if (!port) {
        lose(line, 'no port granted to the page yet');
        return line.id;
      }
      onPort(port, () => openAt(line, rate)).catch((e) => lose(line, message(e), true));
      return line.id;
    },
    write(id, bytes) {
      const line = lines.get(id);
      if (!line || line.lostReason !== null) return false;
      onPort(line.port, async () => {
        if (line.lostReason !== null || line.closed) return;
        const writer = line.port.writable.getWriter();
        try { await writer.write(bytes); } finally { writer.releaseLock(); }
      }).catch((e) => lose(line, message(e)));
      return true;
    },
    // The chip listens at rate from now on: the port is closed and opened again.
    setRate(id, rate) {
      const line = lines.get(id);
      if (!line) return;
      onPort(line.port, async () => {
        if (line.lostReason !== null || line.closed) return;
        line.reopening = true;
        await shut(line);
        line.reopening = false;
        await openAt(line, rate);
      }).catch((e) => lose(line, message(e)));
    },
    pending(id) {
      const line = lines.get(id);
      return line ? line.rx.reduce((n, chunk) => n + chunk.length, 0) : 0;
    },
    read(id, max) {
      const line = lines.get(id);
      const out = new Uint8Array(Math.min(max, serial.pending(id)));
      let at = 0;
      while (line && at < out.length) {
        const chunk = line.rx[0];
        const n = Math.min(chunk.length, out.length - at);
        out.set(chunk.subarray(0, n), at);
        at += n;
        if (n === chunk.length) line.rx.shift();
        else line.rx[0] = chunk.subarray(n);
      }
      return out;
    },
    lost(id) {
      const line = lines.get(id);
      return line ? line.lostReason : null;
    },
    openFailed: (id) => { const line = lines.get(id); return !!(line && line.openFailed); },
    close(id) {
      const line = lines.get(id);
      if (!line) return;
      lines.delete(id);
      line.closed = true;
      if (line.port) onPort(line.port, () => shut(line)).catch(() => {});
    },
    async start() {
      if (!navigator.serial) {
        byId('noSerial').hidden = false;
        byId('grantPort').disabled = true;
        showPorts();
        return;
      }
      try { ports = await navigator.serial.getPorts(); } catch (e) { ports = []; }
      navigator.serial.addEventListener('connect', (e) => {
        if (!ports.includes(e.target)) ports.push(e.target);
        showPorts();
      });
      navigator.serial.addEventListener('disconnect', (e) => {
        ports = ports.filter((p) => p !== e.target);
        for (const line of lines.values())
          if (line.port === e.target) lose(line, 'the device was disconnected');
        showPorts();
      });
      byId('grantPort').addEventListener('click', async () => {
        try {
          const port = await navigator.serial.requestPort();
          if (!ports.includes(port)) ports.push(port);
        } catch (e) { /* the user chose none */ }
        showPorts();
      });
      showPorts();
    },
  };
  Module.serial = serial;

  const hex4 = (n) => n.toString(16).padStart(4, '0');
  function describe(port) {
    const info = port.getInfo ? port.getInfo() : {};
    return info.usbVendorId === undefined ? '非 USB 串口'
      : 'USB ' + hex4(info.usbVendorId) + ':' + hex4(info.usbProductId);
  }
  // The bar lists the granted ports; each entry of Combo4 tells its device.
  function showPorts() {
    byId('grantedPorts').textContent = ports.length
      ? ports.map((p, i) => 'COM' + (i + 1) + '：' + describe(p)).join('，')
      : '尚未授权任何串口';
    const combo = byId('Combo4');
    if (!combo) return;
    for (let i = 1; i < combo.options.length; ++i) {
      const port = ports[i - 1];
      combo.options[i].title = port ? 'COM' + i + ' → ' + describe(port) : 'COM' + i + '：没有对应的串口设备';
    }
  }

  if (runtimeInitialized) Module.startPage();
  else Module.onRuntimeInitialized = () => Module.startPage();
})();
