#!/usr/bin/env python3
"""vxt4710-cli.exe under wine64 on a chip on another machine: ser2net (on
Linux, 127.0.0.1) serves the simulated chip's pseudo-terminal over rfc2217://
and socket://, which Wine's Winsock reaches. The frames must be byte-identical
to the Linux program's on the direct line. Prints one line per check and
closes with 'N passed, N failed'; exits 1 when any failed."""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no cache beside the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from windows_e2e import WINE, Chip, Wine, check, e2e_arguments, summary  # noqa: E402
from wincli_e2e import run  # noqa: E402

SER2NET = "/usr/sbin/ser2net"
RAW_REFUSAL = ("the rate of a socket:// port cannot be changed from here; use rfc2217:// for a "
               "port whose rate the console sets")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def listening(port):
    """Found by binding, not by connecting: a connection would make the
    server open the device."""
    with socket.socket() as s:
        try:
            s.bind(("127.0.0.1", port))
            return False
        except OSError:
            return True


class Ser2net:
    """ser2net serving device on 127.0.0.1, over telnet with RFC 2217 and
    over raw TCP, in a session of its own."""

    def __init__(self, root, device, ports=None):
        """ports: (rfc2217, raw) to serve on again; free ones by default."""
        self.rfc2217, self.raw = ports or (free_port(), free_port())
        while self.raw == self.rfc2217:
            self.raw = free_port()
        self.root = root
        config = os.path.join(root, "ser2net.yaml")
        with open(config, "w", encoding="utf-8") as f:
            f.write("%%YAML 1.1\n---\n"
                    "connection: &rfc2217\n"
                    "  accepter: telnet(rfc2217),tcp,127.0.0.1,%d\n"
                    "  connector: serialdev,%s,9600n81,local\n"
                    "  options:\n    kickolduser: true\n"
                    "connection: &raw\n"
                    "  accepter: tcp,127.0.0.1,%d\n"
                    "  connector: serialdev,%s,9600n81,local\n"
                    "  options:\n    kickolduser: true\n"
                    % (self.rfc2217, device, self.raw, device))
        self.log = open(os.path.join(root, "ser2net.out"), "wb")
        # -u: no lock files in the system's lock folder for a test's device.
        self.proc = subprocess.Popen([SER2NET, "-n", "-u", "-c", config], stdout=self.log,
                                     stderr=subprocess.STDOUT, start_new_session=True)
        end = time.time() + 10
        while time.time() < end and self.proc.poll() is None:
            if listening(self.rfc2217) and listening(self.raw):
                return
            time.sleep(0.05)
        raise RuntimeError("ser2net did not start (installed by scripts/install-deps)")

    def stop(self):
        if self.proc.poll() is not None:
            return
        self.proc.terminate()
        try:
            self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()
        self.log.close()


def main():
    args = e2e_arguments()
    build = os.path.abspath(args.build)
    exe = os.path.join(build, "vxt4710-cli.exe")
    linux_cli = os.path.abspath(args.cli)
    root = tempfile.mkdtemp(prefix="vxt4710-netwin.")
    wine = Wine(root, "")
    wine.env.pop("DISPLAY", None)
    chip = server = None
    try:
        wine.boot()
        intro = run([WINE, os.path.join(build, "tests", "vxt4710-cli-texts.exe")],
                    env=wine.env).out.decode("utf-8")
        work = os.path.join(root, "work")
        os.makedirs(work)
        with open(os.path.join(work, "intro.txt"), "wb") as f:
            f.write(intro.encode("gbk"))

        chip = Chip(args.chipsim)
        server = Ser2net(root, chip.device)
        rfc2217 = "rfc2217://127.0.0.1:%d" % server.rfc2217
        raw = "socket://127.0.0.1:%d" % server.raw

        def win(port, cli_args):
            """The Windows program; the chip's frames of its run."""
            start = len(chip.snapshot())
            r = run([WINE, exe, "--port", port] + cli_args, env=wine.env, cwd=work)
            time.sleep(0.5)  # the chip's report of the last frame
            # ser2net lets go of the device once the connection is gone.
            time.sleep(0.5)
            return r, chip.frames(start)

        start = len(chip.snapshot())
        lin = run([linux_cli, "--port", chip.device, "speak", "-f", "intro.txt"], cwd=work)
        time.sleep(0.5)
        lin_frames = chip.frames(start)
        check("the Linux program on the direct line", lin.rc == 0 and len(lin_frames) == 5,
              (lin.rc, lin.err))

        r, frames = win(rfc2217, ["speak", "-f", "intro.txt"])
        check("rfc2217://: the introduction ends with 0", r.rc == 0, (r.rc, r.err))
        check("rfc2217://: frames byte-identical to the direct line's", frames == lin_frames,
              [f.hex() for f in frames])

        r, frames = win(rfc2217, ["rate", "19200"])
        check("rfc2217://: the rate change to 19200 completes",
              r.rc == 0 and "now at 19200 bit/s" in r.err, (r.rc, r.err))
        r, _ = win(rfc2217, ["--rate", "19200", "query"])
        check("... and the chip answers on the line at 19200", r.rc == 0, (r.rc, r.err))
        r, _ = win(rfc2217, ["--rate", "19200", "rate", "9600"])
        check("... and back to 9600", r.rc == 0 and "now at 9600 bit/s" in r.err, (r.rc, r.err))

        r, frames = win(raw, ["speak", "你好"])
        check("socket://: speaks", r.rc == 0 and len(frames) == 1, (r.rc, r.err))
        before = len(chip.snapshot())
        r, frames = win(raw, ["rate", "19200"])
        check("socket://: refuses the rate change with 3 and says why, sending nothing",
              r.rc == 3 and RAW_REFUSAL in r.err and not frames, (r.rc, r.err, frames))
        check("... the chip still at 9600", not any("from now on" in l
                                                    for l in chip.snapshot()[before:]))

        r = run([WINE, exe, "--port", "rfc2217://127.0.0.1:%d" % free_port(), "--json", "query"],
                env=wine.env, cwd=work)
        check("a refused port gives 3 with the reason",
              r.rc == 3 and "connection refused" in r.err and r.json()[-1]["status"] == 3,
              (r.rc, r.err))

        # %APPDATA%\vxt4710\ports of the prefix's user (Wine sets APPDATA
        # itself, whatever the environment says).
        users = os.path.join(root, "prefix", "drive_c", "users")
        user = [u for u in os.listdir(users) if u != "Public"][0]
        ports = os.path.join(users, user, "AppData", "Roaming", "vxt4710", "ports")
        os.makedirs(ports)
        with open(os.path.join(ports, "com3"), "w", encoding="utf-8") as f:
            f.write(rfc2217 + "\r\n")
        with open(os.path.join(ports, "com4"), "w", encoding="utf-8") as f:
            f.write("COM1\r\n")
        start = len(chip.snapshot())
        lin = run([linux_cli, "--port", chip.device, "speak", "你好"], cwd=work)
        time.sleep(0.5)
        lin_frames = chip.frames(start)
        r, frames = win("COM3", ["speak", "你好"])
        check("COM3 bound to the rfc2217:// address: the Linux program's frame and output",
              r.rc == 0 and len(frames) == 1 and frames == lin_frames and r.out == lin.out,
              (r.rc, r.err, r.out, lin.out))
        r = run([WINE, exe, "ports"], env=wine.env, cwd=work)
        lines = r.out.decode("utf-8").splitlines()
        check("ports shows COM3's address", "COM3\t" + rfc2217 in lines, lines[:5])
        r = run([WINE, exe, "--port", "COM4", "query"], env=wine.env, cwd=work)
        check("a binding that holds no address gives 3 and says so",
              r.rc == 3 and "com4: it holds \"COM1\"" in r.err, (r.rc, r.err))
        wine.stop_server()  # the mount manager writes the links again on every start
        wine.check_devices("after the run")
    finally:
        if server:
            server.stop()
        if chip:
            chip.stop()
        wine.stop_server()
        shutil.rmtree(root, ignore_errors=True)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
