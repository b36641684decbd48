// bmpgen: writes Windows bitmap files (BITMAPINFOHEADER, uncompressed) of a given size and
// depth, or a whole bitmap set: the monochrome file and its 24-bit companions name-D.ext.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/cli.h"
#include "platform/os.h"

namespace {

struct Options {
  int width = 16, height = 16, depth = 1;
  std::string pattern = "checker";
  uint32_t colour = 0;
  bool top_down = false;
  std::vector<int> set;
  std::string path;
};

struct Rgb {
  uint8_t r, g, b;
};

// The pattern's colour at (x, y), counted from the top-left corner.
Rgb PixelAt(const Options& o, int x, int y) {
  if (o.pattern == "solid")
    return {uint8_t(o.colour >> 16), uint8_t(o.colour >> 8), uint8_t(o.colour)};
  if (o.pattern == "gradient") {
    const int w = o.width > 1 ? o.width - 1 : 1, h = o.height > 1 ? o.height - 1 : 1;
    return {uint8_t(255 * x / w), uint8_t(255 * y / h), uint8_t(255 - 255 * x / w)};
  }
  const bool dark = ((x / 4) + (y / 4)) % 2 == 0;
  return dark ? Rgb{0, 0, 0} : Rgb{255, 255, 255};
}

int Luma(Rgb c) { return (299 * c.r + 587 * c.g + 114 * c.b) / 1000; }

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

std::vector<uint8_t> Encode(const Options& o) {
  const uint32_t colours = o.depth == 1 ? 2 : o.depth == 8 ? 256 : 0;
  const uint32_t row_bytes = (uint32_t(o.width) * o.depth + 31) / 32 * 4;
  const uint32_t pixels_at = 14 + 40 + 4 * colours;
  const uint32_t image_size = row_bytes * uint32_t(o.height);
  std::vector<uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, pixels_at + image_size);
  Put32(out, 0);
  Put32(out, pixels_at);
  Put32(out, 40);
  Put32(out, uint32_t(o.width));
  Put32(out, uint32_t(o.top_down ? -o.height : o.height));
  Put16(out, 1);
  Put16(out, uint32_t(o.depth));
  Put32(out, 0);  // BI_RGB
  Put32(out, image_size);
  Put32(out, 2835);  // 72 dpi
  Put32(out, 2835);
  Put32(out, colours);
  Put32(out, 0);
  for (uint32_t i = 0; i < colours; ++i) {
    const uint8_t v = uint8_t(colours == 2 ? i * 255 : i);
    out.insert(out.end(), {v, v, v, 0});
  }
  for (int row = 0; row < o.height; ++row) {
    const int y = o.top_down ? row : o.height - 1 - row;
    std::vector<uint8_t> line(row_bytes, 0);
    for (int x = 0; x < o.width; ++x) {
      const Rgb c = PixelAt(o, x, y);
      if (o.depth == 1) {
        if (Luma(c) >= 128) line[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));  // 1 = white
      } else if (o.depth == 8) {
        line[size_t(x)] = uint8_t(Luma(c));
      } else {
        line[size_t(x) * 3] = c.b;
        line[size_t(x) * 3 + 1] = c.g;
        line[size_t(x) * 3 + 2] = c.r;
      }
    }
    out.insert(out.end(), line.begin(), line.end());
  }
  return out;
}

bool Write(const Options& o) {
  const std::vector<uint8_t> bytes = Encode(o);
  std::string error;
  if (!nb::WriteFileDurably(
          o.path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
          &error)) {
    std::fprintf(stderr, "bmpgen: %s\n", error.c_str());
    return false;
  }
  return true;
}

// folder/name.ext -> folder/name-D.ext
std::string CompanionPath(const std::string& path, int depth) {
  const size_t sep = path.find_last_of("/\\");
  const size_t dot = path.rfind('.');
  const bool has_ext = dot != std::string::npos && (sep == std::string::npos || dot > sep);
  const std::string stem = has_ext ? path.substr(0, dot) : path;
  return stem + "-" + std::to_string(depth) + (has_ext ? path.substr(dot) : "");
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  CLI::App app{"Writes a Windows bitmap file, or with --set a bitmap set.", "bmpgen"};
  nb::cli::Prepare(app);
  app.add_option("FILE", o.path, "the bitmap file to write (FILE.bmp)")->required();
  app.add_option("--width", o.width, "width in pixels")
      ->check(CLI::Range(1, 32767))
      ->capture_default_str();
  app.add_option("--height", o.height, "height in pixels")
      ->check(CLI::Range(1, 32767))
      ->capture_default_str();
  app.add_option("--depth", o.depth, "bits per pixel: 1 (monochrome), 8 (grey palette) or 24")
      ->check(CLI::IsMember({1, 8, 24}))
      ->capture_default_str();
  app.add_option("--pattern", o.pattern, "checker, gradient or solid")
      ->check(CLI::IsMember({"checker", "gradient", "solid"}))
      ->capture_default_str();
  std::string colour = "000000";
  app.add_option("--colour,--color", colour, "colour of the solid pattern (RRGGBB)")
      ->check([](const std::string& v) {
        return v.size() == 6 && v.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos
                   ? std::string()
                   : std::string("six hex digits, not " + v);
      })
      ->capture_default_str();
  app.add_flag("--top-down", o.top_down, "store the top row first (negative height)");
  app.add_option("--set", o.set,
                 "write FILE as the monochrome image and, for each depth D, the 24-bit file "
                 "NAME-D.EXT beside it (e.g. --set 2,4,8,16)")
      ->delimiter(',')
      ->allow_extra_args(false)
      ->check(CLI::Range(2, 16))
      ->type_name("D,D,...");
  if (int rc = nb::cli::Parse(app, argc, argv); rc >= 0) return rc;
  o.colour = uint32_t(std::strtoul(colour.c_str(), nullptr, 16));
  if (o.set.empty()) return Write(o) ? 0 : 1;

  Options mono = o;
  mono.depth = 1;
  if (!Write(mono)) return 1;
  for (int d : o.set) {
    Options colour = o;
    colour.depth = 24;
    colour.path = CompanionPath(o.path, d);
    if (!Write(colour)) return 1;
  }
  return 0;
}
