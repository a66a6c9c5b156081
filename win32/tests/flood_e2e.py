#!/usr/bin/env python3
"""The Windows programs under wine64 against port servers on 127.0.0.1 that
never stop sending: data over socket://, and over rfc2217:// data or telnet
NOPs after a good agreement. vxt4710-cli.exe must end with 2 at its
--timeout with its memory flat; the window bound to such a server must
answer the test driver, keep its memory flat and end on SIGTERM. Prints one
line per check and closes with 'N passed, N failed'; exits 1 when any
failed."""
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.dont_write_bytecode = True  # no cache beside the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from windows_e2e import WINE, Console, Wine, check, e2e_arguments, summary  # noqa: E402

IAC, SB, SE, WILL, DO, NOP = 255, 250, 240, 251, 253, 241
# What a flooded program may hold, at most, beyond Wine's own: the line
# keeps 64 KiB and reads 64 KiB a turn.
MEMORY_MB = 150


def answer(code, value):
    return bytes([IAC, SB, 44, code + 100]) + value + bytes([IAC, SE])


# BINARY both ways and COM-PORT agreed; 9600 bit/s, 8 data bits, no parity,
# one stop bit confirmed.
AGREEMENT = (bytes([IAC, WILL, 0, IAC, DO, 0, IAC, DO, 44]) + answer(1, (9600).to_bytes(4, "big"))
             + answer(2, b"\x08") + answer(3, b"\x01") + answer(4, b"\x01"))


class FloodServer:
    """Takes connections on 127.0.0.1 and sends greeting, then flood again
    and again as fast as the client reads, until stopped. Bounded: every
    wait is short and the server stops with the test."""

    def __init__(self, greeting, flood):
        self.greeting, self.chunk = greeting, flood * (65536 // len(flood))
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(4)
        self.sock.settimeout(0.2)
        self.port = self.sock.getsockname()[1]
        self.stopped = threading.Event()
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        while not self.stopped.is_set():
            try:
                conn, _ = self.sock.accept()
            except OSError:
                continue
            threading.Thread(target=self.flood, args=(conn,), daemon=True).start()

    def flood(self, conn):
        conn.settimeout(0.2)
        try:
            conn.sendall(self.greeting)
            while not self.stopped.is_set():
                try:
                    conn.send(self.chunk)
                except socket.timeout:
                    pass
        except OSError:
            pass  # the client went
        finally:
            conn.close()

    def stop(self):
        self.stopped.set()
        self.thread.join(5)
        self.sock.close()


def resident_mb(name):
    """The resident memory of the Wine processes running name, in MB."""
    total = 0
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                if name.encode() not in f.read():
                    continue
            with open("/proc/%s/status" % pid) as f:
                for line in f:
                    if line.startswith("VmRSS:"):
                        total += int(line.split()[1])
        except OSError:
            continue
    return total / 1024


def watch(proc, name, seconds):
    """Waits at most seconds for proc; its peak memory meanwhile."""
    peak, end = 0.0, time.time() + seconds
    while time.time() < end and proc.poll() is None:
        peak = max(peak, resident_mb(name))
        time.sleep(0.2)
    return peak


SERVERS = [
    ("socket:// data", "socket", b"", b"\x00"),
    ("rfc2217:// data", "rfc2217", AGREEMENT, b"\x01\x02"),
    ("rfc2217:// NOPs", "rfc2217", AGREEMENT, bytes([IAC, NOP])),
]


def cli_checks(wine, exe, work):
    for what, scheme, greeting, flood in SERVERS:
        server = FloodServer(greeting, flood)
        try:
            proc = subprocess.Popen([WINE, exe, "--port", "%s://127.0.0.1:%d" % (scheme, server.port),
                                     "--timeout", "2", "query"], env=wine.env, cwd=work,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            peak = watch(proc, "vxt4710-cli.exe", 40)
            ended = proc.poll() is not None
            if not ended:
                proc.kill()
            rc = proc.wait()
            check("vxt4710-cli.exe, %s: ends with 2 at its timeout, memory flat" % what,
                  ended and rc == 2 and peak < MEMORY_MB,
                  "ended %s, status %s, peak %.0f MB" % (ended, rc, peak))
        finally:
            server.stop()


def window_checks(wine, build, root, work):
    what, scheme, greeting, flood = SERVERS[0]
    server = FloodServer(greeting, flood)
    users = os.path.join(root, "prefix", "drive_c", "users")
    user = [u for u in os.listdir(users) if u != "Public"][0]
    ports = os.path.join(users, user, "AppData", "Roaming", "vxt4710", "ports")
    os.makedirs(ports, exist_ok=True)
    with open(os.path.join(ports, "com1"), "w", encoding="utf-8") as f:
        f.write("%s://127.0.0.1:%d\n" % (scheme, server.port))
    console = Console(wine, build, work)
    try:
        # Start-up opens COM1 and the flood begins; the window must still
        # take the driver's requests and paint.
        answers, samples = 0, []
        for _ in range(6):
            try:
                # The driver waits 5 s for the window's answer, then gives
                # up with an empty title.
                rc, out = console.driver("title", timeout=20)
                answers += rc == 0 and out.strip() != ""
            except subprocess.TimeoutExpired:
                pass
            samples.append(resident_mb("vxt4710.exe"))
            time.sleep(2)
        check("the window on a %s flood answers the driver" % what, answers == 6,
              "%d of 6" % answers)
        check("... and its memory stays flat",
              max(samples) < MEMORY_MB and max(samples) - samples[1] < 30,
              ["%.0f" % s for s in samples])
        console.proc.send_signal(signal.SIGTERM)
        try:
            console.proc.wait(15)
            ended = True
        except subprocess.TimeoutExpired:
            console.proc.kill()
            ended = False
        check("... and SIGTERM ends it", ended)
    finally:
        if console.proc.poll() is None:
            console.proc.kill()
        server.stop()


def main():
    args = e2e_arguments()
    build = os.path.abspath(args.build)
    root = tempfile.mkdtemp(prefix="vxt4710-flood.")
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten",
                             "tcp"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    display = ":" + xvfb.stdout.readline().strip()
    wine = Wine(root, display)
    try:
        wine.boot()  # every port mapped to nothing, checked
        work = os.path.join(root, "work")
        os.makedirs(work)
        cli_checks(wine, os.path.join(build, "vxt4710-cli.exe"), work)
        window_checks(wine, build, root, work)
        wine.stop_server()  # the mount manager writes the links again on every start
        wine.check_devices("after the run")
    finally:
        wine.stop_server()
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(root, ignore_errors=True)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
