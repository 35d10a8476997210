"""Which compositing features a document uses, from its layer records. To
follow a new feature, add one line to LAYER_FEATURES."""

# The adjustments the compositor draws, and the others the maker has.
# `CgEd` comes before the `brit` of zeros it rides beside.
DRAWN_ADJUSTMENTS = ("levl", "curv", "CgEd", "brit", "expA", "hue2", "nvrt", "post", "thrs",
                     "blnc", "vibA", "blwh", "phfl", "mixr", "selc", "clrL", "grdm")
OTHER_ADJUSTMENTS = ("hue ",)
EFFECTS = ("lfx2", "lrFX", "lmfx")
FILLS = ("SoCo", "GdFl", "PtFl")
FULL_RANGE = bytes([0, 0, 255, 255])


# The class ids of each kind of layer effect in 'lfx2' and 'lmfx' descriptors.
EFFECT_CLASSES = (("drop shadow", b"DrSh"), ("inner shadow", b"IrSh"), ("outer glow", b"OrGl"),
                  ("inner glow", b"IrGl"), ("satin", b"ChFX"), ("colour overlay", b"SoFi"),
                  ("gradient overlay", b"GrFl"), ("pattern overlay", b"patternFill"),
                  ("stroke", b"FrFX"), ("bevel", b"ebbl"))


def effect_kinds(record):
    """The kinds of effect switched on in the record's descriptor, or ()."""
    data = record.blocks.get("lmfx") or record.blocks.get("lfx2") or b""
    master = data.find(b"masterFXSwitchbool")
    if master >= 0 and data[master + 18:master + 19] == b"\0":
        return ()
    kinds = []
    for name, key in EFFECT_CLASSES:
        # A class id of four characters is stored behind a length of 0.
        wanted = (b"\0\0\0\0" + key) if len(key) == 4 else key
        at = data.find(wanted)
        while at >= 0:
            enabled = data.find(b"enabbool", at)
            if enabled >= 0 and data[enabled + 8:enabled + 9] == b"\1":
                kinds.append(name)
                break
            at = data.find(wanted, at + 1)
    return tuple(kinds)


def first_key(record, keys):
    return next((key.strip() for key in keys if key in record.blocks), None)


def blend_if(record):
    """Blending ranges other than the full range, in any channel."""
    ranges = record.blending_ranges
    return any(ranges[k:k + 4] != FULL_RANGE for k in range(0, len(ranges) - 3, 4))


def fill_opacity(record):
    data = record.blocks.get("iOpa", b"")
    return len(data) >= 1 and data[0] != 255


# (name, test): the test takes a visible record and returns True, a value
# that fills the name's "{}", or something false.
LAYER_FEATURES = [
    ("mode {}", lambda r: r.kind == "layer" and r.mode != "norm" and r.mode.strip()),
    ("group", lambda r: r.kind == "group"),
    ("pass-through", lambda r: r.kind == "group" and r.group_mode == "pass"),
    ("group mode {}", lambda r: r.kind == "group" and r.group_mode not in ("", "pass")
     and r.group_mode.strip()),
    ("clipping", lambda r: r.clipping and r.kind != "divider"),
    ("user mask", lambda r: r.user_mask),
    ("vector mask", lambda r: "vmsk" in r.blocks or "vsms" in r.blocks),
    ("opacity", lambda r: r.opacity < 255),
    ("fill opacity", fill_opacity),
    ("adjustment {}", lambda r: first_key(r, DRAWN_ADJUSTMENTS)),
    ("other adjustment {}", lambda r: first_key(r, OTHER_ADJUSTMENTS)),
    ("effects", lambda r: first_key(r, EFFECTS)),
    ("effect {}", effect_kinds),
    ("fill layer", lambda r: first_key(r, FILLS)),
    ("smart object", lambda r: first_key(r, ("SoLd", "PlLd", "SoLE"))),
    ("text", lambda r: "TySh" in r.blocks),
    ("knockout", lambda r: r.blocks.get("knko", b"\0")[:1] not in (b"\0", b"")),
    ("blend-if", blend_if),
    ("clipped not as group", lambda r: r.blocks.get("clbl", b"\1")[:1] == b"\0"),
    ("artboard", lambda r: first_key(r, ("artb", "artd", "abdd"))),
    ("channel restrictions", lambda r: len(r.blocks.get("brst", b"")) >= 4),
    ("transparency shapes off", lambda r: r.blocks.get("tsly", b"\1")[:1] == b"\0"),
]


def document_features(document):
    """The set of feature names over the document's visible records."""
    found = set()
    for record in document.records:
        if not record.visible:
            continue
        for name, test in LAYER_FEATURES:
            value = test(record)
            for each in value if isinstance(value, tuple) else (value,):
                if each:
                    found.add(name.format(each) if "{}" in name else name)
    return found


def visible_dissolve(document):
    return any(r.visible and r.mode == "diss" for r in document.records)


def psd_tools_measurable(document):
    """What psd-tools 1.18 can be measured on: RGB or grey, 8 or 16 bits, at
    most 1.5 megapixels."""
    return (document.color_mode in (1, 3) and document.depth in (8, 16)
            and document.width * document.height <= 1_500_000)
