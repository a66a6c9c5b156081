#!/usr/bin/env python3
"""The monitor's end-to-end parts: a simulated chip whose line is tapped,
whether a program holds a tap open, and the console's monitor window worked
by the driver on such taps (run by windows_e2e.py; wincli_e2e.py watches
the same taps with vxt4710-cli.exe monitor)."""
import csv
import io
import json
import os
import subprocess
import threading
import time
import tty

from windows_e2e import Chip, check, read_when_saved


# Held open, a tap is set up and what waits on it dropped before it is
# read: under Wine, on a loaded machine, that may take a second or more.
SET_UP_SECONDS = 2.5


def idles(lines):
    """How many 0x4F a chip's report says it sent."""
    return sum(1 for line in lines if line.startswith("send 0x4F"))


class TappedChip(Chip):
    """A simulated chip whose line is tapped as a tap cable does: host_tap
    carries what the controller sends, chip_tap what the chip answers."""

    def __init__(self, path, folder):  # pylint: disable=super-init-not-called
        os.makedirs(folder, exist_ok=True)
        self.proc = subprocess.Popen([path, "--time-scale", "0.01", "--quit-on-eof", "--ports-dir",
                                      folder, "--tap-host", "COM2", "--tap-chip", "COM3"],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, text=True)
        first = self.proc.stdout.readline().split()
        assert first[:1] == ["device"], first
        self.device = first[1]
        self.lines = []
        self.lock = threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()
        links = [os.path.join(folder, "com%d" % n) for n in (2, 3)]
        for _ in range(100):
            if all(os.path.islink(link) for link in links):
                break
            time.sleep(0.05)
        self.host_tap, self.chip_tap = (os.path.realpath(link) for link in links)

    def send_as_controller(self, data):
        """Bytes on the chip's line as a controller would send them."""
        fd = os.open(self.device, os.O_RDWR | os.O_NOCTTY)
        try:
            os.write(fd, data)
        finally:
            os.close(fd)

    def play(self, frames, pause):
        """A controller on the chip's line: each frame once the chip is idle
        again after the last, and pause seconds later."""
        fd = os.open(self.device, os.O_RDWR | os.O_NOCTTY)
        try:
            tty.setraw(fd)
            for frame in frames:
                idle = idles(self.snapshot())
                os.write(fd, frame)
                self.wait(lambda lines, n=idle: idles(lines) > n, 10)
                time.sleep(pause)
        finally:
            os.close(fd)

    def kill(self):
        """The chip and both taps vanish at once."""
        self.proc.kill()
        self.proc.wait(5)


def held(device):
    """Whether a process (a program, or the Wine server for it) holds device open."""
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        folder = "/proc/%s/fd" % pid
        try:
            for fd in os.listdir(folder):
                if os.readlink(os.path.join(folder, fd)) == device:
                    return True
        except OSError:
            continue
    return False


def wait_held(devices, seconds=30):
    end = time.time() + seconds
    while time.time() < end:
        if all(held(d) for d in devices):
            return True
        time.sleep(0.1)
    return False


MONITOR = "VXT4710Monitor"
# The monitor window's controls: the ports, start, the table, export, the
# counts and the status line.
HOST_BOX, CHIP_BOX, START, TABLE, EXPORT, COUNTS, STATUS = "1", "2", "4", "6", "8", "9", "10"
MONITOR_HEADERS = ["方向", "时间", "字节", "含义", "判定", "时序"]


def monitor_rows(console):
    rc, out = console.driver("count-in", MONITOR, TABLE)
    return int(out.strip()) if rc == 0 and out.strip().isdigit() else -1


def scenario_monitor(console, tapped, cli):
    """The monitor window, opened from the work log's menu, on the taps of a
    chip the Linux program speaks to: the rows of what it logged, in order,
    with no finding, exported as CSV; then the chip vanishes: its failure
    said once on the status line, the rows kept."""
    rc, out = console.driver("menu-up", "Text4", "3")  # above 端口诊断… and 保存工作记录
    check("the work log's menu opens 监听两条线路", rc == 0, out)
    console.driver("set-text-in", MONITOR, HOST_BOX, "COM2")
    console.driver("set-text-in", MONITOR, CHIP_BOX, "COM3")
    console.driver("click-in", MONITOR, START)
    rc, out = console.driver("wait-text-in", MONITOR, STATUS, "正在监听", "20")
    check("开始 watches the taps named", rc == 0, out)
    held_both = wait_held([tapped.host_tap, tapped.chip_tap])
    check("... both taps are open", held_both)
    time.sleep(SET_UP_SECONDS)
    logged = []
    for text in ("你好，监听窗口。", "再见"):
        time.sleep(0.3)  # a text at once after the last 0x4F might seem to cut the speech
        r = subprocess.run([cli, "--json", "--port", tapped.device, "speak", text],
                           capture_output=True, timeout=60)
        for line in r.stdout.decode("utf-8").splitlines():
            o = json.loads(line)
            if "hex" in o:
                logged.append(("控制器" if o["dir"] == "out" else "芯片", o["hex"]))
    rows = -1
    for _ in range(40):
        rows = monitor_rows(console)
        if rows >= len(logged):
            break
        time.sleep(0.25)
    check("the rows come as the chip speaks", rows >= len(logged) == 6, (rows, logged))

    path = os.path.join(console.wine.env["WINEPREFIX"], "drive_c", "vxt4710-monitor.csv")
    console.driver("click-in", MONITOR, EXPORT)
    rc, out = console.driver("save-dialog", r"C:\vxt4710-monitor", "30")
    check("导出CSV(&E)… saves through the save dialog", rc == 0, out)
    data = read_when_saved(path)
    table = list(csv.reader(io.StringIO(data.decode("utf-8-sig", "replace"), newline="")))
    check("the CSV's header row", table[:1] == [MONITOR_HEADERS], table[:1])
    seen = [(r[0], r[2]) for r in table[1:] if len(r) == 6]
    # The power-up 0x4A, sent before the tap was opened, may still come.
    if seen[:1] == [("芯片", "4A")]:
        seen.pop(0)
    check("its rows: what the Linux program sent and heard, in order", seen == logged,
          (seen, logged))
    rc, counts = console.driver("text-in", MONITOR, COUNTS)
    check("no finding", counts.strip().endswith("发现 0"), counts)

    tapped.kill()
    rc, out = console.driver("wait-text-in", MONITOR, STATUS, " tap: ", "20")
    check("a vanished tap: its failure on the status line", rc == 0, out)
    rc, _ = console.driver("no-message", "2")
    check("... and in no message box", rc == 0)
    rc, again = console.driver("text-in", MONITOR, STATUS)
    check("... said once: the status line keeps it", " tap: " in again
          and "正在监听" not in again, again)
    check("... the rows stay", monitor_rows(console) == len(table) - 1,
          (monitor_rows(console), len(table) - 1))
