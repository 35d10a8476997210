"""The layer records of a PSD or PSB file, read just far enough to say which
compositing features a document uses. Damage ends the reading quietly: what
was read so far is kept."""

import mmap
import struct

# Tagged blocks whose length takes 8 bytes in a PSB.
LONG_KEYS = {b"LMsk", b"Lr16", b"Lr32", b"Layr", b"Mt16", b"Mt32", b"Mtrn", b"Alph",
             b"FMsk", b"lnk2", b"FEid", b"FXid", b"PxSD"}


class Record:
    def __init__(self):
        self.mode = ""         # the record's blend key
        self.group_mode = ""   # a group's key from its section divider block
        self.kind = "layer"    # "layer", "group" or "divider"
        self.opacity = 255
        self.clipping = False
        self.visible = True
        self.user_mask = False
        self.blending_ranges = b""
        self.blocks = {}       # key -> data


class Document:
    def __init__(self):
        self.version = 1
        self.depth = 8
        self.color_mode = 3
        self.width = 0
        self.height = 0
        self.writer = ""       # resource 1057's writer name
        self.thumbnail = None  # (resource id, JPEG bytes) of the stored thumbnail
        self.records = []


class Reader:
    def __init__(self, data):
        self.data = data
        self.at = 0

    def take(self, size):
        if size < 0 or self.at + size > len(self.data):
            raise ValueError("short")
        chunk = self.data[self.at:self.at + size]
        self.at += size
        return chunk

    def u(self, size):
        return int.from_bytes(self.take(size), "big")

    def i16(self):
        return struct.unpack(">h", self.take(2))[0]


def unicode_string(data, at):
    count = int.from_bytes(data[at:at + 4], "big")
    return data[at + 4:at + 4 + 2 * count].decode("utf-16-be", "replace").rstrip("\0")


def read_resources(reader, end, document):
    while reader.at + 12 <= end:
        if reader.take(4) not in (b"8BIM", b"MeSa", b"AgHg", b"PHUT", b"DCSR"):
            return
        resource = reader.u(2)
        name = reader.u(1)
        reader.take(name + (1 - name % 2))
        size = reader.u(4)
        data = reader.take(size + size % 2)
        if resource == 1057 and len(data) >= 9:
            document.writer = unicode_string(data, 5)
        # 1036, or 1033 (blue, green, red) of older writers: a 28-byte head, then
        # the JPEG when its format is 1.
        if resource in (1033, 1036) and len(data) > 28 and data[:4] == b"\0\0\0\1":
            if document.thumbnail is None or resource == 1036:
                document.thumbnail = (resource, bytes(data[28:]))


def read_blocks(reader, end, version):
    """Tagged blocks up to `end` as a key -> data dictionary; padding that a
    block's length does not count (to 2 or 4 bytes) is stepped over."""
    blocks = {}
    while reader.at + 12 <= end:
        for skip in range(4):
            if reader.data[reader.at + skip:reader.at + skip + 4] in (b"8BIM", b"8B64"):
                reader.at += skip
                break
        else:
            break
        reader.take(4)
        key = reader.take(4)
        size = reader.u(8 if version == 2 and key in LONG_KEYS else 4)
        blocks[key.decode("latin-1")] = reader.take(size)
    return blocks


def read_layer_info(reader, document):
    """Appends the layer records at the reader to the document's."""
    count = abs(reader.i16())
    length_bytes = 8 if document.version == 2 else 4
    for _ in range(count):
        record = Record()
        reader.take(16)
        channels = reader.u(2)
        reader.take(channels * (2 + length_bytes))
        reader.take(4)
        record.mode = reader.take(4).decode("latin-1")
        record.opacity = reader.u(1)
        record.clipping = reader.u(1) != 0
        record.visible = reader.u(1) & 2 == 0
        reader.take(1)
        extra = reader.u(4)
        extra_end = reader.at + extra
        mask = reader.u(4)
        record.user_mask = mask >= 20
        reader.take(mask)
        ranges = reader.u(4)
        record.blending_ranges = reader.take(ranges)
        name = reader.u(1)
        reader.take(name + (-(name + 1) % 4))
        record.blocks = read_blocks(reader, extra_end, document.version)
        reader.at = extra_end
        divider = record.blocks.get("lsct") or record.blocks.get("lsdk")
        if divider and len(divider) >= 4:
            setting = int.from_bytes(divider[:4], "big")
            record.kind = {1: "group", 2: "group", 3: "divider"}.get(setting, "layer")
            if len(divider) >= 12:
                record.group_mode = divider[8:12].decode("latin-1")
        document.records.append(record)


def read_document(path):
    document = Document()
    with open(path, "rb") as file:
        try:
            data = mmap.mmap(file.fileno(), 0, access=mmap.ACCESS_READ)
        except ValueError:
            return document  # empty
        try:
            read_sections(Reader(data), document)
        except (ValueError, struct.error, UnicodeDecodeError):
            pass
        finally:
            data.close()
    return document


def read_sections(reader, document):
    reader.take(4)
    document.version = reader.u(2)
    reader.take(6)
    reader.u(2)
    document.height = reader.u(4)
    document.width = reader.u(4)
    document.depth = reader.u(2)
    document.color_mode = reader.u(2)
    reader.take(reader.u(4))
    resources = reader.u(4)
    end = reader.at + resources
    read_resources(reader, end, document)
    reader.at = end
    length_bytes = 8 if document.version == 2 else 4
    section = reader.u(length_bytes)
    section_end = reader.at + section
    info = reader.u(length_bytes) if section >= length_bytes else 0
    info_end = reader.at + info
    if info > 0:
        try:
            read_layer_info(reader, document)
        except (ValueError, struct.error):
            pass
    reader.at = info_end
    if reader.at + 4 > section_end:
        return
    reader.take(reader.u(4))  # global layer mask info
    # 16- and 32-bit documents keep their layers in a global block.
    blocks = read_blocks(reader, section_end, document.version)
    for key in ("Lr16", "Lr32", "Layr"):
        if key in blocks and not document.records:
            read_layer_info(Reader(blocks[key]), document)
