#!/usr/bin/env python3
"""A Wine prefix in which no Windows program can reach a real port, shared by
the end-to-end tests, the benchmarks and the scripts.

What a Windows program opens as COMn is the link dosdevices/comn. Wine's
mount manager writes those links on every start of a prefix's server: first
COM1..COM255 from the registry (HKLM\\Software\\Wine\\Ports), then every
serial device it finds (/dev/ttyS0, /dev/ttyUSB0, ...) under the first
number the registry left free. So COM1 of a fresh prefix is /dev/ttyS0, with
COM1..COM20 mapped COM21 is, with COM1..COM255 mapped COM256 is (a number the
registry cannot carry). A safe prefix therefore maps COM1..COM20 in the
registry and holds a folder at every other comN and lptN, which the mount
manager cannot replace by a link: those names open nothing.

As a program:
  wine_prefix.py make PREFIX [COM1-DEVICE]   makes (or maps again) a prefix
  wine_prefix.py check PREFIX...             exits 1 if one reaches a device
"""
import os
import stat
import subprocess
import sys
import tempfile

WINE = os.environ.get("WINE64", "/usr/lib/wine/wine64")
WINESERVER = os.path.join(os.path.dirname(WINE), "wineserver")
MAPPED = 20  # COM1..COM20: the names the tests and the console's list use
HIGHEST = 256  # the mount manager hands out COM1..COM256 and LPT1..LPT256
# No Mono or Gecko installer; no menu builder, which would write menus,
# file associations and icons into the user's home for the prefix.
DLL_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"
NOWHERE = "/nonexistent/vxt4710-com%d"


def environment(prefix, display=None):
    """The environment for Wine programs in prefix; no display unless given."""
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES=DLL_OVERRIDES)
    env.pop("WAYLAND_DISPLAY", None)
    if display:
        env["DISPLAY"] = display
    else:
        env.pop("DISPLAY", None)
    return env


def real_device_links(prefix):
    """The entries of prefix's dosdevices that lead to a character or block
    device other than a pseudo-terminal (a simulated chip's), as
    'name -> target'."""
    found = []
    folder = os.path.join(prefix, "dosdevices")
    for name in sorted(os.listdir(folder)) if os.path.isdir(folder) else []:
        path = os.path.join(folder, name)
        try:
            mode = os.stat(path).st_mode
        except OSError:
            continue  # a link to nothing opens nothing
        if os.path.realpath(path).startswith("/dev/pts/"):
            continue
        if stat.S_ISCHR(mode) or stat.S_ISBLK(mode):
            found.append("%s -> %s" % (name, os.readlink(path) if os.path.islink(path) else path))
    return found


def block_unmapped(prefix):
    """A folder at every comN beyond the mapped ones and every lptN: where
    the mount manager would put a device it found."""
    folder = os.path.join(prefix, "dosdevices")
    names = ["com%d" % n for n in range(MAPPED + 1, HIGHEST + 1)]
    names += ["lpt%d" % n for n in range(1, HIGHEST + 1)]
    for name in names:
        path = os.path.join(folder, name)
        if os.path.islink(path) or os.path.isfile(path):
            os.unlink(path)
        os.makedirs(path, exist_ok=True)


def stop_server(env):
    subprocess.run([WINESERVER, "-k"], env=env, capture_output=True)
    subprocess.run([WINESERVER, "-w"], env=env, capture_output=True)


def map_ports(env, mapping=None):
    """COMn -> mapping[n] for n in 1..20, a path that does not exist for the
    others, in one registry import; the rest blocked. Takes effect at the
    server's next start, so the server is stopped."""
    mapping = mapping or {}
    prefix = env["WINEPREFIX"]
    lines = ["Windows Registry Editor Version 5.00", "",
             r"[HKEY_LOCAL_MACHINE\Software\Wine\Ports]"]
    for n in range(1, MAPPED + 1):
        target = mapping.get(n, NOWHERE % n)
        lines.append('"COM%d"="%s"' % (n, target.replace("\\", "\\\\").replace('"', '\\"')))
    with tempfile.NamedTemporaryFile("w", suffix=".reg", dir=prefix, delete=False,
                                     encoding="utf-8") as f:
        f.write("\r\n".join(lines) + "\r\n")
        reg = f.name
    try:
        with tempfile.TemporaryFile() as out:
            r = subprocess.run([WINE, "regedit", "/S", "Z:" + reg.replace("/", "\\")], env=env,
                               stdout=out, stderr=out, timeout=120)
        stop_server(env)
    finally:
        os.unlink(reg)
    if r.returncode != 0:
        raise RuntimeError("regedit could not map the ports of " + prefix)
    block_unmapped(prefix)
    # The links the mount manager made before the mapping go; it makes them
    # again, from the registry, at the next start.
    for n in range(1, MAPPED + 1):
        path = os.path.join(prefix, "dosdevices", "com%d" % n)
        if os.path.islink(path):
            os.unlink(path)


def boot(env, timeout, tries=3):
    """wineboot --init until the prefix is there (its system registry): now
    and then the first start of a prefix ends before it made anything, with
    nothing said. The server is stopped after each try."""
    prefix = env["WINEPREFIX"]
    said, status = "", None
    for _ in range(tries):
        with tempfile.TemporaryFile() as out:
            # Output through a file: the server this starts would hold a pipe.
            status = subprocess.run([WINE, "wineboot", "--init"], env=env, stdout=out,
                                    stderr=out, timeout=timeout).returncode
            out.seek(0)
            said = out.read().decode("utf-8", "replace")
        stop_server(env)
        if os.path.isfile(os.path.join(prefix, "system.reg")):
            return
    raise RuntimeError("wineboot did not make the prefix %s (status %s): %s"
                       % (prefix, status, said[-2000:]))


def make(prefix, mapping=None, display=None, timeout=300):
    """A new (or existing) prefix, booted, its ports mapped and checked; its
    environment. The server is stopped: the next start takes the mapping."""
    env = environment(prefix, display)
    boot(env, timeout)
    map_ports(env, mapping)
    found = real_device_links(prefix)
    if found:
        raise RuntimeError("the prefix %s reaches real devices: %s" % (prefix, ", ".join(found)))
    return env


def main(argv):
    if len(argv) >= 2 and argv[0] == "make":
        make(os.path.abspath(argv[1]), {1: argv[2]} if len(argv) > 2 else None)
        return 0
    if len(argv) >= 2 and argv[0] == "check":
        status = 0
        for prefix in argv[1:]:
            for link in real_device_links(prefix):
                print("%s: dosdevices/%s: a real device" % (prefix, link), file=sys.stderr)
                status = 1
        return status
    print(__doc__.split("As a program:\n")[1], file=sys.stderr, end="")
    return 64


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
