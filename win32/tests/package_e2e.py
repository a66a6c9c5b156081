#!/usr/bin/env python3
"""The Windows packages under wine64 on Xvfb: the zip's contents, and the
installer run silently in a Wine prefix of its own: its Start-menu shortcut,
the console started as the shortcut starts it, vxt4710-cli on a new command
prompt's PATH, and the uninstaller leaving the prefix as it found it. Prints
one line per check and closes with 'N passed, N failed'; exits 1 when any
check failed."""
import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

sys.dont_write_bytecode = True  # no cache beside the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import shell_link  # noqa: E402
from windows_e2e import INITIAL_FILE, WINESERVER, Wine, check, summary  # noqa: E402

ZIP_FILES = ["vxt4710.exe", "vxt4710-cli.exe", "README.txt", "LICENSE.txt", "vxt4710.lua",
             "web/index.html", "web/vxt4710.js"]
# Keys of the user's registry the installer writes to.
TOUCHED_KEYS = ("Environment", r"Software\Microsoft\Windows\CurrentVersion\Uninstall")
SHORTCUT = "VXT4710 Console.lnk"
WEB_SHORTCUT = "VXT4710 Console (browser).lnk"


def prefix_files(prefix):
    """drive_c's files, folders and links with their sizes, Wine's own
    system folder left out (Wine writes there by itself)."""
    drive = os.path.join(prefix, "drive_c")
    listing = set()
    for top, dirs, files in os.walk(drive):
        rel = os.path.relpath(top, drive)
        if rel == ".":
            dirs.remove("windows")
        for name in dirs + files:
            path = os.path.join(top, name)
            size = "" if os.path.isdir(path) else os.lstat(path).st_size
            listing.add("%s %s" % (os.path.normpath(os.path.join(rel, name)), size))
    return listing


def user_registry(prefix):
    """The values under the touched keys of user.reg, and whether the
    program's name shows anywhere in it."""
    with open(os.path.join(prefix, "user.reg"), encoding="latin-1") as f:
        text = f.read()
    values, key = set(), None
    for line in text.splitlines():
        if line.startswith("["):
            name = line[1:line.index("]")].replace("\\\\", "\\")
            key = name if name.lower().startswith(tuple(k.lower() for k in TOUCHED_KEYS)) else None
        elif key and line and not line.startswith("#"):
            values.add(key + " " + line)
    return values, "vxt4710" in text.lower()


class Prefix:
    def __init__(self, root, display):
        # No menu entries on the host for the shortcut made in the prefix
        # (wine_prefix.py turns the menu builder off).
        self.wine = Wine(root, display)
        self.path = self.wine.env["WINEPREFIX"]

    def settle(self):
        """Waits for every Wine process to end and the registry to be saved
        (the server here is never a persistent one)."""
        subprocess.run([WINESERVER, "-w"], env=self.wine.env, capture_output=True)

    def user_folder(self, *parts):
        found = glob.glob(os.path.join(self.path, "drive_c", "users", os.environ.get("USER", "*"),
                                       *parts))
        if not found:
            found = glob.glob(os.path.join(self.path, "drive_c", "users", "*", *parts))
        return found[0] if found else os.path.join(self.path, "missing", *parts)

    def unix(self, windows_path):
        out = self.wine.run("winepath", "-u", windows_path).stdout.decode("utf-8", "replace")
        return out.strip()

    def cli_version(self):
        """vxt4710-cli --version from a new command prompt, or None."""
        self.settle()
        r = self.wine.run("cmd", "/c", "vxt4710-cli --version")
        return r.stdout.decode("utf-8", "replace").strip() if r.returncode == 0 else None


# What the console's first start from the shortcut writes into its new
# initial text file, as the Linux menu entry does (GBK).
GREETING = "欢迎使用VXT4710中文语音合成芯片。".encode("gbk")


def read_bytes(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError as e:
        return e


def check_zip(path, version):
    with zipfile.ZipFile(path) as z:
        names = z.namelist()
        check("the zip holds exactly the two programs, the README, the licence, the "
              "Wireshark dissector and the page for the browser",
              sorted(names) == sorted(ZIP_FILES), names)
        for name in ("README.txt", "LICENSE.txt"):
            data = z.read(name) if name in names else b""
            check("%s is CR LF text" % name,
                  data and data.count(b"\n") == data.count(b"\r\n") and b"\r\r" not in data)
        readme = z.read("README.txt").decode("utf-8") if "README.txt" in names else ""
        check("the README is in Chinese and English",
              "控制台" in readme and "console" in readme, readme[:200])
    check("the zip's name carries the version", os.path.basename(path) ==
          "vxt4710-%s-win64.zip" % version, path)


def check_installer(setup, driver, display):
    root = tempfile.mkdtemp(prefix="vxt4710-pkg.")
    p = Prefix(root, display)
    try:
        # The console opens COM1 at start-up: never a real port. (No
        # persistent server: settle() waits for the uninstaller's copy
        # through the server's end.)
        p.wine.boot()
        files_before, (reg_before, _) = prefix_files(p.path), user_registry(p.path)

        r = p.wine.run(setup, "/S", timeout=300)
        p.settle()
        check("the installer runs silently", r.returncode == 0, r.returncode)
        programs = p.user_folder("AppData", "Local", "Programs", "VXT4710")
        check("it installs for the user into %LOCALAPPDATA%\\Programs\\VXT4710",
              all(os.path.isfile(os.path.join(programs, f))
                  for f in ("vxt4710.exe", "vxt4710-cli.exe", "uninstall.exe")),
              os.listdir(programs) if os.path.isdir(programs) else programs)
        installed, _ = user_registry(p.path)
        check("it registers its uninstaller for the user",
              any(r"Uninstall\VXT4710 " in v and "uninstall.exe" in v for v in installed),
              sorted(installed))

        lnk_path = os.path.join(p.user_folder("AppData", "Roaming", "Microsoft", "Windows",
                                              "Start Menu", "Programs"), SHORTCUT)
        link = {}
        try:
            with open(lnk_path, "rb") as f:
                link = shell_link.parse(f.read())
        except (OSError, shell_link.LinkError) as e:
            check("the Start menu holds \"VXT4710 Console\"", False, e)
        target = p.unix(link["target"]) if link.get("target") else ""
        check("the shortcut starts the installed console",
              target and os.path.realpath(target) ==
              os.path.realpath(os.path.join(programs, "vxt4710.exe")), link)
        try:
            with open(os.path.join(os.path.dirname(lnk_path), WEB_SHORTCUT), "rb") as f:
                web_link = shell_link.parse(f.read())
        except (OSError, shell_link.LinkError) as e:
            web_link = {"error": e}
        web_target = p.unix(web_link["target"]) if web_link.get("target") else ""
        check("the Start menu's \"VXT4710 Console (browser)\" opens the installed page",
              web_target and os.path.realpath(web_target) ==
              os.path.realpath(os.path.join(programs, "web", "index.html"))
              and os.path.isfile(os.path.join(programs, "web", "vxt4710.js")), web_link)
        icon = p.unix(link["icon"]) if link.get("icon") else ""
        check("the shortcut shows the console's icon",
              icon.endswith("vxt4710.ico") and os.path.isfile(icon), link)
        local = p.user_folder("AppData", "Local")
        work = os.path.join(local, "vxt4710")
        cwd = p.unix(link["working_dir"]) if link.get("working_dir") else ""
        check("the shortcut starts it with --user-folder in %LOCALAPPDATA%",
              link.get("arguments") == "--user-folder" and cwd
              and os.path.realpath(cwd) == os.path.realpath(local), link)

        if target and cwd:
            # As the shortcut starts it, with no work folder yet.
            shutil.rmtree(work, ignore_errors=True)
            console = p.wine.start(target, *link["arguments"].split(), cwd=cwd)
            # COM1 leads nowhere: the port-failure message shows at start-up.
            p.wine.run(driver, "message", "30", timeout=90)
            p.wine.run(driver, "close", timeout=90)
            try:
                console.wait(30)
            except subprocess.TimeoutExpired:
                console.kill()
            check("the console makes %LOCALAPPDATA%\\vxt4710 and its initial text file there",
                  os.path.isfile(os.path.join(work, INITIAL_FILE)),
                  os.listdir(work) if os.path.isdir(work) else os.listdir(cwd))
            check("... holding the greeting, so that the first play speaks",
                  read_bytes(os.path.join(work, INITIAL_FILE)) == GREETING,
                  read_bytes(os.path.join(work, INITIAL_FILE)))

        version = p.cli_version()
        check("a new command prompt finds vxt4710-cli on the PATH",
              version and "vxt4710-cli" in version, version)

        uninstall = os.path.join(programs, "uninstall.exe")
        # The uninstaller runs a copy of itself from the temporary folder and
        # returns at once: settle() waits for that copy.
        p.wine.run(uninstall, "/S", timeout=300)
        p.settle()
        # That copy's folder goes at the next start of Windows, as there.
        p.wine.run("wineboot", "--restart", timeout=300)
        p.settle()
        check("after the uninstall a new command prompt no longer finds vxt4710-cli",
              p.cli_version() is None)
        files_after, (reg_after, named) = prefix_files(p.path), user_registry(p.path)
        check("the uninstall leaves drive_c's files as they were before the install",
              files_after == files_before,
              {"added": sorted(files_after - files_before),
               "removed": sorted(files_before - files_after)})
        check("... and the user's Environment and Uninstall keys",
              reg_after == reg_before and not named,
              {"added": sorted(reg_after - reg_before), "removed": sorted(reg_before - reg_after)})
        p.settle()
        p.wine.check_devices("after the uninstall")
    finally:
        p.wine.stop_server()
        shutil.rmtree(root, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build-windows")
    parser.add_argument("--packages", help="the folder scripts/package-windows made")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    packages = os.path.abspath(args.packages or os.path.join(build, "packages"))
    zips = glob.glob(os.path.join(packages, "vxt4710-*-win64.zip"))
    setups = glob.glob(os.path.join(packages, "vxt4710-*-win64-setup.exe"))
    if len(zips) != 1 or len(setups) != 1:
        check("one zip and one installer in " + packages, False, zips + setups)
        return 1
    version = os.path.basename(zips[0])[len("vxt4710-"):-len("-win64.zip")]
    check_zip(zips[0], version)
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten",
                             "tcp"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        display = ":" + xvfb.stdout.readline().strip()
        check_installer(setups[0], os.path.join(build, "tests", "vxt4710-driver.exe"), display)
    finally:
        xvfb.terminate()
        xvfb.wait()
    return summary()


if __name__ == "__main__":
    sys.exit(main())
