#pragma once

#include <QJsonObject>
#include <cstddef>
#include <filesystem>
#include <string>

#include "psd/DocumentState.h"

namespace plymark::test {

QJsonObject ReadJson(const std::filesystem::path& path);

// Per file: the mean and the 99th percentile of CIEDE2000 between every
// layer's tile and its sRGB reference, pixels of transparency 0 left out.
struct Differences {
  double Mean = 0;
  double Percentile99 = 0;
  std::size_t Pixels = 0;
};

// Opens `psd` as the window does into `state` and compares the layers that
// `sidecar` lists ("index", "reference", "alpha" beside the file).
Differences CompareWithReferences(const std::filesystem::path& psd, const QJsonObject& sidecar,
                                  DocumentState& state);

// Prints the figures and records them as a test property.
void Report(const std::string& name, const Differences& differences);

}  // namespace plymark::test
