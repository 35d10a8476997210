#pragma once

#include <QJsonObject>
#include <cstddef>
#include <filesystem>
#include <string>

#include "psd/DocumentState.h"
#include "tests/support/Ciede2000.h"

namespace plymark::test {

QJsonObject ReadJson(const std::filesystem::path& path);

// Opens `psd` as the window does into `state` and compares the layers that
// `sidecar` lists ("index", "reference", "alpha" beside the file) in
// CIEDE2000, pixels of transparency 0 left out.
Differences CompareWithReferences(const std::filesystem::path& psd, const QJsonObject& sidecar,
                                  DocumentState& state);

// Prints the figures and records them as a test property.
void Report(const std::string& name, const Differences& differences);

}  // namespace plymark::test
