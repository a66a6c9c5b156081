#!/usr/bin/python3
"""The page for the browser (build-web/web/) in headless Chromium: its size,
page load to the window drawn, and the reply to the next piece of continuous
playback inside the page, on a port double that answers each text frame at
once (0x41, then 0x4F), beside the Linux window's reply in the same run.
Prints figures; passes or fails nothing.

    /usr/bin/python3 bench/bench_web.py [loads] [pieces]"""
import base64
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

from selenium import webdriver

HERE = os.path.dirname(os.path.abspath(__file__))
WEB = os.path.join(HERE, "..", "build-web", "web")
LOADS = int(sys.argv[1]) if len(sys.argv) > 1 else 20
PIECES = int(sys.argv[2]) if len(sys.argv) > 2 else 300

# A granted port whose chip answers in the page itself: the time each text
# frame is written and each idle byte handed to the page are kept.
CHIP_DOUBLE = """(() => {
  const writes = [], idles = [];
  window.__bench = { writes, idles };
  class Port {
    getInfo() { return {}; }
    async open() {
      let input;
      this.readable = new ReadableStream({ start: (c) => { input = c; } });
      this.writable = new WritableStream({ write: (chunk) => {
        if (chunk[0] !== 0xFD || chunk[3] !== 0x01) return;
        writes.push(performance.now());
        input.enqueue(new Uint8Array([0x41]));
        setTimeout(() => { idles.push(performance.now()); input.enqueue(new Uint8Array([0x4F])); }, 1);
      } });
    }
    async close() { this.readable = this.writable = null; }
  }
  const serial = new EventTarget();
  const port = new Port();
  serial.getPorts = async () => [port];
  serial.requestPort = async () => port;
  Object.defineProperty(navigator, 'serial', { value: serial, configurable: true });
})();"""


def chromium():
    options = webdriver.ChromeOptions()
    for flag in ("--headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
                 "--disable-background-networking --disable-component-update --disable-sync").split():
        options.add_argument(flag)
    profile = tempfile.mkdtemp()
    options.add_argument("--user-data-dir=" + profile)
    return webdriver.Chrome(options=options)


def sizes():
    script = open(os.path.join(WEB, "vxt4710.js"), encoding="utf-8").read()
    wasm = re.search(r"data:application/octet-stream;base64,([A-Za-z0-9+/=]+)", script).group(1)
    html = os.path.getsize(os.path.join(WEB, "index.html"))
    print("size: index.html %d bytes, vxt4710.js %d bytes (the module inside it: %d bytes of "
          "WebAssembly, %d as base64), together %.1f KiB"
          % (html, len(script.encode()), len(base64.b64decode(wasm)), len(wasm),
             (html + len(script.encode())) / 1024))


def load_times(driver):
    url = "file://" + os.path.abspath(os.path.join(WEB, "index.html"))
    ready, drawn = [], []
    for _ in range(LOADS):
        driver.get(url)
        end = time.monotonic() + 10
        while time.monotonic() < end and not driver.execute_script(
                "return document.body.dataset.drawnMs"):
            time.sleep(0.02)
        ready.append(float(driver.execute_script("return document.body.dataset.readyMs")))
        drawn.append(float(driver.execute_script("return document.body.dataset.drawnMs")))
    print("load: navigation start to the window ready, median of %d: %.1f ms (max %.1f); "
          "to its first frame drawn: %.1f ms (max %.1f)"
          % (LOADS, statistics.median(ready), max(ready), statistics.median(drawn), max(drawn)))


def reply_times(driver):
    driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": CHIP_DOUBLE})
    driver.get("file://" + os.path.abspath(os.path.join(WEB, "index.html")))
    while not driver.execute_script("return document.body.dataset.ready"):
        time.sleep(0.02)
    # PIECES pieces of 200 bytes: 100 characters each.
    driver.execute_script("document.getElementById('Text3').value = arguments[0]",
                          "语音合成芯片测试" * (PIECES * 100 // 8))
    driver.find_element("id", "Command3").click()
    end = time.monotonic() + 300
    while time.monotonic() < end and driver.execute_script(
            "return __bench.writes.length") < PIECES:
        time.sleep(0.1)
    writes, idles = driver.execute_script("return [__bench.writes, __bench.idles]")
    gaps = sorted(w - i for i, w in zip(idles, writes[1:]))
    print("reply: idle byte handed to the page -> next piece written to the port, %d pieces: "
          "median %.3f ms, 99th percentile %.3f ms, max %.3f ms"
          % (len(gaps), statistics.median(gaps), gaps[int(len(gaps) * 0.99) - 1], gaps[-1]))


def linux_window_reply():
    """The Linux window's reply to the next piece in the same run, beside the
    page's (build/bench/bench_reply: the real window on a pseudo-terminal)."""
    bench = os.path.join(HERE, "..", "build", "bench", "bench_reply")
    if not os.path.exists(bench):
        print("Linux window: not measured (no build/bench/bench_reply)")
        return
    out = subprocess.run([bench, str(PIECES)], capture_output=True, text=True,
                         timeout=600).stdout.splitlines()
    # The direct measurement: its heading and figures, before the loopback's.
    for line in out[:5]:
        print("Linux window, " + line if not line.startswith(" ") else line)


def main():
    sizes()
    driver = chromium()
    try:
        load_times(driver)
        reply_times(driver)
    finally:
        driver.quit()
    linux_window_reply()


if __name__ == "__main__":
    main()
