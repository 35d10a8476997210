"""The render agreement measure; see scripts/render-agreement."""

import argparse
import os
import sys
from collections import defaultdict

import numpy as np

import colour_difference
import exports
import features
import psd_records

PASS_MEAN = 1.0
PASS_P95 = 2.3


class Result:
    def __init__(self, path):
        self.path = path
        self.mean = self.p95 = self.worst = None
        self.problem = ""      # why there is no comparison, or why it failed outright
        self.features = set()
        self.maker = False     # resource 1057 names the maker's editor
        self.dissolve = False  # a visible dissolve layer
        self.psd_tools = False  # psd-tools 1.18 can be measured on it

    @property
    def passed(self):
        return self.mean is not None and self.mean <= PASS_MEAN and self.p95 <= PASS_P95


def measure(path, folder):
    """Compares one export's rendered.png with its composite.png; None when
    the file has no merged image to compare with."""
    result = Result(path)
    document = psd_records.read_document(path)
    result.features = features.document_features(document)
    result.maker = "Adobe Photoshop" in document.writer
    result.dissolve = features.visible_dissolve(document)
    result.psd_tools = features.psd_tools_measurable(document)
    data = exports.layers_json(folder)
    if data is None:
        result.problem = "the export failed"
        return result
    if not data.get("composite"):
        return None
    if data.get("renderOmissions"):
        result.features.add("omissions")
    if not data.get("rendered"):
        result.problem = "no render: " + str(data.get("renderError"))
        return result
    rendered = exports.picture(os.path.join(folder, data["rendered"]))
    composite = exports.picture(os.path.join(folder, data["composite"]))
    if rendered.shape[:2] != composite.shape[:2]:
        result.problem = f"sizes differ: {rendered.shape[:2]} and {composite.shape[:2]}"
        return result
    differences = colour_difference.differences(rendered, composite)
    result.mean = float(np.mean(differences))
    result.p95 = float(np.percentile(differences, 95))
    result.worst = float(np.max(differences))
    return result


def share(results):
    passed = sum(r.passed for r in results)
    percent = 100.0 * passed / len(results) if results else 0.0
    return f"{passed} of {len(results)} ({percent:.1f} %)"


def report(results):
    width = max(len(os.path.basename(r.path)) for r in results)
    print(f"{'file':<{width}}  {'mean':>6} {'p95':>6} {'max':>6}  result  features")
    for r in results:
        name = os.path.basename(r.path)
        verdict = "pass" if r.passed else "FAIL"
        values = (f"{r.mean:6.2f} {r.p95:6.2f} {r.worst:6.2f}" if r.mean is not None
                  else f"{'-':>6} {'-':>6} {'-':>6}")
        notes = ", ".join(sorted(r.features))
        if r.problem:
            notes = r.problem + ("; " + notes if notes else "")
        print(f"{name:<{width}}  {values}  {verdict:<6}  {notes}")
    maker = [r for r in results if r.maker and not r.dissolve]
    print()
    print(f"pass (mean <= {PASS_MEAN}, 95th percentile <= {PASS_P95}):")
    print(f"  every file with a merged image:                      {share(results)}")
    print(f"  written by the maker, no visible dissolve layer:     {share(maker)}")
    print(f"  of those, what psd-tools 1.18 can be measured on:    "
          f"{share([r for r in maker if r.psd_tools])}")
    by_feature = defaultdict(list)
    for r in results:
        for name in r.features or {"(none)"}:
            by_feature[name].append(r)
    print()
    print("| feature | files | failing | passing |")
    print("|---|---|---|---|")
    for name, group in sorted(by_feature.items(), key=lambda item: (-len(item[1]), item[0])):
        failing = sum(not r.passed for r in group)
        print(f"| {name} | {len(group)} | {failing} | {100.0 * (len(group) - failing) / len(group):.0f} % |")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--export", required=True)
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--out", required=True)
    parser.add_argument("folders", nargs="+")
    arguments = parser.parse_args()
    colour_difference.check_against_sharma()
    files = exports.psd_files(arguments.folders)
    if not files:
        sys.exit("no PSD or PSB files in " + " ".join(arguments.folders))
    folders = exports.export_all(arguments.export, files, arguments.out, arguments.jobs)
    results = [r for r in (measure(p, f) for p, f in zip(files, folders)) if r is not None]
    if not results:
        sys.exit("no file has a merged image to compare with")
    report(results)


if __name__ == "__main__":
    main()
