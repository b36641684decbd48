// ConvertBitmapFile over real bitmap files with the real NBDither.so.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "bitmap_files.h"
#include "bmp_file.h"
#include "convert_bitmap.h"
#include "pdbfile/bytes.h"
#include "platform/prefix.h"
#include "test_prefix.h"

namespace pdbdevice {
namespace {

using nb::pdb::Get16;
using testing::Bmpgen;
using testing::Messages;
using testing::ReadBytes;
using testing::RecordMessage;
using testing::WriteBytes;

const char kDither[] = NB_BIN_DIR "/NBDither.so";

struct Bitmap {
  int width, height, row_bytes, depth, version, next;
  size_t at;
};

// The family's bitmaps, following the next-depth offsets.
std::vector<Bitmap> Walk(const std::vector<uint8_t>& family) {
  std::vector<Bitmap> out;
  size_t at = 0;
  while (at + 16 <= family.size()) {
    const uint8_t* b = &family[at];
    out.push_back({Get16(b), Get16(b + 2), Get16(b + 4), b[8], b[9], Get16(b + 10), at});
    if (Get16(b + 10) == 0) break;
    at += size_t(Get16(b + 10)) * 4;
  }
  return out;
}

class BitmapFamily : public ::testing::Test {
 protected:
  void SetUp() override {
    Messages().clear();
    folder_ = nb::MapPath("C:\\pics");
    nb::MakeDirs(folder_);
  }
  // The reference path as a table would hold it, and where its files are.
  std::string Ref(const std::string& name) { return "C:\\pics\\" + name; }
  std::string File(const std::string& name) { return folder_ + "/" + name; }
  bool Convert(const std::string& name, std::vector<uint8_t>* family,
               const BitmapSize2D* target = nullptr, const char* dither = kDither) {
    return ConvertBitmapFileWith(dither, Ref(name), target, family, RecordMessage);
  }

  nb::testing::TempPrefix prefix_;
  std::string folder_;
};

TEST_F(BitmapFamily, SeventeenPixelsWideFamily) {
  ASSERT_TRUE(Bmpgen("--width 17 --height 3 --pattern gradient --set 2,4,8,16 " + File("h.bmp")));
  std::vector<uint8_t> family;
  ASSERT_TRUE(Convert("h.bmp", &family));
  EXPECT_TRUE(Messages().empty());
  auto maps = Walk(family);
  ASSERT_EQ(maps.size(), 5u);
  const int depths[] = {1, 2, 4, 8, 16}, rows[] = {4, 6, 10, 18, 34};
  const size_t sizes[] = {28, 36, 48, 72, 120};  // 16 + 3 rows, rounded up to 4
  size_t total = 0;
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(maps[i].width, 17);
    EXPECT_EQ(maps[i].height, 3);
    EXPECT_EQ(maps[i].depth, depths[i]);
    EXPECT_EQ(maps[i].row_bytes, rows[i]) << depths[i];
    EXPECT_EQ(maps[i].version, 1);
    EXPECT_EQ(maps[i].next, i < 4 ? int(sizes[i] / 4) : 0);
    EXPECT_EQ(maps[i].at, total);
    EXPECT_EQ(Get16(&family[total + 6]), 0);  // flags
    EXPECT_EQ(family[total + 12] | family[total + 13] | family[total + 14] | family[total + 15], 0);
    total += sizes[i];
  }
  EXPECT_EQ(family.size(), total);
}

TEST_F(BitmapFamily, MonochromeOnlyAndRowOrder) {
  // Checker squares of 4: dark where (x / 4 + y / 4) is even. Top-down and bottom-up files
  // give the same bitmap.
  ASSERT_TRUE(Bmpgen("--width 10 --height 6 " + File("up.bmp")));
  ASSERT_TRUE(Bmpgen("--width 10 --height 6 --top-down " + File("down.bmp")));
  std::vector<uint8_t> up, down;
  ASSERT_TRUE(Convert("up.bmp", &up));
  ASSERT_TRUE(Convert("down.bmp", &down));
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(up, down);
  auto maps = Walk(up);
  ASSERT_EQ(maps.size(), 1u);
  EXPECT_EQ(maps[0].next, 0);
  EXPECT_EQ(maps[0].row_bytes, 2);
  ASSERT_EQ(up.size(), 16u + 2 * 6);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 16; ++x) {
      const bool dark = (up[16 + y * 2 + x / 8] >> (7 - x % 8)) & 1;
      EXPECT_EQ(dark, x < 10 && (x / 4 + y / 4) % 2 == 0) << x << "," << y;
    }
  }
}

TEST_F(BitmapFamily, MonochromeWithWhiteFirstPaletteIsNotNegated) {
  ASSERT_TRUE(Bmpgen("--width 8 --height 2 " + File("std.bmp")));
  auto bytes = ReadBytes(File("std.bmp"));
  // Swap the two palette entries and invert the pixels: the same picture.
  for (int i = 0; i < 4; ++i) std::swap(bytes[54 + i], bytes[58 + i]);
  for (size_t i = 62; i < bytes.size(); ++i) bytes[i] = uint8_t(~bytes[i]);
  WriteBytes(File("swapped.bmp"), bytes);
  std::vector<uint8_t> a, b;
  ASSERT_TRUE(Convert("std.bmp", &a));
  ASSERT_TRUE(Convert("swapped.bmp", &b));
  EXPECT_EQ(a, b);
}

TEST_F(BitmapFamily, DepthWarnings) {
  ASSERT_TRUE(Bmpgen("--width 17 --height 3 --set 2,16 " + File("w.bmp")));
  ASSERT_TRUE(Bmpgen("--width 18 --height 3 --depth 24 " + File("w-4.bmp")));
  ASSERT_TRUE(Bmpgen("--width 17 --height 3 --depth 8 " + File("w-8.bmp")));
  std::vector<uint8_t> family;
  ASSERT_TRUE(Convert("w.bmp", &family));
  ASSERT_EQ(Messages().size(), 2u);
  EXPECT_EQ(Messages()[0],
            "Warning: The dimension of the bitmap in \"C:\\pics\\w-4.bmp\" must be the same as the "
            "corresponding black and white bitmap image [W:17 x H:3].\n\nThis bitmap will not be "
            "included in table.");
  EXPECT_EQ(Messages()[1],
            "Warning: The bitmap file \"C:\\pics\\w-8.bmp\" is not \"24-bit Bitmap\" format. This "
            "bitmap will notbe included in table.");
  std::vector<int> depths;
  for (const Bitmap& b : Walk(family)) depths.push_back(b.depth);
  EXPECT_EQ(depths, (std::vector<int>{1, 2, 16}));
  EXPECT_EQ(Walk(family).back().next, 0);
}

TEST_F(BitmapFamily, NoUsableMonochromeFile) {
  std::vector<uint8_t> family{1, 2, 3};
  EXPECT_FALSE(Convert("none.bmp", &family));
  EXPECT_TRUE(family.empty());
  ASSERT_EQ(Messages().size(), 2u);
  EXPECT_EQ(Messages()[0],
            "Unable to process bitmaps.\n\nB&W bitmap file \"C:\\pics\\none.bmp\" is missing.");
  EXPECT_EQ(Messages()[1], "Unable to process bitmap.\n\nNone of the bitmap specified is valid.");

  Messages().clear();
  ASSERT_TRUE(Bmpgen("--depth 24 " + File("colour.bmp")));
  ASSERT_TRUE(Bmpgen("--depth 24 " + File("colour-2.bmp")));
  EXPECT_FALSE(Convert("colour.bmp", &family));
  ASSERT_EQ(Messages().size(), 2u);
  EXPECT_EQ(Messages()[0],
            "Unable to process bitmap.\n\nBitmap file \"C:\\pics\\colour.bmp\" must be black and "
            "white (\"Monochrome Bitmap\" format).");
  EXPECT_EQ(Messages()[1], "Unable to process bitmap.\n\nNone of the bitmap specified is valid.");
}

TEST_F(BitmapFamily, DitherPluginMissingOrOld) {
  ASSERT_TRUE(Bmpgen(File("p.bmp")));
  std::vector<uint8_t> family;
  EXPECT_FALSE(Convert("p.bmp", &family, nullptr, "C:\\Nimbra\\Bin\\NBDither.dll"));
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0],
            "Unable to convert bitmaps.\n\nThere is no NBDither Plug-in at "
            "\"C:\\Nimbra\\Bin\\NBDither.dll\".");
  Messages().clear();
  const std::string old = NB_BIN_DIR "/nbdither_old.so";
  EXPECT_FALSE(Convert("p.bmp", &family, nullptr, old.c_str()));
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0], "Unable to convert bitmaps.\n\nThe NBDither Plug-in \"" + old +
                               "\" is not current version. Formwright expects version 0x100, "
                               "but the plugin is version 0xff.");
  EXPECT_TRUE(family.empty());
}

TEST_F(BitmapFamily, TargetSizePadsWithWhite) {
  ASSERT_TRUE(Bmpgen("--width 8 --height 2 --pattern solid --set 4 " + File("t.bmp")));
  std::vector<uint8_t> family;
  const BitmapSize2D target{20, 4};
  ASSERT_TRUE(Convert("t.bmp", &family, &target));
  auto maps = Walk(family);
  ASSERT_EQ(maps.size(), 2u);
  EXPECT_EQ(maps[0].width, 20);
  EXPECT_EQ(maps[0].height, 4);
  EXPECT_EQ(maps[0].row_bytes, 4);
  // Solid black 8 x 2 in the top-left corner, white elsewhere.
  const std::vector<uint8_t> mono(family.begin() + 16, family.begin() + 32);
  EXPECT_EQ(mono, (std::vector<uint8_t>{0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(maps[1].row_bytes, 10);
  EXPECT_EQ(family[maps[1].at + 16], 0xFF);      // black at 4 bits: index 15, twice
  EXPECT_EQ(family[maps[1].at + 16 + 4], 0x00);  // white beyond the image
}

TEST_F(BitmapFamily, DamagedFilesAreRefusedWithAReason) {
  ASSERT_TRUE(Bmpgen("--width 17 --height 9 --set 2 " + File("d.bmp")));
  const auto good = ReadBytes(File("d.bmp"));
  const auto good24 = ReadBytes(File("d-2.bmp"));

  // Every truncation of both files is refused, never read past its end.
  for (size_t n = 0; n < good.size(); ++n) {
    auto load = ParseDib(std::vector<uint8_t>(good.begin(), good.begin() + ptrdiff_t(n)));
    EXPECT_EQ(load.status, DibStatus::kDamaged) << n;
  }
  for (size_t n = 0; n < good24.size(); ++n) {
    auto load = ParseDib(std::vector<uint8_t>(good24.begin(), good24.begin() + ptrdiff_t(n)));
    EXPECT_EQ(load.status, DibStatus::kDamaged) << n;
  }
  auto lie = [&](size_t at, uint32_t v) {
    auto bytes = good;
    for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(v >> (8 * i));
    return ParseDib(bytes);
  };
  EXPECT_EQ(lie(22, 100000).reason, "pixel data runs past the end of the file");      // height
  EXPECT_EQ(lie(18, 0x7FFFFFFF).reason, "pixel data runs past the end of the file");  // width
  EXPECT_EQ(lie(10, 1u << 30).reason, "pixel data offset outside the file");
  EXPECT_EQ(lie(14, 12).reason, "unsupported bitmap header");
  EXPECT_EQ(lie(18, 0).reason, "invalid image size");
  EXPECT_EQ(lie(28, 3).reason, "invalid number of bits per pixel");
  EXPECT_EQ(lie(30, 1).reason, "compressed pixel data");
  EXPECT_EQ(ParseDib({'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).reason,
            "not a bitmap file");

  // Through the conversion: a damaged monochrome file stops it, a damaged deeper one is
  // left out with a warning.
  WriteBytes(File("d-2.bmp"), std::vector<uint8_t>(good24.begin(), good24.end() - 100));
  std::vector<uint8_t> family;
  ASSERT_TRUE(Convert("d.bmp", &family));
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0],
            "Warning: The bitmap file \"C:\\pics\\d-2.bmp\" is damaged (pixel data runs past the "
            "end of the file). This bitmap will not be included in table.");
  EXPECT_EQ(Walk(family).size(), 1u);
  Messages().clear();
  WriteBytes(File("d.bmp"), std::vector<uint8_t>(good.begin(), good.begin() + 40));
  EXPECT_FALSE(Convert("d.bmp", &family));
  ASSERT_EQ(Messages().size(), 2u);
  EXPECT_EQ(Messages()[0],
            "Unable to process bitmaps.\n\nBitmap file \"C:\\pics\\d.bmp\" is damaged (file ends "
            "inside the header).");
}

TEST_F(BitmapFamily, WithoutMessageFunctionAMessageBoxIsShown) {
  const std::string log = prefix_.path() + "/ui.log";
  setenv("NB_UI_LOG", log.c_str(), 1);
  std::vector<uint8_t> family;
  EXPECT_FALSE(ConvertBitmapFileWith(kDither, Ref("gone.bmp"), nullptr, &family, nullptr));
  unsetenv("NB_UI_LOG");
  std::ifstream in(log);
  std::string first, second;
  std::getline(in, first);
  std::getline(in, second);
  EXPECT_NE(first.find("\"caption\": \"Nimbra NDDI Error\""), std::string::npos) << first;
  EXPECT_NE(first.find("B&W bitmap file"), std::string::npos) << first;
  EXPECT_NE(second.find("None of the bitmap specified is valid."), std::string::npos) << second;
}

// An independent reader of handheld bitmaps (netpbm's palmtopnm) decodes every rendition
// of the family to the picture it came from.
TEST_F(BitmapFamily, IndependentReaderDecodesTheFamily) {
  if (std::system("command -v palmtopnm >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "palmtopnm (netpbm) is not installed";
  }
  ASSERT_TRUE(Bmpgen("--width 12 --height 8 --set 2,4,8 " + File("c.bmp")));
  std::vector<uint8_t> family;
  ASSERT_TRUE(Convert("c.bmp", &family));
  ASSERT_EQ(Walk(family).size(), 4u);
  WriteBytes(File("c.palm"), family);
  for (int rendition = 1; rendition <= 4; ++rendition) {
    const std::string out = File("c" + std::to_string(rendition) + ".pnm");
    const std::string command = "palmtopnm -rendition " + std::to_string(rendition) + " " +
                                File("c.palm") + " > " + out + " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << rendition;
    auto pnm = ReadBytes(out);
    // The header names the format, then the width and height; the pixels are the checker.
    std::string text(pnm.begin(), pnm.end());
    ASSERT_GE(text.size(), 2u);
    const char kind = text[1];
    size_t at = 2;
    std::vector<int> header;
    while (header.size() < (kind == '4' ? 2u : 3u)) {
      while (at < text.size() && std::isspace(uint8_t(text[at]))) ++at;
      size_t end = at;
      while (end < text.size() && std::isdigit(uint8_t(text[end]))) ++end;
      header.push_back(std::atoi(text.substr(at, end - at).c_str()));
      at = end;
    }
    ++at;
    ASSERT_EQ(header[0], 12);
    ASSERT_EQ(header[1], 8);
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 12; ++x) {
        const bool dark = (x / 4 + y / 4) % 2 == 0;
        int level;
        if (kind == '4') {
          level = (pnm[at + size_t(y) * 2 + size_t(x / 8)] >> (7 - x % 8)) & 1 ? 0 : 255;
        } else {
          const size_t channels = kind == '6' ? 3 : 1;
          level = pnm[at + (size_t(y) * 12 + size_t(x)) * channels] * 255 / header[2];
        }
        EXPECT_EQ(level, dark ? 0 : 255) << "rendition " << rendition << " at " << x << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace pdbdevice
