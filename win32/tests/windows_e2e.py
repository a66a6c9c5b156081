#!/usr/bin/env python3
"""The Windows console under wine64 on Xvfb, worked by the test driver
(vxt4710-driver.exe) against the simulated chip. Prints one line per check
and closes with 'N passed, N failed'; exits 1 when any check failed."""
import argparse
import csv
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time

sys.dont_write_bytecode = True  # no cache beside the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_prefix  # noqa: E402
# Run as a program, this is also the windows_e2e its helper modules import:
# one list of results.
sys.modules.setdefault("windows_e2e", sys.modules[__name__])

WINE = wine_prefix.WINE
WINESERVER = wine_prefix.WINESERVER
INITIAL_FILE = "初始默认文本.txt"
INITIAL_TEXT = "初始文本：你好，世界。\r\n第二行"
LONG_LINE = b"a" * (1024 * 1024)  # the initial file's size limit, no break anywhere
PORT_FAILURE = "串口不存在或被占用,若电脑没有串口，请使用USB转串口设备"
IDLE_LINE = "<-0x4F  芯片空闲"
# The designed focus order from Text3 on. Option2 is reached by the arrow
# keys from Option1, as in every group of option buttons.
TAB_ORDER = ("Check2 Check3 Check4 Command20 Combo3 Command26 Command27 Command7 Command8 "
             "Command9 Command21 Command28 Command2 Command31 Command32 Combo1 Text4 Command6 "
             "Command34 Text5 Command29 Command30 HScroll1 HScroll2 Combo2 Check1 Command1 "
             "HScroll3 Option1 Command3 Command4 Text1 Combo4 Combo5 Command11 Text3").split()

results = []
ARGS = None


def check(name, ok, detail=""):
    results.append(bool(ok))
    print(("ok   " if ok else "FAIL ") + name + ("" if ok or not detail else ": " + str(detail)),
          flush=True)
    return ok


def summary():
    """Prints the count of passed and failed checks; the exit status."""
    failed = results.count(False)
    print("%d passed, %d failed" % (len(results) - failed, failed))
    return 1 if failed else 0


def e2e_arguments(*more):
    """The options every end-to-end run takes: the Windows build, the
    simulated chip and the Linux program, the reference; more adds others
    as (name, default, help)."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build-windows")
    parser.add_argument("--chipsim", default="build/sim/vxt4710-chipsim")
    parser.add_argument("--cli", default="build/cli/vxt4710-cli", help="the Linux program")
    for name, default, text in more:
        parser.add_argument(name, default=default, help=text)
    return parser.parse_args()


class Chip:
    """The simulated chip on a pseudo-terminal; its report lines are kept."""

    def __init__(self, path):
        self.proc = subprocess.Popen([path, "--time-scale", "0.01", "--quit-on-eof"],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, text=True)
        first = self.proc.stdout.readline().split()
        assert first[:1] == ["device"], first
        self.device = first[1]
        self.lines = []
        self.lock = threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            with self.lock:
                self.lines.append(line.rstrip("\n"))

    def snapshot(self):
        with self.lock:
            return list(self.lines)

    def frames(self, since=0):
        out = []
        for line in self.snapshot()[since:]:
            if line.startswith("recv "):
                out.append(bytes.fromhex(line[5:].split("|")[0]))
        return out

    def wait(self, predicate, seconds=20):
        end = time.time() + seconds
        while time.time() < end:
            if predicate(self.snapshot()):
                return True
            time.sleep(0.1)
        return False

    def stop(self):
        self.proc.stdin.close()
        try:
            self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()


class Wine:
    def __init__(self, root, display):
        self.prefix = os.path.join(root, "prefix")
        self.env = wine_prefix.environment(self.prefix, display)

    def boot(self):
        """Makes the prefix, every port mapped to nothing before any Windows
        program starts (wine_prefix.py); checks that nothing reaches a real
        device."""
        wine_prefix.make(self.prefix, display=self.env.get("DISPLAY"))
        self.check_devices("the new prefix")

    def check_devices(self, when):
        found = wine_prefix.real_device_links(self.prefix)
        return check("no name in the prefix reaches a real device (%s)" % when, not found, found)

    def run(self, *args, cwd=None, timeout=120):
        # Output through a file, not a pipe: a Wine server started by this
        # process inherits its descriptors and would hold a pipe open.
        with tempfile.TemporaryFile() as out:
            r = subprocess.run([WINE, *args], env=self.env, cwd=cwd, stdout=out,
                               stderr=subprocess.DEVNULL, timeout=timeout)
            out.seek(0)
            r.stdout = out.read()
        return r

    def start(self, *args, cwd=None):
        return subprocess.Popen([WINE, *args], env=self.env, cwd=cwd, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def map_ports(self, com1, more=None):
        wine_prefix.map_ports(self.env, {**(more or {}), 1: com1})
        # One server, with the prefix's services up, before the console and
        # the driver start side by side: two first starts at once can stall.
        # (It stays in the background: it must not hold our pipes.)
        subprocess.run([WINESERVER, "-p"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        self.run("reg", "query", r"HKLM\Software\Wine\Ports", "/v", "COM1")

    def stop_server(self):
        subprocess.run([WINESERVER, "-k"], env=self.env, capture_output=True)
        subprocess.run([WINESERVER, "-w"], env=self.env, capture_output=True)


class Console:
    def __init__(self, wine, build, cwd):
        self.wine, self.cwd = wine, cwd
        self.driver_exe = os.path.join(build, "tests", "vxt4710-driver.exe")
        self.proc = wine.start(os.path.join(build, "vxt4710.exe"), cwd=cwd)

    def driver(self, *args, timeout=90):
        r = self.wine.run(self.driver_exe, *args, timeout=timeout)
        return r.returncode, r.stdout.decode("utf-8", "replace").replace("\r\n", "\n")

    def text(self, name):
        return self.driver("text", name)[1].rstrip("\n")

    def close(self):
        self.driver("close")
        try:
            self.proc.wait(20)
        except subprocess.TimeoutExpired:
            self.proc.kill()


def checksum(frame):
    x = 0
    for b in frame:
        x ^= b
    return x


def scenario_chip(console, chip):
    rc, out = console.driver("title")
    check("title", out.strip() == "Orvanta-VXT4710E中文语音合成芯片-PC端演示程序", out)
    rc, out = console.driver("layout")
    check("every control at its designed rectangle with its caption", rc == 0, out)

    rc, out = console.driver("tab", str(len(TAB_ORDER)))
    check("Tab goes round the designed order, hidden and off-window controls included",
          out.split() == TAB_ORDER, out.split())
    rc, out = console.driver("tab", "3", "back")
    check("Shift+Tab goes back", out.split() == ["Command11", "Combo5", "Combo4"], out.split())
    console.driver("tab", "3")

    check("start-up reads the GBK initial file into Text3",
          console.text("Text3") == INITIAL_TEXT.replace("\r\n", "\n"), console.text("Text3"))
    check("start-up opens COM1 at 9600", chip.wait(lambda l: "power up: 9600 bit/s, idle" in l))

    # One frame of at most 200 bytes from the chip introduction.
    console.driver("click", "Command31")
    intro = ""
    for _ in range(50):
        intro = console.text("Text3")
        if intro != INITIAL_TEXT.replace("\r\n", "\n"):
            break
        time.sleep(0.1)
    start = len(chip.snapshot())
    console.driver("click", "Command6")
    ok = chip.wait(lambda l: any(x.startswith("recv ") for x in l[start:]))
    frames = chip.frames(start)
    check("播放最多200字节 sends one frame of 200 text bytes",
          ok and len(frames) == 1 and len(frames[0]) == 206 and frames[0][3] == 0x01, frames)
    chip.wait(lambda l: "send 0x4F" in "".join(l[start:]))
    console.driver("click", "Command2")  # clears the work log

    # Continuous playback: five frames, the idle reply to each read.
    start = len(chip.snapshot())
    console.driver("click", "Command3")
    end = time.time() + 40
    while time.time() < end and console.text("Text4").count(IDLE_LINE) < 5:
        time.sleep(0.3)
    time.sleep(1)
    frames = chip.frames(start)
    texts = [f[5:-1] for f in frames]
    check("播放全部(连续) plays the introduction as five frames",
          [len(t) for t in texts] == [200, 199, 200, 199, 187], [len(t) for t in texts])
    check("each frame's checksum holds", all(checksum(f[:-1]) == f[-1] for f in frames))
    check("the five frames carry the whole introduction in GBK",
          b"".join(texts) == intro.replace("\n", "\r\n").encode("gbk", "replace"))
    log = console.text("Text4")
    check("the work log shows five frames and five idle replies",
          log.count("发出一帧") == 5 and log.count(IDLE_LINE) == 5, log[-300:])
    linux_frames, linux_log = linux_reference(intro)
    check("the five frames are byte-identical to the Linux console's",
          frames == linux_frames, (frames, linux_frames))
    check("the work log's text is identical to the Linux console's",
          log.rstrip("\n") == linux_log.rstrip("\n"), (log[-300:], linux_log[-300:]))

    scenario_csv(console, chip)
    scenario_capture(console, chip)

    # The rate change to 19200, then a frame at 19200.
    check_rate_change(console, chip, "the rate change reaches the chip",
                      "the next frame runs at 19200")

    # Hex frames: automatic checksum, then the same frame with it typed.
    start = len(chip.snapshot())
    console.driver("set-text", "Text5", "fd 00 07 01 01 c4 e3 ba c3")
    console.driver("click", "Command29")
    chip.wait(lambda l: any(x.startswith("recv ") for x in l[start:]))
    auto = chip.frames(start)
    check("a hex frame with automatic checksum",
          len(auto) == 1 and auto[0][:-1] == bytes.fromhex("fd00070101c4e3bac3")
          and auto[0][-1] == checksum(auto[0][:-1]), auto)
    if auto:
        start = len(chip.snapshot())
        console.driver("set-text", "Text5", " ".join("%02x" % b for b in auto[0]))
        console.driver("click", "Command30")
        chip.wait(lambda l: any(x.startswith("recv ") for x in l[start:]))
        check("a hex frame with typed checksum", chip.frames(start) == auto, chip.frames(start))

    # An attribute change sends its mark.
    start = len(chip.snapshot())
    console.driver("scroll", "HScroll1", "right")
    ok = chip.wait(lambda l: any(x.startswith("recv ") for x in l[start:]))
    frames = chip.frames(start)
    check("moving the volume bar sends its mark",
          ok and frames and b"[v" in frames[0], frames)

    # A demonstration text loads.
    console.driver("click", "Command1")
    time.sleep(1)
    check("a demonstration text loads", len(console.text("Text3")) > 20, console.text("Text3"))


def check_rate_change(console, chip, reached, next_frame):
    """设置芯片 to 19200: the chip changes its rate, and the next frame comes
    at 19200 (the chip ignores a frame at another rate)."""
    start = len(chip.snapshot())
    console.driver("choose", "Combo5", "1")
    console.driver("click", "Command11")
    check(reached, chip.wait(lambda l: any("rate 19200 bit/s from now on" in x for x in l[start:])))
    time.sleep(1)
    console.driver("set-text", "Text3", "速率")
    start = len(chip.snapshot())
    console.driver("click", "Command6")
    ok = chip.wait(lambda l: any(x.startswith("recv ") for x in l[start:]))
    later = chip.snapshot()[start:]
    check(next_frame, ok and not any("ignored" in x for x in later), later)


def read_when_saved(path):
    """The bytes of a file a save dialog writes, once it is there (b"" when
    it never comes)."""
    for _ in range(50):
        if os.path.exists(path):
            with open(path, "rb") as f:
                return f.read()
        time.sleep(0.2)
    return b""


def scenario_csv(console, chip):
    """The analysis window from the work log's menu, its CSV saved through
    Windows' save dialog: every frame and status byte the chip saw and sent."""
    path = os.path.join(console.wine.env["WINEPREFIX"], "drive_c", "vxt4710-traffic.csv")
    rc, out = console.driver("menu", "Text4", "I")
    check("the work log's menu opens 通信分析", rc == 0, out)
    rc, out = console.driver("click-in", "VXT4710Analysis", "2")
    check("导出CSV(&E)… opens a save dialog", rc == 0, out)
    # Typed without an extension, the name gets the CSV filter's.
    rc, out = console.driver("save-dialog", r"C:\vxt4710-traffic", "30")
    check("the save dialog takes the file name", rc == 0, out)
    data = read_when_saved(path)
    check("a name typed without an extension gets .csv", os.path.exists(path),
          os.listdir(os.path.dirname(path)))
    check("the CSV is UTF-8 with a byte-order mark and CR LF line ends",
          data.startswith(b"\xef\xbb\xbf") and data.count(b"\n") == data.count(b"\r\n") > 1,
          data[:80])
    rows = [r for r in csv.reader(io.StringIO(data.decode("utf-8-sig", "replace"), newline=""))]
    check("its header row", rows[:1] == [["时间", "方向", "字节", "含义", "校验", "耗时"]], rows[:1])
    sent = [r for r in rows[1:] if len(r) == 6 and r[1] == "发送"]
    received = [r for r in rows[1:] if len(r) == 6 and r[1] == "接收"]
    check("one row per frame and status byte",
          len(sent) + len(received) == len(rows) - 1 and sent and received, rows[-3:])
    check("the frames' bytes are those the chip received",
          [bytes.fromhex(r[2]) for r in sent] == chip.frames(), [r[2][:30] for r in sent])
    # The chip's power-up byte comes before the console opens the port,
    # which drops what is waiting: the replies start after the first frame.
    lines = chip.snapshot()
    first = next((i for i, x in enumerate(lines) if x.startswith("recv ")), len(lines))
    replies = [int(x.split()[1], 16) for x in lines[first:] if x.startswith("send 0x")]
    check("the status bytes are those the chip sent since the first frame",
          [bytes.fromhex(r[2]) for r in received] == [bytes([b]) for b in replies],
          ([r[2] for r in received], replies))
    check("every frame's checksum column says ✓", all(r[4] == "✓" for r in sent),
          [r[4] for r in sent])


def capture_packets(data):
    """The packets of a little-endian pcapng file: (bytes, flags) each."""
    packets = []
    at = 0
    while at + 12 <= len(data):
        kind, length = struct.unpack_from("<II", data, at)
        if length < 12:
            break
        if kind == 6:
            captured = struct.unpack_from("<I", data, at + 20)[0]
            body = data[at + 28:at + 28 + captured]
            options = at + 28 + (captured + 3) // 4 * 4
            flags = 0
            if data[options:options + 2] == b"\x02\x00":  # its first option: the flags
                flags = struct.unpack_from("<I", data, options + 4)[0] & 3
            packets.append((body, flags))
        at += length
    return packets


def scenario_capture(console, chip):
    """The analysis window's 导出抓包文件 through Windows' save dialog: every
    frame the chip saw, to the chip, and every status byte, from it."""
    path = os.path.join(console.wine.env["WINEPREFIX"], "drive_c", "vxt4710-traffic.pcapng")
    rc, out = console.driver("click-in", "VXT4710Analysis", "5")
    check("导出抓包文件(&P)… opens a save dialog", rc == 0, out)
    rc, out = console.driver("save-dialog", r"C:\vxt4710-traffic", "30")
    check("the save dialog takes the capture's name", rc == 0, out)
    data = read_when_saved(path)
    check("a name typed without an extension gets .pcapng", os.path.exists(path),
          os.listdir(os.path.dirname(path)))
    packets = capture_packets(data)
    sent = [b for b, flags in packets if flags == 2]
    received = [b for b, flags in packets if flags == 1]
    check("a packet per frame and status byte, each with its direction",
          len(sent) + len(received) == len(packets) and sent and received, len(packets))
    check("the frames' packets are those the chip received", sent == chip.frames(),
          [b[:8].hex() for b in sent])


def linux_reference(text):
    """The frames and the work-log text of the Linux console's continuous
    playback of text, through its command-line program (which sends and logs
    exactly as the window does) against a simulated chip of its own."""
    chip = Chip(ARGS.chipsim)
    try:
        with tempfile.NamedTemporaryFile("wb", suffix=".txt", delete=False) as f:
            f.write(text.replace("\n", "\r\n").encode("utf-8"))
        r = subprocess.run([ARGS.cli, "--port", chip.device, "speak", "-f", f.name],
                           capture_output=True, timeout=120)
        os.unlink(f.name)
        time.sleep(0.5)
        return chip.frames(), r.stdout.decode("utf-8", "replace")
    finally:
        chip.stop()


def scenario_no_port(console):
    rc, out = console.driver("message", "20")
    check("with COM1 mapped to nothing, start-up shows the port-failure message",
          rc == 0 and PORT_FAILURE in out and "VXT4710" in out, out)
    console.driver("set-text", "Text3", "测试")
    console.driver("click", "Command6")
    rc, out = console.driver("message", "20")
    check("a send shows the port-failure message", rc == 0 and PORT_FAILURE in out, out)
    rc, _ = console.driver("no-message", "2")
    check("... once", rc == 0)


def scenario_long_line(console):
    """A 1 MB initial file on one line (COM1 mapped to nothing): the EDIT
    holds it in pieces, so start-up gets past it and the window shows."""
    rc, out = console.driver("message", "60")
    check("a 1 MB one-line initial file: start-up reaches the port-failure message",
          rc == 0 and PORT_FAILURE in out, out[:200])
    text = console.text("Text3")
    check("... the window shows with the start of the line in Text3",
          text and LONG_LINE.decode("ascii").startswith(text), "%d characters" % len(text))
    # The rest reaches the control in the background, the window responsive.
    rc, out = console.driver("wait-length", "Text3", str(len(LONG_LINE)), "240", timeout=300)
    text = console.text("Text3")
    check("... then the whole line", rc == 0 and text == LONG_LINE.decode("ascii"),
          "%s: %d characters" % (out.strip(), len(text)))
    rc, out = console.driver("longest-line", "Text3")
    check("... held in pieces of at most 2048 characters",
          rc == 0 and out.strip().isdigit() and int(out) <= 2048, out)


def scenario_network(console, chip, server):
    """COM1 bound to the chip behind ser2net over rfc2217://."""
    check("rfc2217://: start-up opens COM1 through the server",
          chip.wait(lambda l: "power up: 9600 bit/s, idle" in l))
    rc, out = console.driver("no-message", "2")
    check("... without a message", rc == 0, out)
    console.driver("click", "Command31")
    time.sleep(1)
    intro = console.text("Text3")
    console.driver("click", "Command2")
    start = len(chip.snapshot())
    console.driver("click", "Command3")
    end = time.time() + 40
    while time.time() < end and console.text("Text4").count(IDLE_LINE) < 5:
        time.sleep(0.3)
    time.sleep(1)
    frames = chip.frames(start)
    linux_frames, linux_log = linux_reference(intro)
    check("rfc2217://: the introduction's five frames byte-identical to the Linux console's",
          len(frames) == 5 and frames == linux_frames,
          ([len(f) for f in frames], [len(f) for f in linux_frames], chip.snapshot()[start:][:40]))
    check("rfc2217://: the same work log",
          console.text("Text4").rstrip("\n") == linux_log.rstrip("\n"), console.text("Text4")[-300:])

    check_rate_change(console, chip, "rfc2217://: the rate change reaches the chip",
                      "rfc2217://: the server set the line to 19200 before the next frame")

    server.stop()
    console.driver("set-text", "Text3", "测试")
    console.driver("click", "Command6")
    rc, out = console.driver("message", "20")
    check("ser2net stopped: a send shows the port-failure message", rc == 0 and PORT_FAILURE in out,
          out)
    rc, _ = console.driver("no-message", "2")
    check("... once", rc == 0)

    # Restarted, the next send connects again.
    from netwin_e2e import Ser2net  # pylint: disable=import-outside-toplevel
    again = Ser2net(server.root, chip.device, (server.rfc2217, server.raw))
    try:
        start = len(chip.snapshot())
        console.driver("click", "Command6")
        ok = chip.wait(lambda l: any(x.startswith("recv ") for x in l[start:]))
        rc, _ = console.driver("no-message", "2")
        check("ser2net restarted: the next send goes through", ok and rc == 0,
              chip.snapshot()[start:])
    finally:
        again.stop()


def main():
    global ARGS
    args = ARGS = e2e_arguments()
    build = os.path.abspath(args.build)
    root = tempfile.mkdtemp(prefix="vxt4710-wine.")
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten",
                             "tcp"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    display = ":" + xvfb.stdout.readline().strip()
    wine = Wine(root, display)
    chip = None
    try:
        wine.boot()
        r = wine.run(os.path.join(build, "tests", "test_win32.exe"), "--gtest_brief=1", timeout=300)
        out = r.stdout.decode("utf-8", "replace")
        check("the front end's unit tests", r.returncode == 0, out[-2000:])

        chip = Chip(args.chipsim)
        wine.map_ports(chip.device)
        run = os.path.join(root, "run")
        os.makedirs(run)
        with open(os.path.join(run, INITIAL_FILE), "wb") as f:
            f.write(INITIAL_TEXT.encode("gbk"))
        console = Console(wine, build, run)
        try:
            scenario_chip(console, chip)
        finally:
            console.close()
        chip.stop()
        chip = None

        # COM1 leads nowhere; COM2 and COM3 are the taps of a chip's line.
        from tap_e2e import TappedChip, scenario_monitor  # pylint: disable=import-outside-toplevel
        tapped = TappedChip(args.chipsim, os.path.join(root, "taps"))
        wine.map_ports("/nonexistent/vxt4710-com1", {2: tapped.host_tap, 3: tapped.chip_tap})
        console = Console(wine, build, run)
        try:
            scenario_no_port(console)
            scenario_monitor(console, tapped, args.cli)
        finally:
            console.close()
            tapped.stop()
        long_run = os.path.join(root, "long")
        os.makedirs(long_run)
        with open(os.path.join(long_run, INITIAL_FILE), "wb") as f:
            f.write(LONG_LINE)
        console = Console(wine, build, long_run)
        try:
            scenario_long_line(console)
        finally:
            console.close()

        # COM1 bound to a chip on another machine: the ports folder of the
        # prefix's user, %APPDATA%\vxt4710\ports.
        from netwin_e2e import Ser2net  # pylint: disable=import-outside-toplevel
        chip = Chip(args.chipsim)
        server = Ser2net(root, chip.device)
        users = os.path.join(root, "prefix", "drive_c", "users")
        user = [u for u in os.listdir(users) if u != "Public"][0]
        ports = os.path.join(users, user, "AppData", "Roaming", "vxt4710", "ports")
        os.makedirs(ports, exist_ok=True)
        with open(os.path.join(ports, "com1"), "w", encoding="utf-8") as f:
            f.write("rfc2217://127.0.0.1:%d\n" % server.rfc2217)
        console = Console(wine, build, run)
        try:
            scenario_network(console, chip, server)
        finally:
            console.close()
            server.stop()
        # The mount manager writes the links again on every start.
        wine.stop_server()
        wine.check_devices("after the run")
    finally:
        if chip:
            chip.stop()
        wine.stop_server()
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(root, ignore_errors=True)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
