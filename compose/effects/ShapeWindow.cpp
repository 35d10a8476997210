#include "compose/effects/ShapeWindow.h"

#include <algorithm>
#include <cstring>

#include "compose/LayerSource.h"
#include "psd/PsdError.h"
#include "render/DeepSamples.h"

namespace plymark {
namespace {

std::size_t Span(std::int32_t from, std::int32_t to) {
  return static_cast<std::size_t>(std::max(0, to - from));
}

// Rows of `rows` read so far brought up to `row`.
void SkipTo(StoredRows& rows, std::size_t row, RowScratch& scratch) {
  if (rows.RowsRead() < row) rows.SkipRows(row - rows.RowsRead(), scratch);
}

}  // namespace

ShapeWindow::ShapeWindow(const DocumentState& state, const RenderNode& node, std::int32_t left,
                         std::int32_t right, std::int32_t capacity, std::vector<MaskPlan> masks)
    : state_(state),
      record_(node.Record),
      rect_(node.Rect),
      left_(std::max(left, node.Rect.Left)),
      right_(std::max(std::max(left, node.Rect.Left), std::min(right, node.Rect.Right))),
      capacity_(std::max(1, capacity)),
      bytesPerSample_(std::max(1, BytesPerSample(state.Header.Depth))),
      decodedTo_(node.Rect.Top) {
  heldTop_ = rect_.Top;
  const std::size_t width = Span(rect_.Left, rect_.Right);
  const std::size_t height = Span(rect_.Top, rect_.Bottom);
  opaque_ = true;
  if (const ChannelBlock* block = ChannelBlockWithId(state, record_, -1)) {
    try {
      transparency_ = std::make_unique<StoredRows>(state.File, *block, width, height,
                                                   bytesPerSample_, PlaneName{record_, -1});
      opaque_ = false;
    } catch (const PsdError&) {
      // The band's own decoding names the damage.
    }
  }
  for (MaskPlan& plan : masks) {
    MaskRows mask{plan, nullptr};
    const ChannelBlock* block = ChannelBlockWithId(state, record_, plan.ChannelId);
    if (!plan.Rect.Empty() && block != nullptr) {
      try {
        mask.Rows =
            std::make_unique<StoredRows>(state.File, *block, Span(plan.Rect.Left, plan.Rect.Right),
                                         Span(plan.Rect.Top, plan.Rect.Bottom), bytesPerSample_,
                                         PlaneName{record_, plan.ChannelId});
      } catch (const PsdError&) {
        continue;  // named by the band's own decoding
      }
    }
    masks_.push_back(std::move(mask));
  }
  rows_.assign(static_cast<std::size_t>(capacity_) * Span(left_, right_), 0.0f);
  maskRow_.resize(Span(left_, right_));
}

void ShapeWindow::DecodeRow(std::int32_t y, float* row, RowScratch& scratch,
                            std::vector<std::string>& omissions) {
  const std::size_t width = Span(left_, right_);
  if (width == 0) return;
  if (!opaque_) {
    try {
      SkipTo(*transparency_, static_cast<std::size_t>(y - rect_.Top), scratch);
      const std::uint8_t* samples = transparency_->NextRow(scratch);
      SamplesToFloats(samples + Span(rect_.Left, left_) * static_cast<std::size_t>(bytesPerSample_),
                      bytesPerSample_, width, true, row);
    } catch (const PsdError& error) {
      opaque_ = true;
      transparency_.reset();
      omissions.push_back(LayerLabel(state_, record_) +
                          ": transparency channel damaged, its effects drawn as opaque (" +
                          error.what() + ")");
    }
  }
  if (opaque_) std::fill(row, row + width, 1.0f);
  for (auto mask = masks_.begin(); mask != masks_.end();) {
    const MaskPlan& plan = mask->Plan;
    const float outside = 1.0f - plan.Density * (1.0f - plan.Outside);
    std::fill(maskRow_.begin(), maskRow_.end(), outside);
    if (mask->Rows != nullptr && y >= plan.Rect.Top && y < plan.Rect.Bottom) {
      try {
        SkipTo(*mask->Rows, static_cast<std::size_t>(y - plan.Rect.Top), scratch);
        const std::uint8_t* samples = mask->Rows->NextRow(scratch);
        const std::int32_t from = std::clamp(plan.Rect.Left, left_, right_);
        const std::int32_t to = std::clamp(plan.Rect.Right, left_, right_);
        float* out = maskRow_.data() + Span(left_, from);
        SamplesToFloats(
            samples + Span(plan.Rect.Left, from) * static_cast<std::size_t>(bytesPerSample_),
            bytesPerSample_, Span(from, to), true, out);
        for (std::size_t x = 0; x < Span(from, to); ++x) {
          out[x] = 1.0f - plan.Density * (1.0f - out[x]);
        }
      } catch (const PsdError& error) {
        omissions.push_back(LayerLabel(state_, record_) +
                            ": mask damaged, its effects drawn without it (" + error.what() + ")");
        mask = masks_.erase(mask);
        continue;
      }
    }
    for (std::size_t x = 0; x < width; ++x) row[x] *= maskRow_[x];
    ++mask;
  }
}

void ShapeWindow::Advance(std::int32_t top) {
  const std::size_t width = Span(left_, right_);
  top = std::clamp(top, rect_.Top, rect_.Bottom);
  if (top <= heldTop_) return;
  if (top >= decodedTo_) {
    decodedTo_ = top;  // the rows between are skipped when the next is decoded
  } else {
    const std::size_t drop = Span(heldTop_, top) * width;
    std::memmove(rows_.data(), rows_.data() + drop,
                 (Span(heldTop_, decodedTo_) * width - drop) * sizeof(float));
  }
  heldTop_ = top;
}

void ShapeWindow::Extend(std::int32_t bottom, RowScratch& scratch,
                         std::vector<std::string>& omissions) {
  const std::size_t width = Span(left_, right_);
  bottom = std::min({bottom, rect_.Bottom, heldTop_ + capacity_});
  for (; decodedTo_ < bottom; ++decodedTo_) {
    DecodeRow(decodedTo_, rows_.data() + Span(heldTop_, decodedTo_) * width, scratch, omissions);
  }
}

void ShapeWindow::Copy(const Extent& area, float* out, std::size_t stride, RowScratch& scratch,
                       std::vector<std::string>& omissions) {
  Extend(area.Bottom, scratch, omissions);
  const std::size_t width = Span(left_, right_);
  const std::int32_t from = std::clamp(left_, area.Left, std::max(area.Left, area.Right));
  const std::int32_t to = std::clamp(right_, from, std::max(area.Left, area.Right));
  for (std::int32_t y = area.Top; y < area.Bottom; ++y) {
    float* row = out + Span(area.Top, y) * stride;
    std::fill(row, row + Span(area.Left, area.Right), 0.0f);
    if (y < heldTop_ || y >= decodedTo_ || from >= to) continue;
    const float* held = rows_.data() + Span(heldTop_, y) * width + Span(left_, from);
    std::copy(held, held + Span(from, to), row + Span(area.Left, from));
  }
}

}  // namespace plymark
