// A double of navigator.serial, put in place before the page loads: each
// granted port carries its bytes over a WebSocket to the test's bridge
// (serial_bridge.py), which feeds them to the simulated chip. __serialDouble
// lets the test grant ports and pull one out.
(() => {
  const url = 'ws://127.0.0.1:%BRIDGE_PORT%/';
  const granted = [];
  const serial = new EventTarget();
  class Port extends EventTarget {
    constructor(n) {
      super();
      this.n = n;
      this.readable = null;
      this.writable = null;
    }
    getInfo() { return { usbVendorId: 0x1a86, usbProductId: 0x7520 + this.n }; }
    open({ baudRate }) {
      if (this.readable) return Promise.reject(new DOMException('The port is already open.', 'InvalidStateError'));
      return new Promise((resolve, reject) => {
        const ws = new WebSocket(url);
        ws.binaryType = 'arraybuffer';
        this.ws = ws;
        let input;
        ws.onopen = () => ws.send('open ' + baudRate);
        ws.onerror = () => reject(new DOMException('Failed to open serial port.', 'NetworkError'));
        ws.onmessage = (e) => {
          if (typeof e.data === 'string') {
            this.readable = new ReadableStream({ start: (c) => { input = c; } });
            this.writable = new WritableStream({ write: (chunk) => ws.send(chunk) });
            resolve();
          } else {
            input.enqueue(new Uint8Array(e.data));
          }
        };
        ws.onclose = () => {
          if (input && this.ws === ws) input.error(new DOMException('The device has been lost.', 'NetworkError'));
        };
      });
    }
    async close() {
      const ws = this.ws;
      this.ws = null;
      this.readable = null;
      this.writable = null;
      if (ws) ws.close();
    }
  }
  for (let n = 1; n <= %PREGRANTED%; ++n) granted.push(new Port(n));
  serial.getPorts = async () => granted.slice();
  serial.requestPort = async () => {
    const port = new Port(granted.length + 1);
    granted.push(port);
    return port;
  };
  window.__serialDouble = {
    grant: () => serial.requestPort(),
    // The adapter pulled out: its streams fail and the page hears of it.
    pullOut(index) {
      const port = granted.splice(index, 1)[0];
      if (port.ws) port.ws.close();
      const e = new Event('disconnect');
      Object.defineProperty(e, 'target', { value: port });
      serial.dispatchEvent(e);
    },
  };
  Object.defineProperty(navigator, 'serial', { value: serial, configurable: true });
})();
