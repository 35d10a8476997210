#!/usr/bin/python3
"""Summarises render_probe's lines against the development corpus's INDEX.csv.

Usage: bench/probe_table.py PROBE_OUTPUT INDEX.csv

Prints the share of files that pass (mean CIEDE2000 <= 1 and 95th percentile
<= 2.3) overall, on the files psd-tools can be measured on (RGB or grey, 8 or
16 bits, at most 1.5 megapixels), both without documents that have a visible
dissolve layer, and a table of the files by feature: how many use it and how
many of those fail. Debian's python3, standard library only.
"""
import csv
import sys


def features(row):
    found = []
    if int(row["groups"] or 0) > 0:
        found.append("groups")
    if int(row["passthrough_groups"] or 0) > 0:
        found.append("pass-through")
    if int(row["clipped_layers"] or 0) > 0:
        found.append("clipping")
    if int(row["raster_masks"] or 0) > 0:
        found.append("masks")
    if int(row["vector_masks"] or 0) > 0:
        found.append("vector masks")
    if int(row["opacity_lt255_layers"] or 0) > 0:
        found.append("opacity")
    if int(row["fill_lt255_layers"] or 0) > 0:
        found.append("fill")
    modes = [m for m in row["blend_modes"].split(";") if m and m != "normal"]
    if modes:
        found.append("modes")
    if row["group_blend_modes"]:
        found.append("group modes")
    if row["adjustments"]:
        kinds = [a for a in row["adjustments"].split(";") if a not in ("solidfill", "patternfill")]
        if kinds:
            found.append("adjustments")
        if "solidfill" in row["adjustments"] or "patternfill" in row["adjustments"]:
            found.append("fill layers")
    if row["enabled_effects"]:
        found.append("effects")
    if int(row["smart_objects"] or 0) > 0:
        found.append("smart objects")
    if int(row["text_layers"] or 0) > 0:
        found.append("text")
    if row["other_compositing"]:
        found.append(row["other_compositing"])
    found.append("depth %s" % row["depth"])
    found.append(row["color_mode"])
    return found


def main():
    probe, index = sys.argv[1], sys.argv[2]
    rows = {r["file"]: r for r in csv.DictReader(open(index))}
    results = {}
    dissolve = set()
    for line in open(probe):
        if line.startswith("  - "):
            if "dissolve" in line:
                dissolve.add(last)
            continue
        fields = line.rstrip("\n").split("\t")
        last = fields[0]
        results[last] = fields[1]
    measured = [f for f, s in results.items() if s in ("pass", "fail") and f not in dissolve]
    peers = [
        f
        for f in measured
        if f in rows
        and rows[f]["color_mode"] in ("RGB", "Grayscale")
        and rows[f]["depth"] in ("8", "16")
        and int(rows[f]["width"]) * int(rows[f]["height"]) <= 1500000
    ]
    for name, files in (("all measured", measured), ("psd-tools' set", peers)):
        passed = sum(1 for f in files if results[f] == "pass")
        print("%-16s %4d of %4d pass (%.1f %%)" % (name, passed, len(files), 100.0 * passed / max(1, len(files))))
    table = {}
    for f in measured:
        for feature in features(rows.get(f, {})) if f in rows else ["not in index"]:
            used, failed = table.get(feature, (0, 0))
            table[feature] = (used + 1, failed + (results[f] == "fail"))
    print("\n| feature | files | fail | pass % |\n|---|---|---|---|")
    for feature, (used, failed) in sorted(table.items(), key=lambda item: -item[1][1]):
        print("| %s | %d | %d | %.0f |" % (feature, used, failed, 100.0 * (used - failed) / used))
    errors = [f for f, s in results.items() if s == "error"]
    if errors:
        print("\nerrors:", " ".join(errors))


main()
