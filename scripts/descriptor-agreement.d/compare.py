"""Compares plymark-export's layers.json with what psd-tools reads.

compare.py EXPORT_DIR EXPORT_LOG FILE...: the files in the order they were
given to plymark-export, whose folders it named after them.
"""

import hashlib
import json
import logging
import os
import sys
import warnings

from psd_tools import PSDImage
from psd_tools.constants import Tag

logging.disable(logging.CRITICAL)
warnings.simplefilter("ignore")


def folder_names(files):
    """The folder plymark-export gives each file: its name without the
    extension, with -2, -3, ... where names clash."""
    taken, names = set(), []
    for path in files:
        name = os.path.basename(path)
        # QFileInfo::completeBaseName: everything before the last dot.
        base = os.path.splitext(name)[0] or name
        candidate, n = base, 2
        while candidate in taken:
            candidate, n = f"{base}-{n}", n + 1
        taken.add(candidate)
        names.append(candidate)
    return names


def joined(text):
    """psd-tools leaves a character outside the BMP as its two UTF-16
    surrogates; joined, they are the character."""
    if text is None:
        return None
    return text.encode("utf-16-le", "surrogatepass").decode("utf-16-le", "replace")


def layer_records(psd):
    info = psd._record.layer_and_mask_information
    if info.layer_info is not None and info.layer_info.layer_records:
        return list(info.layer_info.layer_records)
    blocks = info.tagged_blocks
    for tag in (Tag.LAYER_16, Tag.LAYER_32, Tag.LAYER):
        if blocks is not None and tag in blocks:
            return list(blocks.get_data(tag).layer_records)
    return []


class Tally:
    def __init__(self):
        self.checks = 0
        self.disagreements = []

    def check(self, where, what, ours, theirs):
        self.checks += 1
        if ours != theirs:
            self.disagreements.append(f"{where}: {what}: plymark {ours!r}, psd-tools {theirs!r}")


def compare_file(path, folder, tally):
    psd = PSDImage.open(path)
    with open(os.path.join(folder, "layers.json"), encoding="utf-8") as stream:
        ours = json.load(stream)["layers"]
    records = layer_records(psd)
    name = os.path.basename(path)
    tally.check(name, "layer records", len(ours), len(records))
    if len(ours) != len(records):
        return
    for index, record in enumerate(records):
        theirs = record.tagged_blocks.get_data(Tag.LAYER_ID) if record.tagged_blocks else None
        if theirs is not None or ours[index]["id"] is not None:
            tally.check(f"{name} layer {index}", "id", ours[index]["id"], theirs)
    index_of = {id(record): index for index, record in enumerate(records)}
    text_layers = set()
    for layer in psd.descendants():
        index = index_of.get(id(layer._record))
        if index is None:
            continue
        where = f"{name} layer {index}"
        mine = ours[index]
        if layer.kind == "type":
            text_layers.add(index)
            text = mine["text"]["text"] if mine["text"] else None
            tally.check(where, "text", text, joined(layer.text))
        if layer.kind == "smartobject":
            compare_smart_object(where, folder, mine["smartObject"], layer.smart_object, tally)
    for index, layer in enumerate(ours):
        if layer["text"] is not None and index not in text_layers:
            tally.check(f"{name} layer {index}", "text", layer["text"]["text"], None)


def compare_smart_object(where, folder, mine, theirs, tally):
    mine = mine or {}
    tally.check(where, "smart object unique id", mine.get("uniqueId"), theirs.unique_id)
    tally.check(where, "smart object file name", mine.get("fileName"), theirs.filename)
    # The four stored characters: psd-tools gives them in lower case and keeps
    # zero bytes, plymark-export as stored without the padding.
    filetype = theirs.filetype
    if isinstance(filetype, bytes):
        filetype = filetype.decode("latin-1")
    filetype = (filetype or "").rstrip(" \0").lower() or None
    ours = (mine.get("fileType") or "").lower() or None
    tally.check(where, "smart object file type", ours, filetype)
    if theirs.kind == "data":
        digest = None
        if mine.get("file"):
            with open(os.path.join(folder, mine["file"]), "rb") as stream:
                digest = hashlib.sha256(stream.read()).hexdigest()
        tally.check(where, "smart object bytes (SHA-256)", digest,
                    hashlib.sha256(theirs.data).hexdigest())


def main():
    export, log, files = sys.argv[1], sys.argv[2], sys.argv[3:]
    tally = Tally()
    unread = 0
    for path, name in zip(files, folder_names(files)):
        folder = os.path.join(export, name) if len(files) > 1 else export
        if not os.path.exists(os.path.join(folder, "layers.json")):
            tally.check(os.path.basename(path), "export", "failed", "read")
            continue
        try:
            compare_file(path, folder, tally)
        except Exception as error:  # psd-tools cannot read the file
            unread += 1
            print(f"{os.path.basename(path)}: psd-tools cannot read it: {error}")
    for line in tally.disagreements:
        print(line)
    print(f"{len(files)} files ({unread} that psd-tools cannot read), {tally.checks} checks, "
          f"{len(tally.disagreements)} disagreements")


if __name__ == "__main__":
    main()
