#include "tests/support/Ciede2000.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace plymark::test {
namespace {

double Linear(std::uint32_t byte) {
  const double v = byte / 255.0;
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double F(double t) {
  constexpr double kEpsilon = 216.0 / 24389.0;
  constexpr double kKappa = 24389.0 / 27.0;
  return t > kEpsilon ? std::cbrt(t) : (kKappa * t + 16.0) / 116.0;
}

double Degrees(double radians) {
  return radians * 180.0 / std::numbers::pi;
}
double Radians(double degrees) {
  return degrees * std::numbers::pi / 180.0;
}

}  // namespace

Lab LabOfSrgb(std::uint32_t word) {
  const double r = Linear((word >> 16) & 0xff);
  const double g = Linear((word >> 8) & 0xff);
  const double b = Linear(word & 0xff);
  const double x = (0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / 0.95047;
  const double y = 0.2126729 * r + 0.7151522 * g + 0.0721750 * b;
  const double z = (0.0193339 * r + 0.1191920 * g + 0.9503041 * b) / 1.08883;
  return {116.0 * F(y) - 16.0, 500.0 * (F(x) - F(y)), 200.0 * (F(y) - F(z))};
}

double Ciede2000(const Lab& first, const Lab& second) {
  const double c1 = std::hypot(first.a, first.b);
  const double c2 = std::hypot(second.a, second.b);
  const double cMean7 = std::pow((c1 + c2) / 2.0, 7.0);
  const double g = 0.5 * (1.0 - std::sqrt(cMean7 / (cMean7 + std::pow(25.0, 7.0))));
  const double a1 = (1.0 + g) * first.a;
  const double a2 = (1.0 + g) * second.a;
  const double cp1 = std::hypot(a1, first.b);
  const double cp2 = std::hypot(a2, second.b);
  auto hue = [](double b, double a) {
    if (a == 0.0 && b == 0.0) return 0.0;
    const double h = Degrees(std::atan2(b, a));
    return h < 0.0 ? h + 360.0 : h;
  };
  const double h1 = hue(first.b, a1);
  const double h2 = hue(second.b, a2);

  const double dL = second.L - first.L;
  const double dC = cp2 - cp1;
  double dh = 0.0;
  if (cp1 * cp2 != 0.0) {
    dh = h2 - h1;
    if (dh > 180.0) dh -= 360.0;
    if (dh < -180.0) dh += 360.0;
  }
  const double dH = 2.0 * std::sqrt(cp1 * cp2) * std::sin(Radians(dh / 2.0));

  const double lMean = (first.L + second.L) / 2.0;
  const double cpMean = (cp1 + cp2) / 2.0;
  double hMean = h1 + h2;
  if (cp1 * cp2 != 0.0) {
    if (std::abs(h1 - h2) <= 180.0) {
      hMean /= 2.0;
    } else {
      hMean = hMean < 360.0 ? (hMean + 360.0) / 2.0 : (hMean - 360.0) / 2.0;
    }
  }
  const double t =
      1.0 - 0.17 * std::cos(Radians(hMean - 30.0)) + 0.24 * std::cos(Radians(2.0 * hMean)) +
      0.32 * std::cos(Radians(3.0 * hMean + 6.0)) - 0.20 * std::cos(Radians(4.0 * hMean - 63.0));
  const double dTheta = 30.0 * std::exp(-std::pow((hMean - 275.0) / 25.0, 2.0));
  const double cpMean7 = std::pow(cpMean, 7.0);
  const double rc = 2.0 * std::sqrt(cpMean7 / (cpMean7 + std::pow(25.0, 7.0)));
  const double lFromMid = (lMean - 50.0) * (lMean - 50.0);
  const double sl = 1.0 + 0.015 * lFromMid / std::sqrt(20.0 + lFromMid);
  const double sc = 1.0 + 0.045 * cpMean;
  const double sh = 1.0 + 0.015 * cpMean * t;
  const double rt = -std::sin(Radians(2.0 * dTheta)) * rc;
  const double tl = dL / sl;
  const double tc = dC / sc;
  const double th = dH / sh;
  return std::sqrt(tl * tl + tc * tc + th * th + rt * tc * th);
}

Differences Summarise(std::vector<double> differences) {
  Differences summary;
  summary.Pixels = differences.size();
  if (differences.empty()) return summary;
  std::sort(differences.begin(), differences.end());
  for (const double d : differences) summary.Mean += d;
  summary.Mean /= static_cast<double>(differences.size());
  summary.Percentile99 = differences[(differences.size() - 1) * 99 / 100];
  return summary;
}

}  // namespace plymark::test
