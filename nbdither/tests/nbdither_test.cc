// NBDither.so loaded the way pdbdevice loads it, reducing real images.
#include "nbdither/nbdither.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

namespace {

class NbDither : public ::testing::Test {
 protected:
  void SetUp() override {
    lib_ = dlopen(NB_BIN_DIR "/NBDither.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(lib_) << dlerror();
    auto make = reinterpret_cast<NBDither_NewFn>(dlsym(lib_, "NBDither_New"));
    destroy_ = reinterpret_cast<NBDither_DeleteFn>(dlsym(lib_, "NBDither_Delete"));
    version_ = reinterpret_cast<NBDither_GetVersionFn>(dlsym(lib_, "NBDither_GetVersion"));
    ASSERT_TRUE(make && destroy_ && version_);
    object_ = make();
    ASSERT_TRUE(object_);
  }
  void TearDown() override {
    if (object_) destroy_(object_);
    if (lib_) dlclose(lib_);
  }

  // A width x height 24-bit image of one colour, rows padded to 4 bytes.
  struct Image {
    int32_t width, height, row_bytes;
    std::vector<uint8_t> bytes;
    void Set(int32_t x, int32_t y_from_top, uint8_t r, uint8_t g, uint8_t b) {
      uint8_t* p = &bytes[size_t(height - 1 - y_from_top) * row_bytes + size_t(x) * 3];
      p[0] = b, p[1] = g, p[2] = r;
    }
  };
  static Image Solid(int32_t w, int32_t h, uint8_t r, uint8_t g, uint8_t b) {
    Image im{w, h, (w * 3 + 3) / 4 * 4, {}};
    im.bytes.assign(size_t(im.row_bytes) * h, 0);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) im.Set(x, y, r, g, b);
    return im;
  }

  std::vector<uint8_t> Reduce(const Image& im, int32_t depth, int32_t row_bytes, int32_t w = 0,
                              int32_t h = 0, int32_t* result = nullptr) {
    w = w ? w : im.width;
    h = h ? h : im.height;
    std::vector<uint8_t> out(size_t(row_bytes) * h, 0xEE);
    uint32_t size = uint32_t(out.size());
    int32_t r = object_->Reduce(im.bytes.data(), im.width, im.height, im.row_bytes, w, h, row_bytes,
                                depth, &size, out.data());
    if (result) *result = r;
    EXPECT_EQ(size, out.size());
    return out;
  }

  void* lib_ = nullptr;
  CNBDither* object_ = nullptr;
  NBDither_DeleteFn destroy_ = nullptr;
  NBDither_GetVersionFn version_ = nullptr;
};

unsigned Packed(const std::vector<uint8_t>& row, int x, int depth) {
  const int bit = x * depth;
  return (row[size_t(bit / 8)] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
}

TEST_F(NbDither, VersionAndDepths) {
  EXPECT_EQ(version_(), 0x100u);
  for (int d : {2, 4, 8, 16}) EXPECT_TRUE(object_->SupportsDepth(d)) << d;
  for (int d : {0, 1, 3, 24}) EXPECT_FALSE(object_->SupportsDepth(d)) << d;
}

TEST_F(NbDither, GreyLevelsDiffuseTheError) {
  // Mid grey lies between two of the four 2-bit levels: plain rounding would give one
  // level everywhere, diffusion mixes both and keeps the mean.
  Image grey = Solid(64, 64, 128, 128, 128);
  for (int depth : {2, 4}) {
    const int row_bytes = 64 * depth / 8;
    auto out = Reduce(grey, depth, row_bytes);
    const int levels = (1 << depth) - 1;
    std::set<unsigned> used;
    double sum = 0;
    for (int y = 0; y < 64; ++y) {
      std::vector<uint8_t> row(out.begin() + y * row_bytes, out.begin() + (y + 1) * row_bytes);
      for (int x = 0; x < 64; ++x) {
        unsigned index = Packed(row, x, depth);
        used.insert(index);
        sum += 255.0 - index * 255.0 / levels;
      }
    }
    EXPECT_NEAR(sum / (64 * 64), 128.0, 1.5) << depth;
    if (depth == 2) {
      EXPECT_EQ(used, (std::set<unsigned>{1, 2}));
    }
  }
  // White is index 0, black the last index.
  auto white = Reduce(Solid(8, 2, 255, 255, 255), 4, 4);
  auto black = Reduce(Solid(8, 2, 0, 0, 0), 4, 4);
  EXPECT_EQ(white, std::vector<uint8_t>(8, 0x00));
  EXPECT_EQ(black, std::vector<uint8_t>(8, 0xFF));
}

TEST_F(NbDither, SystemPaletteAndEightBit) {
  using nbdither::SystemPalette;
  std::set<uint32_t> distinct;
  for (int i = 0; i < nbdither::kPaletteColours; ++i) {
    auto c = SystemPalette(i);
    distinct.insert(uint32_t(c.r) << 16 | c.g << 8 | c.b);
  }
  EXPECT_EQ(distinct.size(), 230u);
  EXPECT_EQ(SystemPalette(0).g, 255);
  EXPECT_EQ(SystemPalette(5).g, 0);     // green changes fastest
  EXPECT_EQ(SystemPalette(18).r, 204);  // red slowest
  EXPECT_EQ(SystemPalette(125).r, 255);
  EXPECT_EQ(SystemPalette(125).b, 0);
  EXPECT_EQ(SystemPalette(215).r, 17);
  EXPECT_EQ(SystemPalette(225).g, 192);
  EXPECT_EQ(SystemPalette(229).b, 128);
  EXPECT_EQ(SystemPalette(255).r, 0);

  // A palette colour comes out as its own index; odd widths leave the pad byte 0.
  auto red = Reduce(Solid(3, 2, 255, 0, 0), 8, 4);
  EXPECT_EQ(red, (std::vector<uint8_t>{125, 125, 125, 0, 125, 125, 125, 0}));

  // A colour between palette entries keeps its mean through diffusion.
  auto out = Reduce(Solid(40, 40, 200, 100, 50), 8, 40);
  double r = 0, g = 0, b = 0;
  for (uint8_t index : out) {
    auto c = SystemPalette(index);
    r += c.r, g += c.g, b += c.b;
  }
  EXPECT_NEAR(r / out.size(), 200, 3);
  EXPECT_NEAR(g / out.size(), 100, 3);
  EXPECT_NEAR(b / out.size(), 50, 3);
}

TEST_F(NbDither, SixteenBitIsRgb565BigEndian) {
  auto red = Reduce(Solid(2, 1, 255, 0, 0), 16, 4);
  EXPECT_EQ(red, (std::vector<uint8_t>{0xF8, 0x00, 0xF8, 0x00}));
  auto blue = Reduce(Solid(1, 1, 0, 0, 255), 16, 2);
  EXPECT_EQ(blue, (std::vector<uint8_t>{0x00, 0x1F}));
  auto white = Reduce(Solid(1, 1, 255, 255, 255), 16, 2);
  EXPECT_EQ(white, (std::vector<uint8_t>{0xFF, 0xFF}));
}

TEST_F(NbDither, SourceRowsAreBottomUpAndLargerTargetsArePaddedWhite) {
  Image im = Solid(1, 2, 255, 255, 255);
  im.Set(0, 0, 0, 0, 0);  // top row black
  auto out = Reduce(im, 8, 2, 2, 3);
  // Top row: black, then white beyond the source; the rows beyond it white.
  EXPECT_EQ(out, (std::vector<uint8_t>{255, 0, 0, 0, 0, 0}));
  auto grey = Reduce(im, 2, 2, 3, 3);
  EXPECT_EQ(grey, (std::vector<uint8_t>{0xC0, 0, 0, 0, 0, 0}));
}

TEST_F(NbDither, BadArgumentsWriteNothing) {
  Image im = Solid(4, 4, 10, 20, 30);
  std::vector<uint8_t> out(16, 0xEE);
  uint32_t size = 15;  // one byte short of 4 rows of 4
  EXPECT_EQ(object_->Reduce(im.bytes.data(), 4, 4, im.row_bytes, 4, 4, 4, 8, &size, out.data()), 0);
  EXPECT_EQ(out, std::vector<uint8_t>(16, 0xEE));
  size = 16;
  EXPECT_EQ(object_->Reduce(im.bytes.data(), 4, 4, im.row_bytes, 4, 4, 4, 3, &size, out.data()), 0);
  EXPECT_EQ(object_->Reduce(nullptr, 4, 4, im.row_bytes, 4, 4, 4, 8, &size, out.data()), 0);
  EXPECT_EQ(object_->Reduce(im.bytes.data(), 4, 4, 11, 4, 4, 4, 8, &size, out.data()), 0);
  EXPECT_EQ(object_->Reduce(im.bytes.data(), 4, 4, im.row_bytes, 4, 4, 1, 4, &size, out.data()), 0);
  EXPECT_EQ(object_->Reduce(im.bytes.data(), 0, 4, im.row_bytes, 4, 4, 4, 8, &size, out.data()), 0);
  EXPECT_EQ(object_->Reduce(im.bytes.data(), 4, 4, im.row_bytes, 4, 4, 4, 8, nullptr, out.data()),
            0);
  EXPECT_EQ(out, std::vector<uint8_t>(16, 0xEE));
}

}  // namespace
