"""What the browser tests stand on: the simulated chip and vxt4710-cli as
processes, the control table as its source has it, and the page in headless
Chromium with the double of navigator.serial (serial_double.js) put in place
before it loads. The paths come from browser_check.py's command line."""
import os
import re
import subprocess
import sys
import tempfile
import threading
import time

from selenium import webdriver
from selenium.webdriver.common.by import By

CASE, PAGE, CHIPSIM, CLI, SOURCE = (sys.argv + [""] * 6)[1:6]
PORT_FAILURE = "串口不存在或被占用,若电脑没有串口，请使用USB转串口设备"
CHROMIUM_FLAGS = ("--headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
                  "--disable-background-networking --disable-component-update --disable-sync "
                  "--window-size=1000,900").split()


def fail(message):
    print("browser_check %s: %s" % (CASE, message), file=sys.stderr)
    sys.exit(1)


def wait_for(what, check, timeout=10):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = check()
        if value:
            return value
        time.sleep(0.05)
    fail("timed out waiting for " + what)


class Chip:
    """vxt4710-chipsim on a pseudo-terminal of its own; its report collected."""

    def __init__(self, folder):
        self.lines = []
        self.proc = subprocess.Popen(
            [CHIPSIM, "--as", "COM1", "--ports-dir", folder, "--time-scale", "0.01",
             "--quit-on-eof"], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        threading.Thread(target=self._collect, daemon=True).start()
        first = wait_for("the chip's device", lambda: self.lines[:1])
        self.device = first[0].split()[1]
        wait_for("the chip's power-up", lambda: any("send 0x4A" in l for l in self.lines))

    def _collect(self):
        for line in self.proc.stdout:
            self.lines.append(line.rstrip("\n"))

    def frames(self):
        return [l[5:].split("|")[0].strip() for l in self.lines if l.startswith("recv ")]

    def stop(self):
        self.proc.stdin.close()
        self.proc.wait(10)


def cli_run(text, args):
    """vxt4710-cli on a chip of its own: the frames that chip received and
    what the program printed. text: spoken from a file (none: args alone)."""
    with tempfile.TemporaryDirectory() as folder:
        chip = Chip(folder)
        path = os.path.join(folder, "text.txt")
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write(text or "")
        more = ["-f", path] if text is not None else []
        out = subprocess.run([CLI, "--port", chip.device] + args + more,
                             capture_output=True, text=True, timeout=60)
        time.sleep(0.3)
        chip.stop()
        return chip.frames(), out.stdout


def designed_controls():
    """The rows of core/control_table.cpp, read from its source."""
    source = open(os.path.join(SOURCE, "core", "control_table.cpp"), encoding="utf-8").read()
    rows = []
    for m in re.finditer(r'\{"(\w+)", K::(\w+), "(\w*)",((?:\s*u?"(?:[^"\\]|\\.)*")+),'
                         r"\s*(\d+), (\d+),\s*(\d+), (\d+), (\d+)\}", source):
        caption = "".join(re.findall(r'"((?:[^"\\]|\\.)*)"', m.group(4)))
        caption = caption.replace('\\"', '"').replace("\\r\\n", "\n")
        rows.append(dict(name=m.group(1), kind=m.group(2), container=m.group(3), caption=caption,
                         rect=[int(m.group(i)) for i in range(5, 9)], tab=int(m.group(9))))
    return rows


class Page:
    def __init__(self, bridge_port, pregranted):
        options = webdriver.ChromeOptions()
        for flag in CHROMIUM_FLAGS:
            options.add_argument(flag)
        self.profile = tempfile.TemporaryDirectory()
        options.add_argument("--user-data-dir=" + self.profile.name)
        self.driver = webdriver.Chrome(options=options)
        double = open(os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                   "serial_double.js"), encoding="utf-8").read()
        double = double.replace("%BRIDGE_PORT%", str(bridge_port))
        double = double.replace("%PREGRANTED%", str(max(0, pregranted)))
        if pregranted < 0:  # a browser without Web Serial
            double = "delete Navigator.prototype.serial;"
        self.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": double})
        self.driver.get("file://" + os.path.abspath(PAGE))
        wait_for("the page", lambda: self.js("return document.body.dataset.ready === '1'"))

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def click(self, name):
        self.driver.find_element(By.ID, name).click()

    def log(self):
        return self.js("return document.getElementById('Text4').value")

    def message(self):
        return self.js("const b = document.getElementById('messageBox');"
                       "return b.open ? b.querySelector('.body').textContent : null")

    def close_message(self):
        self.driver.find_element(By.CSS_SELECTOR, "#messageBox button").click()

    def quit(self):
        self.driver.quit()
        self.profile.cleanup()
