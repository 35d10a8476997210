// The Python module plymark._plymark: documents, layers and their pixels as
// numpy arrays over the library's own memory. Decoding releases the GIL.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <vector>

#include "plymark/plymark.h"
#include "python/src/Arrays.h"

namespace py = pybind11;
using plymark::python::ArrayOf;

namespace {

// A document with what its last composite() and render() said.
struct PyDocument {
  plymark::Document Document;
  std::optional<std::string> CompositeError;
  std::vector<std::string> RenderOmissions;
};

const char* KindName(plymark::RecordKind kind) {
  switch (kind) {
    case plymark::RecordKind::Group:
      return "group";
    case plymark::RecordKind::GroupEnd:
      return "groupEnd";
    case plymark::RecordKind::Layer:
      break;
  }
  return "layer";
}

plymark::Colours ColoursNamed(const std::string& name) {
  if (name == "srgb") return plymark::Colours::Srgb;
  if (name == "stored") return plymark::Colours::Stored;
  throw py::value_error("colors must be \"srgb\" or \"stored\", not \"" + name + "\"");
}

// Opens a path (str or os.PathLike) or a file's bytes (any buffer).
PyDocument Open(const py::object& source) {
  if (PyObject_CheckBuffer(source.ptr()) != 0) {
    const py::buffer_info buffer = py::reinterpret_borrow<py::buffer>(source).request();
    const auto* start = static_cast<const std::uint8_t*>(buffer.ptr);
    std::vector<std::uint8_t> bytes(start, start + buffer.size * buffer.itemsize);
    const py::gil_scoped_release release;
    return {plymark::Document::FromMemory(std::move(bytes)), std::nullopt, {}};
  }
  const std::string path = py::str(py::module_::import("os").attr("fspath")(source));
  const py::gil_scoped_release release;
  return {plymark::Document::Open(path), std::nullopt, {}};
}

// Calls `read` without the GIL and gives its picture as an array, or None.
template <typename Read>
py::object ArrayOrNone(const Read& read) {
  std::optional<plymark::Image> image;
  {
    const py::gil_scoped_release release;
    image = read();
  }
  if (!image) return py::none();
  return ArrayOf(*image);
}

py::object Composite(PyDocument& self) {
  plymark::Composite composite;
  {
    const py::gil_scoped_release release;
    composite = self.Document.MergedImage();
  }
  if (!composite.Picture) {
    self.CompositeError = composite.Problem;
    return py::none();
  }
  self.CompositeError.reset();
  return ArrayOf(*composite.Picture);
}

// The document drawn from its layers, as rendered.png; what it left out is
// kept for render_omissions.
py::object Render(PyDocument& self, int reduceTo) {
  if (reduceTo < 0) throw py::value_error("reduce_to must be 0 or more");
  plymark::Drawing drawing;
  {
    const py::gil_scoped_release release;
    drawing = self.Document.Render({plymark::CompositeLayout::Bytes, reduceTo});
  }
  self.RenderOmissions = std::move(drawing.Omissions);
  return ArrayOf(drawing.Picture);
}

// A settings block as {"key": KEY, "settings": dict or None}.
py::object SettingsDict(const std::optional<plymark::SettingsJson>& block) {
  if (!block) return py::none();
  py::dict result;
  result["key"] = block->Key;
  result["settings"] = block->Json ? py::module_::import("json").attr("loads")(*block->Json)
                                   : py::object(py::none());
  return result;
}

py::object TextDict(const plymark::Layer& layer) {
  const auto text = layer.Text();
  if (!text) return py::none();
  py::list runs;
  for (const plymark::TextStyleRun& run : text->Runs) {
    py::dict item;
    item["start"] = run.Start;
    item["length"] = run.Length;
    item["font"] = run.Font.empty() ? py::object(py::none()) : py::str(run.Font);
    item["size"] = run.Size;
    item["color"] = run.Color ? py::object(py::make_tuple(run.Color->Red, run.Color->Green,
                                                          run.Color->Blue, run.Color->Alpha))
                              : py::object(py::none());
    runs.append(item);
  }
  py::dict result;
  result["text"] = text->Text;
  result["runs"] = runs;
  return result;
}

py::object SmartObjectDict(const plymark::Layer& layer) {
  const auto info = layer.SmartObject();
  if (!info) return py::none();
  py::dict result;
  result["unique_id"] = info->UniqueId;
  result["kind"] = info->LinkKind;
  result["file_name"] = info->FileName;
  result["file_type"] = info->FileType;
  result["embedded"] = info->Embedded;
  result["embedded_size"] = info->EmbeddedSize;
  return result;
}

template <typename Bytes>
py::object BytesOrNone(const std::optional<Bytes>& bytes) {
  if (!bytes) return py::none();
  return py::bytes(reinterpret_cast<const char*>(bytes->data()), bytes->size());
}

py::object ResolutionDict(const plymark::Document& document) {
  const auto info = document.Resolution();
  if (!info) return py::none();
  py::dict result;
  result["horizontal"] = info->Horizontal;
  result["horizontal_unit"] = info->HorizontalUnit;
  result["width_unit"] = info->WidthUnit;
  result["vertical"] = info->Vertical;
  result["vertical_unit"] = info->VerticalUnit;
  result["height_unit"] = info->HeightUnit;
  return result;
}

py::object MaskInfo(const plymark::Layer& layer) {
  const auto mask = layer.Mask();
  if (!mask) return py::none();
  py::dict info;
  info["bbox"] =
      py::make_tuple(mask->Bounds.Left, mask->Bounds.Top, mask->Bounds.Right, mask->Bounds.Bottom);
  info["default_color"] = mask->DefaultColor;
  info["flags"] = mask->Flags;
  info["has_picture"] = mask->HasPicture;
  return info;
}

}  // namespace

PYBIND11_MODULE(_plymark, m) {
  m.doc() = "Plymark's reader of PSD and PSB files";
  m.attr("__version__") = std::to_string(PLYMARK_VERSION_MAJOR) + "." +
                          std::to_string(PLYMARK_VERSION_MINOR) + "." +
                          std::to_string(PLYMARK_VERSION_PATCH);
  py::register_exception<plymark::Error>(m, "Error");

  py::class_<plymark::Layer>(m, "Layer")
      .def_property_readonly("index", &plymark::Layer::Index)
      .def_property_readonly("name", &plymark::Layer::Name)
      .def_property_readonly("kind", [](const plymark::Layer& l) { return KindName(l.Kind()); })
      .def_property_readonly("parent",
                             [](const plymark::Layer& l) -> py::object {
                               return l.Parent() < 0 ? py::object(py::none())
                                                     : py::int_(l.Parent());
                             })
      .def_property_readonly("visible", &plymark::Layer::Visible)
      .def_property_readonly("opacity", &plymark::Layer::Opacity)
      .def_property_readonly("blend_mode", &plymark::Layer::BlendKey)
      .def_property_readonly("blend_signature", &plymark::Layer::BlendSignature)
      .def_property_readonly("bbox",
                             [](const plymark::Layer& l) {
                               const plymark::Rect r = l.Bounds();
                               return py::make_tuple(r.Left, r.Top, r.Right, r.Bottom);
                             })
      .def_property_readonly("clipping", &plymark::Layer::Clipping)
      .def_property_readonly("mask_info", &MaskInfo)
      .def_property_readonly("channels",
                             [](const plymark::Layer& l) {
                               py::list channels;
                               for (const plymark::ChannelInfo& c : l.Channels()) {
                                 channels.append(py::make_tuple(c.Id, c.Compression, c.Length));
                               }
                               return channels;
                             })
      .def_property_readonly("skipped", &plymark::Layer::Skipped)
      .def_property_readonly("id", &plymark::Layer::Id)
      .def_property_readonly("text", &TextDict)
      .def_property_readonly("smart_object", &SmartObjectDict)
      .def_property_readonly("effects",
                             [](const plymark::Layer& l) { return SettingsDict(l.Effects()); })
      .def_property_readonly("adjustment",
                             [](const plymark::Layer& l) { return SettingsDict(l.Adjustment()); })
      .def_property_readonly("fill", [](const plymark::Layer& l) { return SettingsDict(l.Fill()); })
      .def_property_readonly("block_problems", &plymark::Layer::BlockProblems)
      .def("embedded_file",
           [](const plymark::Layer& l) {
             std::optional<std::vector<std::uint8_t>> bytes;
             {
               const py::gil_scoped_release release;
               bytes = l.EmbeddedFile();
             }
             return BytesOrNone(bytes);
           })
      .def(
          "numpy",
          [](const plymark::Layer& l, int depth, const std::string& colors) {
            const plymark::Colours colours = ColoursNamed(colors);
            return ArrayOrNone([&] { return std::optional(l.Pixels(depth, colours)); });
          },
          py::arg("depth") = 8, py::arg("colors") = "srgb")
      .def(
          "alpha",
          [](const plymark::Layer& l, int depth) {
            return ArrayOrNone([&] { return l.Transparency(depth); });
          },
          py::arg("depth") = 8)
      .def(
          "mask",
          [](const plymark::Layer& l, int depth) {
            return ArrayOrNone([&] { return l.MaskPixels(depth); });
          },
          py::arg("depth") = 8)
      .def("__repr__", [](const plymark::Layer& l) {
        return "<plymark.Layer " + std::to_string(l.Index()) + " " + KindName(l.Kind()) + " '" +
               l.Name() + "'>";
      });

  py::class_<PyDocument>(m, "Document")
      .def_property_readonly("file_name", [](const PyDocument& d) { return d.Document.FileName(); })
      .def_property_readonly("signature",
                             [](const PyDocument& d) { return d.Document.Signature(); })
      .def_property_readonly("version", [](const PyDocument& d) { return d.Document.Version(); })
      .def_property_readonly("channels", [](const PyDocument& d) { return d.Document.Channels(); })
      .def_property_readonly("width", [](const PyDocument& d) { return d.Document.Width(); })
      .def_property_readonly("height", [](const PyDocument& d) { return d.Document.Height(); })
      .def_property_readonly("depth", [](const PyDocument& d) { return d.Document.Depth(); })
      .def_property_readonly("_color_mode",
                             [](const PyDocument& d) { return d.Document.ColorMode(); })
      .def_property_readonly("color_profile",
                             [](const PyDocument& d) { return d.Document.ColorProfile(); })
      .def_property_readonly("color_managed",
                             [](const PyDocument& d) { return d.Document.ColorManaged(); })
      .def_property_readonly("notices", [](const PyDocument& d) { return d.Document.Notices(); })
      .def_property_readonly("summary", [](const PyDocument& d) { return d.Document.Summary(); })
      .def_property_readonly("layers", [](const PyDocument& d) { return d.Document.Layers(); })
      .def("composite", &Composite)
      .def_property_readonly("composite_error",
                             [](const PyDocument& d) { return d.CompositeError; })
      .def("render", &Render, py::arg("reduce_to") = 0)
      .def_property_readonly("render_omissions",
                             [](const PyDocument& d) { return d.RenderOmissions; })
      .def_property_readonly("resolution",
                             [](const PyDocument& d) { return ResolutionDict(d.Document); })
      .def_property_readonly("xmp",
                             [](const PyDocument& d) { return BytesOrNone(d.Document.Xmp()); })
      .def("__repr__", [](const PyDocument& d) {
        return "<plymark.Document '" + d.Document.FileName() + "' " +
               std::to_string(d.Document.Width()) + "x" + std::to_string(d.Document.Height()) +
               ", " + std::to_string(d.Document.LayerCount()) + " layers>";
      });

  m.def("open", &Open, py::arg("source"),
        "Opens a PSD or PSB file from a path or from its bytes; raises plymark.Error.");
}
