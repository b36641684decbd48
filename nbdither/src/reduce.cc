#include "reduce.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "nbdither/nbdither.h"

namespace nbdither {
namespace {

// Floyd-Steinberg error rows for `channels` channels: the current and the next row, each
// with one guard pixel on either side so neighbours need no bounds checks.
class ErrorRows {
 public:
  ErrorRows(int32_t width, int channels)
      : stride_(size_t(width + 2) * channels),
        channels_(channels),
        current_(stride_, 0.f),
        next_(stride_, 0.f) {}
  float* At(int32_t x) { return &current_[size_t(x + 1) * channels_]; }
  // Spreads the error of pixel x: 7/16 right, 3/16 below left, 5/16 below, 1/16 below right.
  void Spread(int32_t x, const float* error) {
    for (int c = 0; c < channels_; ++c) {
      const float e = error[c];
      current_[size_t(x + 2) * channels_ + c] += e * 7.f / 16.f;
      next_[size_t(x) * channels_ + c] += e * 3.f / 16.f;
      next_[size_t(x + 1) * channels_ + c] += e * 5.f / 16.f;
      next_[size_t(x + 2) * channels_ + c] += e * 1.f / 16.f;
    }
  }
  void NextRow() {
    current_.swap(next_);
    std::fill(next_.begin(), next_.end(), 0.f);
  }

 private:
  size_t stride_;
  int channels_;
  std::vector<float> current_, next_;
};

// The source colour at target position (x, y), white outside the source.
std::array<float, 3> SourceAt(const SourceImage& s, int32_t x, int32_t y) {
  if (x >= s.width || y >= s.height) return {255.f, 255.f, 255.f};
  const uint8_t* p = s.pixels + size_t(s.height - 1 - y) * size_t(s.row_bytes) + size_t(x) * 3;
  return {float(p[2]), float(p[1]), float(p[0])};
}

float Clamp(float v) { return std::clamp(v, 0.f, 255.f); }

void PutPacked(uint8_t* row, int32_t x, int32_t depth, unsigned value) {
  const int32_t bit = x * depth;
  row[bit / 8] |= uint8_t(value << (8 - depth - bit % 8));
}

void ReduceGrey(const SourceImage& s, const TargetImage& t, int32_t depth) {
  const int levels = (1 << depth) - 1;  // darkest index
  ErrorRows errors(t.width, 1);
  for (int32_t y = 0; y < t.height; ++y) {
    uint8_t* row = t.pixels + size_t(y) * size_t(t.row_bytes);
    for (int32_t x = 0; x < t.width; ++x) {
      auto [r, g, b] = SourceAt(s, x, y);
      const float v = Clamp(0.299f * r + 0.587f * g + 0.114f * b + errors.At(x)[0]);
      const int index = std::clamp(int(std::lround((255.f - v) * levels / 255.f)), 0, levels);
      const float error[1] = {v - (255.f - float(index) * 255.f / float(levels))};
      errors.Spread(x, error);
      PutPacked(row, x, depth, unsigned(index));
    }
    errors.NextRow();
  }
}

struct Palette {
  std::array<Rgb, 256> colours;
  Palette() {
    for (int i = 0; i < 256; ++i) colours[size_t(i)] = SystemPalette(i);
  }
  int Nearest(float r, float g, float b) const {
    int best = kBlackIndex;
    float best_distance = r * r + g * g + b * b;
    for (int i = 0; i < kPaletteColours; ++i) {
      const Rgb& c = colours[size_t(i)];
      const float dr = r - c.r, dg = g - c.g, db = b - c.b;
      const float d = dr * dr + dg * dg + db * db;
      if (d < best_distance) best_distance = d, best = i;
    }
    return best;
  }
};

void ReducePalette(const SourceImage& s, const TargetImage& t) {
  static const Palette palette;
  ErrorRows errors(t.width, 3);
  for (int32_t y = 0; y < t.height; ++y) {
    uint8_t* row = t.pixels + size_t(y) * size_t(t.row_bytes);
    for (int32_t x = 0; x < t.width; ++x) {
      auto colour = SourceAt(s, x, y);
      const float* e = errors.At(x);
      float v[3];
      for (int c = 0; c < 3; ++c) v[c] = Clamp(colour[size_t(c)] + e[c]);
      const int index = palette.Nearest(v[0], v[1], v[2]);
      const Rgb& q = palette.colours[size_t(index)];
      const float error[3] = {v[0] - q.r, v[1] - q.g, v[2] - q.b};
      errors.Spread(x, error);
      row[x] = uint8_t(index);
    }
    errors.NextRow();
  }
}

void ReduceDirect(const SourceImage& s, const TargetImage& t) {
  constexpr int kMax[3] = {31, 63, 31};
  ErrorRows errors(t.width, 3);
  for (int32_t y = 0; y < t.height; ++y) {
    uint8_t* row = t.pixels + size_t(y) * size_t(t.row_bytes);
    for (int32_t x = 0; x < t.width; ++x) {
      auto colour = SourceAt(s, x, y);
      const float* e = errors.At(x);
      int level[3];
      float error[3];
      for (int c = 0; c < 3; ++c) {
        const float v = Clamp(colour[size_t(c)] + e[c]);
        level[c] = std::clamp(int(std::lround(v * kMax[c] / 255.f)), 0, kMax[c]);
        error[c] = v - float(level[c]) * 255.f / float(kMax[c]);
      }
      errors.Spread(x, error);
      const unsigned pixel =
          unsigned(level[0]) << 11 | unsigned(level[1]) << 5 | unsigned(level[2]);
      row[2 * x] = uint8_t(pixel >> 8);
      row[2 * x + 1] = uint8_t(pixel);
    }
    errors.NextRow();
  }
}

}  // namespace

bool ReduceImage(const SourceImage& s, const TargetImage& t, int32_t depth) {
  if (depth != 2 && depth != 4 && depth != 8 && depth != 16) return false;
  if (!s.pixels || !t.pixels) return false;
  if (s.width <= 0 || s.height <= 0 || t.width <= 0 || t.height <= 0) return false;
  if (int64_t(s.row_bytes) < int64_t(s.width) * 3) return false;
  if (int64_t(t.row_bytes) * 8 < int64_t(t.width) * depth) return false;
  if (int64_t(t.row_bytes) * t.height > int64_t(t.room)) return false;

  std::memset(t.pixels, 0, size_t(t.row_bytes) * size_t(t.height));
  if (depth == 8) {
    ReducePalette(s, t);
  } else if (depth == 16) {
    ReduceDirect(s, t);
  } else {
    ReduceGrey(s, t, depth);
  }
  return true;
}

}  // namespace nbdither
