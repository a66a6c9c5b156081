"""Reads what a Windows shortcut (.lnk) points at: the target's path, its
working folder, arguments and icon, from the link's header, its LinkInfo and
its string data."""
import struct

HAS_ID_LIST, HAS_LINK_INFO, HAS_NAME, HAS_RELATIVE_PATH = 0x1, 0x2, 0x4, 0x8
HAS_WORKING_DIR, HAS_ARGUMENTS, HAS_ICON_LOCATION, IS_UNICODE = 0x10, 0x20, 0x40, 0x80
HEADER_SIZE = 0x4C
LINK_CLSID = bytes.fromhex("0114020000000000c000000000000046")


class LinkError(ValueError):
    pass


def _c_string(data, offset, wide):
    if wide:
        end = offset
        while data[end:end + 2] not in (b"\0\0", b""):
            end += 2
        return data[offset:end].decode("utf-16-le")
    end = data.index(b"\0", offset)
    return data[offset:end].decode("latin-1")


def parse(data):
    """A dict with target, working_dir, arguments, icon, relative_path, name
    (each None when the link does not hold it); LinkError on a damaged link."""
    if len(data) < HEADER_SIZE or struct.unpack_from("<I", data)[0] != HEADER_SIZE \
            or data[4:20] != LINK_CLSID:
        raise LinkError("not a shell link")
    flags = struct.unpack_from("<I", data, 0x14)[0]
    pos = HEADER_SIZE
    try:
        if flags & HAS_ID_LIST:
            pos += 2 + struct.unpack_from("<H", data, pos)[0]
        target = None
        if flags & HAS_LINK_INFO:
            info = data[pos:pos + struct.unpack_from("<I", data, pos)[0]]
            header_size, info_flags = struct.unpack_from("<II", info, 4)
            base_off, _, suffix_off = struct.unpack_from("<III", info, 16)
            if info_flags & 1:  # a local volume and base path
                if header_size >= 0x24:
                    base_w, suffix_w = struct.unpack_from("<II", info, 28)
                    target = _c_string(info, base_w, True) + _c_string(info, suffix_w, True)
                else:
                    target = _c_string(info, base_off, False) + _c_string(info, suffix_off, False)
            pos += len(info)
        wide = bool(flags & IS_UNICODE)
        out = {"target": target}
        for flag, key in ((HAS_NAME, "name"), (HAS_RELATIVE_PATH, "relative_path"),
                          (HAS_WORKING_DIR, "working_dir"), (HAS_ARGUMENTS, "arguments"),
                          (HAS_ICON_LOCATION, "icon")):
            out[key] = None
            if flags & flag:
                count = struct.unpack_from("<H", data, pos)[0]
                size = count * (2 if wide else 1)
                raw = data[pos + 2:pos + 2 + size]
                if len(raw) != size:
                    raise LinkError("string data cut short")
                # Some writers pad a string with NULs.
                out[key] = raw.decode("utf-16-le" if wide else "latin-1").split("\0")[0]
                pos += 2 + size
    except (struct.error, ValueError) as e:
        raise LinkError("damaged shell link: %s" % e) from e
    return out
