#!/usr/bin/env python3
"""The check of win32/tests/wine_prefix.py, without Wine: which entries of a
prefix's dosdevices lead to a real device, and what blocking leaves behind.
Exits 1 on a failure."""
import os
import sys
import tempfile

sys.dont_write_bytecode = True  # no cache beside the sources
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "win32",
                                "tests"))
import wine_prefix  # noqa: E402

failures = []


def expect(what, ok, detail=""):
    if not ok:
        failures.append("%s: %s" % (what, detail))


master, keeper = os.openpty()  # a simulated chip's pseudo-terminal
with tempfile.TemporaryDirectory() as prefix:
    dos = os.path.join(prefix, "dosdevices")
    os.makedirs(dos)
    # name -> (what it is, whether it reaches a real device)
    entries = {
        "c:": ("link", "../drive_c", False),
        "z:": ("link", "/", False),
        "com1": ("link", "/dev/null", True),  # a character device, as /dev/ttyS0
        "com2": ("link", "/nonexistent/vxt4710-com2", False),
        "com3": ("link", os.ttyname(keeper), False),
        "com21": ("link", "/dev/null", True),  # what Wine hands the first free number
        "com22": ("folder", None, False),
        "lpt1": ("link", "/dev/zero", True),
    }
    os.makedirs(os.path.join(prefix, "drive_c"))
    for name, (kind, target, _) in entries.items():
        if kind == "link":
            os.symlink(target, os.path.join(dos, name))
        else:
            os.makedirs(os.path.join(dos, name))
    found = wine_prefix.real_device_links(prefix)
    want = ["%s -> %s" % (n, t) for n, (_, t, real) in sorted(entries.items()) if real]
    expect("links to devices are found, nothing else", found == want, found)

    # Blocking replaces every link beyond COM20 and every LPT name by a
    # folder; the mapped names stay for the registry's mapping.
    wine_prefix.block_unmapped(prefix)
    found = wine_prefix.real_device_links(prefix)
    expect("after blocking only the mapped names may still lead anywhere",
           found == ["com1 -> /dev/null"], found)
    expect("COM256 is a folder", os.path.isdir(os.path.join(dos, "com256"))
           and not os.path.islink(os.path.join(dos, "com256")))
    expect("COM20 is left to the registry", not os.path.exists(os.path.join(dos, "com20")))

    # The program's check: status 1 and the name on a device, 0 without.
    expect("check fails on a prefix with a device", wine_prefix.main(["check", prefix]) == 1)
    os.unlink(os.path.join(dos, "com1"))
    expect("check passes on a safe prefix", wine_prefix.main(["check", prefix]) == 0)

os.close(master)
os.close(keeper)
for f in failures:
    print("wine_prefix_check: FAIL: " + f, file=sys.stderr)
sys.exit(1 if failures else 0)
