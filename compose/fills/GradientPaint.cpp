#include <algorithm>
#include <cmath>
#include <numbers>

#include "compose/Paint.h"
#include "compose/fills/GradientRamp.h"

namespace plymark {
namespace {

enum class GradientShape { Linear, Radial, Angle, Reflected, Diamond };

GradientShape ShapeOf(const Descriptor& settings) {
  const auto* type = settings.Get<Enumerated>("Type");
  if (type == nullptr) return GradientShape::Linear;
  if (type->Value == "Rdl ") return GradientShape::Radial;
  if (type->Value == "Angl") return GradientShape::Angle;
  if (type->Value == "Rflc") return GradientShape::Reflected;
  if (type->Value == "Dmnd") return GradientShape::Diamond;
  return GradientShape::Linear;
}

double Finite(std::optional<double> value, double otherwise) {
  return value && std::isfinite(*value) ? *value : otherwise;
}

// Where a gradient lies: its centre, its direction and its length in
// document pixels. A linear gradient spans the line through the box's centre
// (moved by the offset) in its direction, as far as the box's sides cut it;
// the others reach that half-length from the centre. Scale multiplies the
// length.
struct GradientGeometry {
  double CentreX = 0, CentreY = 0;
  double DirX = 1, DirY = 0;  ///< unit vector along the gradient, y down
  double Length = 1;
  GradientShape Shape = GradientShape::Linear;
  bool Reverse = false;
};

GradientGeometry Place(const Descriptor& settings, const PaintFrame& frame) {
  GradientGeometry g;
  g.Shape = ShapeOf(settings);
  g.Reverse = settings.Boolean("Rvrs").value_or(false);
  const bool aligned = settings.Boolean("Algn").value_or(true);
  Extent box = aligned ? frame.Layer : frame.Document;
  if (box.Empty()) box = frame.Document;
  const double width = box.Right - box.Left, height = box.Bottom - box.Top;
  double offsetX = 0, offsetY = 0;
  if (const Descriptor* offset = settings.Object("Ofst")) {
    offsetX = Finite(offset->Number("Hrzn"), 0) / 100 * width;
    offsetY = Finite(offset->Number("Vrtc"), 0) / 100 * height;
  }
  g.CentreX = box.Left + width / 2 + offsetX;
  g.CentreY = box.Top + height / 2 + offsetY;
  const double angle = Finite(settings.Number("Angl"), 0) * std::numbers::pi / 180;
  g.DirX = std::cos(angle);
  g.DirY = -std::sin(angle);
  const double scale = Finite(settings.Number("Scl "), 100) / 100;
  const double across = std::abs(g.DirX) > 1e-9 ? width / std::abs(g.DirX) : INFINITY;
  const double down = std::abs(g.DirY) > 1e-9 ? height / std::abs(g.DirY) : INFINITY;
  g.Length = std::min(across, down) * scale;
  if (!(g.Length > 1e-6)) g.Length = 1e-6;
  return g;
}

class GradientPaint final : public Paint {
 public:
  GradientPaint(std::shared_ptr<const GradientRamp> ramp, const GradientGeometry& geometry)
      : ramp_(std::move(ramp)), g_(geometry) {}

  std::uint64_t HeldBytes() const override {
    return sizeof(float) * GradientRamp::kEntries *
           static_cast<std::uint64_t>(ramp_->Channels() + 1);
  }

  void FillRow(std::int32_t y, std::int32_t x, std::int32_t count, std::span<float* const> colour,
               float* alpha) const override {
    const int channels = std::min(ramp_->Channels(), static_cast<int>(colour.size()));
    const double dy = y - g_.CentreY;
    for (std::int32_t k = 0; k < count; ++k) {
      const double dx = x + k - g_.CentreX;
      const auto entry = GradientRamp::Index(static_cast<float>(Position(dx, dy)));
      for (int c = 0; c < channels; ++c) {
        colour[static_cast<std::size_t>(c)][k] = ramp_->Colour(entry, c);
      }
      alpha[k] = ramp_->Opacity(entry);
    }
  }

 private:
  // The position 0..1 along the gradient of a pixel `dx`, `dy` from the centre.
  double Position(double dx, double dy) const {
    const double along = dx * g_.DirX + dy * g_.DirY;
    const double half = g_.Length / 2;
    double t = 0;
    switch (g_.Shape) {
      case GradientShape::Linear:
        t = along / g_.Length + 0.5;
        break;
      case GradientShape::Radial:
        t = std::hypot(dx, dy) / half;
        break;
      case GradientShape::Reflected:
        t = std::abs(along) / half;
        break;
      case GradientShape::Diamond:
        t = (std::abs(along) + std::abs(dx * -g_.DirY + dy * g_.DirX)) / half;
        break;
      case GradientShape::Angle: {
        // Counter-clockwise on screen from the gradient's direction.
        const double turn = std::atan2(-(dy * g_.DirX - dx * g_.DirY), along);
        t = turn / (2 * std::numbers::pi);
        if (t < 0) t += 1;
        break;
      }
    }
    return g_.Reverse ? 1 - t : t;
  }

  std::shared_ptr<const GradientRamp> ramp_;
  GradientGeometry g_;
};

}  // namespace

PaintRead ReadGradientPaint(const Descriptor& settings, const PaintFrame& frame,
                            const AdjustmentSpace& space) {
  const Descriptor* gradient = settings.Object("Grad");
  if (gradient == nullptr) return {nullptr, "it names no gradient"};
  GradientStopsRead stops = ReadGradientStops(*gradient, GradientMethodOf(settings), space);
  if (!stops.Stops) return {nullptr, stops.Problem};
  auto ramp = std::make_shared<const GradientRamp>(*stops.Stops, space);
  return {std::make_unique<GradientPaint>(std::move(ramp), Place(settings, frame)), {}};
}

}  // namespace plymark
