#!/usr/bin/env python3
"""vxt4710-cli.exe under wine64 against simulated chips, beside the Linux
vxt4710-cli on the same chips and inputs: the frames must be byte-identical,
the output the same, the exit statuses the Linux program's. Prints one line
per check and closes with 'N passed, N failed'; exits 1 when any failed."""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.dont_write_bytecode = True  # no cache beside the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_prefix  # noqa: E402
from windows_e2e import WINE, Chip, Wine, check, e2e_arguments, summary  # noqa: E402
from tap_e2e import SET_UP_SECONDS, TappedChip, wait_held  # noqa: E402

PORT_FAILURE = "串口不存在或被占用,若电脑没有串口，请使用USB转串口设备"


class FaultyChip(Chip):
    """A simulated chip started with fault options (--reject 1, --mute 1)."""

    def __init__(self, path, *faults):  # pylint: disable=super-init-not-called
        self.proc = subprocess.Popen([path, "--time-scale", "0.01", "--quit-on-eof", *faults],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, text=True)
        first = self.proc.stdout.readline().split()
        assert first[:1] == ["device"], first
        self.device = first[1]
        self.lines = []
        self.lock = threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()


class Run:
    def __init__(self, rc, out, err):
        self.rc, self.out, self.err = rc, out, err

    def lines(self):
        return self.out.decode("utf-8").splitlines()

    def json(self):
        """Each line parsed on its own, t_ms left out (times differ)."""
        objects = []
        for line in self.lines():
            o = json.loads(line)
            o.pop("t_ms", None)
            objects.append(o)
        return objects


def run(argv, env=None, cwd=None, stdin=None, timeout=120, close_stdin=False):
    # Files, not pipes: a Wine server started by this run would hold a pipe.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err, \
            tempfile.TemporaryFile() as inp:
        inp.write(stdin or b"")
        inp.seek(0)
        # close_stdin: started as `prog <&-` would be.
        r = subprocess.run(argv, env=env, cwd=cwd, stdin=inp, stdout=out, stderr=err,
                           timeout=timeout,
                           preexec_fn=(lambda: os.close(0)) if close_stdin else None)
        out.seek(0)
        err.seek(0)
        return Run(r.returncode, out.read(), err.read().decode("utf-8", "replace"))


def watch(argv, tapped, controller, env=None, timeout=60):
    """A monitor started on tapped's taps; once it holds both, the
    controller plays; the monitor's run once it has ended."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        try:
            if wait_held([tapped.host_tap, tapped.chip_tap]):
                time.sleep(SET_UP_SECONDS)
                controller()
            proc.wait(timeout)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        out.seek(0)
        err.seek(0)
        return Run(proc.returncode, out.read(), err.read().decode("utf-8", "replace"))


def watched_lines(r):
    """The monitor's JSON lines without their times; a first power-up 0x4A
    (sent before the monitor opened its tap) left out."""
    try:
        objects = r.json()
    except ValueError:
        return None
    for o in objects:
        o.pop("t", None)
        o.pop("reply_ms", None)
    if objects and objects[0].get("dir") == "chip" and objects[0].get("bytes") == "4A":
        objects.pop(0)
    return objects


def first_difference(got, want):
    """Where two lists of monitor lines part, each line's bytes cut short."""
    got, want = got or [], want or []
    for i in range(max(len(got), len(want))):
        a = got[i] if i < len(got) else None
        b = want[i] if i < len(want) else None
        if a != b:
            cut = lambda o: o and {k: (v[:40] if k == "bytes" else v) for k, v in o.items()}
            return "line %d of %d/%d: %s, not %s" % (i, len(got), len(want), cut(a), cut(b))
    return "the same lines"


def monitor_checks(exe, linux_cli, wine, tapped, frames):
    """vxt4710-cli.exe monitor on the taps of a chip to which the test plays
    a controller: the lines of the Linux monitor on the same play; a faulty
    controller's frame; a vanished tap."""
    taps = ["--host", "COM7", "--chip", "COM8"]
    # The frames of the introduction, each once the chip is idle again and
    # a while after: a loaded machine may hand a tap's bytes on late, and a
    # text that followed the chip's 0x4F at once would seem to cut its speech.
    play = lambda: tapped.play(frames, pause=0.2)
    lin = watch([linux_cli, "--json", "monitor", "--host", tapped.host_tap, "--chip",
                 tapped.chip_tap, "--duration", "10"], tapped, play)
    win = watch([WINE, exe, "--json", "monitor", *taps, "--duration", "10"], tapped, play,
                env=wine.env)
    lin_lines, win_lines = watched_lines(lin), watched_lines(win)
    check("monitor: the introduction watched, the Linux monitor's lines (times left out), 0",
          win.rc == 0 and lin.rc == 0 and win_lines and win_lines == lin_lines
          and win_lines[-1].get("result") == "ok" and win_lines[-1].get("frames") == 5,
          (win.rc, lin.rc, win.err, first_difference(win_lines, lin_lines)))

    bad = bytes.fromhex("FD 00 02 21 00")
    win = watch([WINE, exe, "--json", "monitor", *taps, "--duration", "5"], tapped,
                lambda: tapped.send_as_controller(bad), env=wine.env)
    lines = watched_lines(win) or []
    hosts = [o for o in lines if o.get("dir") == "host"]
    check("monitor: a controller's frame with a wrong checksum gives 1 and the finding",
          win.rc == 1 and [o["findings"] for o in hosts] == [["bad_checksum"]]
          and lines[-1].get("findings") == {"bad_checksum": 1}, (win.rc, win.err, lines))

    win = watch([WINE, exe, "monitor", *taps, "--duration", "30"], tapped, tapped.kill,
                env=wine.env)
    check("monitor: a vanished tap gives 3 with the tap's failure",
          win.rc == 3 and " tap: " in win.err, (win.rc, win.err, win.out[-300:]))


def capture_checks(exe, linux_cli, wine, chip, work):
    """--capture and replay: the Windows program's capture replays, on both
    systems, to the lines of its Linux twin's; an existing capture is kept."""
    lin = run([linux_cli, "--port", chip.device, "--capture", "lin.pcapng", "speak", "你好"],
              cwd=work)
    time.sleep(0.5)
    win = run([WINE, exe, "--port", "COM1", "--capture", "win.pcapng", "speak", "你好"],
              env=wine.env, cwd=work)
    time.sleep(0.5)
    check("--capture: both end with 0", lin.rc == 0 and win.rc == 0, (lin.rc, win.rc, win.err))

    def shown(r):
        """Each item's side, bytes and meaning (times differ), then the summary."""
        lines = r.lines()
        return [line.split("  ")[1:4] for line in lines[:-1]] + lines[-1:]

    lin_replay = run([linux_cli, "replay", "lin.pcapng"], cwd=work)
    win_replay = run([WINE, exe, "replay", "win.pcapng"], env=wine.env, cwd=work)
    cross = run([linux_cli, "replay", "win.pcapng"], cwd=work)
    check("replay: the Windows capture shows the Linux capture's lines, on both systems",
          lin_replay.rc == 0 and win_replay.rc == 0 and cross.rc == 0
          and shown(win_replay) == shown(lin_replay) == shown(cross)
          and len(lin_replay.lines()) == 4,
          (win_replay.rc, win_replay.out, lin_replay.out, win_replay.err))
    path = os.path.join(work, "win.pcapng")
    size = os.path.getsize(path)
    again = run([WINE, exe, "--port", "COM1", "--capture", "win.pcapng", "query"], env=wine.env,
                cwd=work)
    check("--capture over an existing file: 73 and the file kept",
          again.rc == 73 and os.path.getsize(path) == size and "exists" in again.err,
          (again.rc, again.err))


def map_ports(wine, mapping):
    wine_prefix.map_ports(wine.env, mapping)


def main():
    args = e2e_arguments()
    build = os.path.abspath(args.build)
    exe = os.path.join(build, "vxt4710-cli.exe")
    linux_cli = os.path.abspath(args.cli)
    root = tempfile.mkdtemp(prefix="vxt4710-wincli.")
    wine = Wine(root, "")
    wine.env.pop("DISPLAY", None)
    chips = []
    try:
        wine.boot()
        r = run([WINE, os.path.join(build, "tests", "test_wincli.exe"), "--gtest_brief=1"],
                env=wine.env, timeout=300)
        check("the command-line program's Windows unit tests", r.rc == 0,
              r.out.decode("utf-8", "replace")[-2000:])

        intro = run([WINE, os.path.join(build, "tests", "vxt4710-cli-texts.exe")],
                    env=wine.env).out.decode("utf-8")
        work = os.path.join(root, "work")
        os.makedirs(work)
        files = {"intro-gbk.txt": intro.encode("gbk"),
                 "介绍-utf8.txt": b"\xef\xbb\xbf" + intro.encode("utf-8")}
        for name, data in files.items():
            with open(os.path.join(work, name), "wb") as f:
                f.write(data)

        good, rejecting, mute = (Chip(args.chipsim), FaultyChip(args.chipsim, "--reject", "1"),
                                 FaultyChip(args.chipsim, "--mute", "1"))
        tapped = TappedChip(args.chipsim, os.path.join(root, "taps"))
        chips = [good, rejecting, mute, tapped]
        map_ports(wine, {1: good.device, 2: rejecting.device, 3: mute.device,
                         7: tapped.host_tap, 8: tapped.chip_tap})

        def frames_between(chip, start, end):
            out = []
            for line in chip.snapshot()[start:end]:
                if line.startswith("recv "):
                    out.append(bytes.fromhex(line[5:].split("|")[0]))
            return out

        def both(chip, com, cli_args, stdin=None):
            """The Linux program, then the Windows one, on the same chip."""
            start = len(chip.snapshot())
            lin = run([linux_cli, "--port", chip.device] + cli_args, cwd=work, stdin=stdin)
            time.sleep(0.5)  # the chip's report of the last frame
            middle = len(chip.snapshot())
            win = run([WINE, exe, "--port", "COM%d" % com] + cli_args, env=wine.env, cwd=work,
                      stdin=stdin)
            time.sleep(0.5)
            return (lin, frames_between(chip, start, middle), win,
                    frames_between(chip, middle, None))

        intro_frames = None
        for name in files:
            lin, lin_frames, win, win_frames = both(good, 1, ["--json", "speak", "-f", name])
            check("%s: both end with 0" % name, lin.rc == 0 and win.rc == 0,
                  (lin.rc, win.rc, win.err))
            check("%s: five frames, byte-identical to the Linux program's" % name,
                  len(win_frames) == 5 and win_frames == lin_frames,
                  [f.hex() for f in win_frames])
            try:
                same = win.json() == lin.json()
                last = win.json()[-1]
                check("%s: --json parsed line by line, the same objects as on Linux" % name,
                      same and last.get("result") == "ok", win.out[-500:])
            except ValueError as e:
                check("%s: --json parsed line by line" % name, False, e)
            if intro_frames is None:
                intro_frames = win_frames
            else:
                check("the GBK and the UTF-8 file give the same frames", win_frames == intro_frames)

        lin, lin_frames, win, win_frames = both(good, 1, ["speak", "你好，欢迎使用"])
        check("Chinese on the command line: the same frame and log text as on Linux",
              win.rc == 0 and win_frames == lin_frames and len(win_frames) == 1
              and win.out == lin.out, (win.rc, win.out, lin.out, win.err))
        capture_checks(exe, linux_cli, wine, good, work)
        lin, lin_frames, win, win_frames = both(good, 1, ["speak", "-"],
                                                stdin="标准输入\n".encode("utf-8"))
        check("standard input as UTF-8: the same frame as on Linux",
              win.rc == 0 and win_frames == lin_frames and len(win_frames) == 1, win.err)

        lin, _, win, win_frames = both(rejecting, 2, ["speak", "你好"])
        check("0x45 gives 1", win.rc == 1 and lin.rc == 1, (win.rc, lin.rc, win.err))
        lin, _, win, _ = both(mute, 3, ["--timeout", "1", "speak", "你好"])
        check("silence gives 2", win.rc == 2 and lin.rc == 2, (win.rc, lin.rc, win.err))
        check("... with the same message as on Linux",
              win.err.replace("COM3", "DEV") == lin.err.replace(mute.device, "DEV"),
              (win.err, lin.err))

        win = run([WINE, exe, "--port", "COM4", "--json", "query"], env=wine.env, cwd=work)
        check("a missing port gives 3 with the port-failure message",
              win.rc == 3 and PORT_FAILURE in win.err and win.json()[-1]["status"] == 3,
              (win.rc, win.err))
        check("... and a line that points at the port doctor",
              win.err.rstrip("\n").endswith("vxt4710-cli doctor --port COM4"), win.err)
        # The port doctor on Wine's devices: it runs, ends 0 or 1 and says so.
        win = run([WINE, exe, "--json", "doctor"], env=wine.env, cwd=work)
        try:
            found = json.loads(win.out.decode("utf-8"))
        except ValueError as e:
            found = {"error": str(e)}
        check("doctor: 0 or 1, one JSON object with its findings",
              win.rc in (0, 1) and isinstance(found.get("findings"), list)
              and found.get("status") == win.rc, (win.rc, win.out[:400], win.err))
        win = run([WINE, exe, "--port", "COM4", "doctor"], env=wine.env, cwd=work)
        check("doctor --port COM4: the port that is not there, in readable text",
              win.rc == 1 and win.out.decode("utf-8").startswith("gone: COM4 does not exist")
              and "  fix: " in win.out.decode("utf-8"), (win.rc, win.out[:400], win.err))
        win = run([WINE, exe, "--json", "hex", "fd zz"], env=wine.env, cwd=work)
        lin = run([linux_cli, "--json", "hex", "fd zz"], cwd=work)
        check("bad hex gives 64, with Linux's message and JSON",
              win.rc == 64 and win.json() == lin.json() and win.err == lin.err, (win.rc, win.err))
        win = run([WINE, exe, "--json", "bogus"], env=wine.env, cwd=work)
        lin = run([linux_cli, "--json", "bogus"], cwd=work)
        check("bad usage: 64 and the same output as on Linux",
              win.rc == 64 and win.out == lin.out and win.err == lin.err, (win.out, win.err))
        win = run([WINE, exe, "--json", "ports"], env=wine.env, cwd=work)
        ports = [o["port"] for o in win.json()]
        check("ports lists COM1 to COM20", ports == ["COM%d" % n for n in range(1, 21)], ports)
        win = run([WINE, exe, "--help"], env=wine.env, cwd=work)
        check("--help says how COM names work on Windows",
              win.rc == 0 and "\\\\.\\COM<n>" in win.out.decode("utf-8")
              and "/dev/" not in win.out.decode("utf-8"), win.out[:300])
        help_text = win.out.decode("utf-8")
        folder = re.search(r"The ports folder:\s+(\S.*)", help_text)
        check("--help names the real ports folder, not %APPDATA%",
              folder and "%APPDATA%" not in help_text
              and re.match(r"[A-Za-z]:\\.*\\vxt4710\\ports$", folder.group(1)),
              folder.group(1) if folder else help_text[:600])

        lin = run([linux_cli, "--json", "speak", "-"], cwd=work, close_stdin=True)
        win = run([WINE, exe, "--json", "speak", "-"], env=wine.env, cwd=work, close_stdin=True)
        check("speak - with standard input closed: 64 and the same message as on Linux",
              win.rc == 64 and lin.rc == 64 and win.err == lin.err and win.json() == lin.json(),
              (win.rc, win.err, lin.rc, lin.err))

        # A binding file saved as UTF-16 (Notepad's "Unicode") is read; a
        # network port's failure names the address, without the serial hint.
        if folder:
            drive, rest = folder.group(1).split(":", 1)
            unix = os.path.join(wine.env["WINEPREFIX"], "drive_%s" % drive.lower(),
                                *rest.strip("\\").split("\\"))
            os.makedirs(unix, exist_ok=True)
            with open(os.path.join(unix, "com5"), "wb") as f:
                f.write("socket://127.0.0.1:1\r\n".encode("utf-16"))
            with open(os.path.join(unix, "com6"), "wb") as f:
                f.write(b"\x1b]0;title\x07\xff")
            win = run([WINE, exe, "--port", "COM5", "--json", "query"], env=wine.env, cwd=work)
            check("a UTF-16 binding is read; its failure names the address first",
                  win.rc == 3 and PORT_FAILURE not in win.err
                  and win.err.startswith("vxt4710-cli: network port socket://127.0.0.1:1: ")
                  and win.json()[-1]["status"] == 3, (win.rc, win.err))
            win = run([WINE, exe, "--port", "COM6", "query"], env=wine.env, cwd=work)
            listed = run([WINE, exe, "--json", "ports"], env=wine.env, cwd=work)
            try:
                listed.out.decode("utf-8")
                listed_ok = "\x1b" not in listed.out.decode("utf-8") and listed.json()
            except ValueError:
                listed_ok = False
            check("a binding of bytes that are no text: shown escaped, JSON valid UTF-8",
                  win.rc == 3 and "\x1b" not in win.err and "\\x1B]0;title\\x07\\xFF" in win.err
                  and listed_ok, (win.err, listed.out[:400]))
        monitor_checks(exe, linux_cli, wine, tapped, intro_frames)
        wine.stop_server()  # the mount manager writes the links again on every start
        wine.check_devices("after the run")
    finally:
        for chip in chips:
            chip.stop()
        wine.stop_server()
        shutil.rmtree(root, ignore_errors=True)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
