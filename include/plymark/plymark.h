#pragma once

// libplymark: reads the layers and the merged image of PSD and PSB files.
//
//   plymark::Document document = plymark::Document::Open("scan.psd");
//   for (const plymark::Layer& layer : document.Layers()) {
//     plymark::Image pixels = layer.Pixels();  // Rgba8 at layer.Bounds()
//   }

#include "plymark/Api.h"
#include "plymark/Document.h"
#include "plymark/Drawing.h"
#include "plymark/Error.h"
#include "plymark/Image.h"
#include "plymark/Layer.h"
#include "plymark/Settings.h"
