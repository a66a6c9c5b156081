#!/usr/bin/env python3
"""vxt4710-cli.exe under wine64 beside the Linux vxt4710-cli, in one run,
each against a peer on a pseudo-terminal (COM1 of a Wine prefix made for the
run points at it):
1. process start to the first frame byte on the line (median of N runs, the
   prefix's Wine server already running);
2. idle reply to the next piece: the peer answers each text frame at once
   with 0x41 0x4F; time from the idle byte written to the last byte of the
   next piece read, over P pieces at 38400 bit/s.
Prints the figures; it does not pass or fail.
Usage: bench_cli_wine.py [--runs N] [--pieces P] [--build-windows DIR] [--cli PATH]"""
import argparse
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time
import tty

sys.dont_write_bytecode = True  # no cache beside the sources
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "win32", "tests"))
import wine_prefix  # noqa: E402

WINE = wine_prefix.WINE
WINESERVER = wine_prefix.WINESERVER


def percentile(values, percent):
    if not values:
        return 0.0
    v = sorted(values)
    return v[min(len(v) - 1, len(v) * percent // 100)]


def drain(master, seconds):
    """Reads whatever the line holds for a while."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        r, _, _ = select.select([master], [], [], max(0.0, end - time.monotonic()))
        if not r:
            return
        try:
            os.read(master, 4096)
        except OSError:
            return


def start_to_first_byte(master, argv, env, cwd, runs):
    times = []
    for _ in range(runs):
        start = time.monotonic()
        proc = subprocess.Popen(argv, env=env, cwd=cwd, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        r, _, _ = select.select([master], [], [], 30)
        if r:
            times.append((time.monotonic() - start) * 1000)
        drain(master, 0.05)
        os.write(master, b"\x4f")  # the query's answer: idle
        proc.wait(30)
        drain(master, 0.05)
    return times


def answer_frames(master, pieces):
    """Plays the chip for a speak of many pieces; returns the latencies (ms)."""
    latencies = []
    frame = b""
    idle_written = None
    quiet = 0
    while len(latencies) < pieces and quiet < 100:
        r, _, _ = select.select([master], [], [], 0.1)
        if not r:
            quiet += 1
            continue
        quiet = 0
        try:
            data = os.read(master, 4096)
        except OSError:
            break
        frame += data
        while len(frame) >= 3:
            length = (frame[1] << 8) | frame[2]
            if len(frame) < 3 + length:
                break
            last_byte = time.monotonic()
            frame = frame[3 + length:]
            if idle_written is not None:
                latencies.append((last_byte - idle_written) * 1000)
            idle_written = time.monotonic()
            os.write(master, b"\x41\x4f")
    return latencies


def reply_to_next_piece(master, argv, env, cwd, pieces):
    proc = subprocess.Popen(argv, env=env, cwd=cwd, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    latencies = answer_frames(master, pieces)
    proc.terminate()
    proc.wait(30)
    drain(master, 0.2)
    return latencies


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--pieces", type=int, default=300)
    parser.add_argument("--build-windows", default="build-windows")
    parser.add_argument("--cli", default="build/cli/vxt4710-cli")
    args = parser.parse_args()
    exe = os.path.abspath(os.path.join(args.build_windows, "vxt4710-cli.exe"))
    linux_cli = os.path.abspath(args.cli)

    master, keeper = os.openpty()
    tty.setraw(keeper)
    device = os.ttyname(keeper)
    root = tempfile.mkdtemp(prefix="vxt4710-bench-wine.")
    env = wine_prefix.environment(os.path.join(root, "prefix"))
    quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        # COM1 on the pseudo-terminal, no other name on a real device.
        wine_prefix.make(env["WINEPREFIX"], {1: device})
        subprocess.run([WINESERVER, "-p"], env=env, **quiet)  # stays: starts are not its
        line = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKL\r\n"  # 200-byte pieces
        with open(os.path.join(root, "text.txt"), "w", encoding="utf-8") as f:
            f.write(line * ((args.pieces + 2) * 200 // len(line)))

        query = ["--timeout", "5", "query"]
        speak = ["--rate", "38400", "speak", "-f", "text.txt"]
        lin_start = start_to_first_byte(master, [linux_cli, "--port", device] + query, env,
                                        root, args.runs)
        win_start = start_to_first_byte(master, [WINE, exe, "--port", "COM1"] + query, env,
                                        root, args.runs)
        lin_reply = reply_to_next_piece(master, [linux_cli, "--port", device] + speak, env,
                                        root, args.pieces)
        win_reply = reply_to_next_piece(master, [WINE, exe, "--port", "COM1"] + speak, env,
                                        root, args.pieces)
    finally:
        subprocess.run([WINESERVER, "-k"], env=env, **quiet)
        subprocess.run([WINESERVER, "-w"], env=env, **quiet)
        shutil.rmtree(root, ignore_errors=True)
        os.close(keeper)
        os.close(master)
    if not (lin_start and win_start and lin_reply and win_reply):
        print("a measurement got no samples (start %d/%d, reply %d/%d)"
              % (len(lin_start), len(win_start), len(lin_reply), len(win_reply)))
        return 1
    print("process start to the first frame byte on the line, %d runs" % args.runs)
    print("                  %14s %16s" % ("vxt4710-cli", "vxt4710-cli.exe"))
    print("  median          %11.1f ms %13.1f ms" % (percentile(lin_start, 50),
                                                   percentile(win_start, 50)))
    print("  max             %11.1f ms %13.1f ms" % (percentile(lin_start, 100),
                                                   percentile(win_start, 100)))
    print("idle reply to the next piece, 206-byte frames at 38400 bit/s")
    print("  pieces          %14d %16d" % (len(lin_reply), len(win_reply)))
    for name, p in (("median", 50), ("99th percentile", 99), ("max", 100)):
        print("  %-15s %11.3f ms %13.3f ms" % (name, percentile(lin_reply, p),
                                               percentile(win_reply, p)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
