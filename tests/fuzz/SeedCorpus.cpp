// Writes the seed corpora: JPEGs of every kind the pipeline meets (baseline, progressive,
// arithmetic-coded, grayscale, CMYK, 4:4:4 and 4:2:0, restart markers, tiny and odd sizes,
// EXIF orientation tags), the same cut off and with damaged markers; PNGs of every colour
// type, WebPs and HEIF/AVIF files (turned, with alpha, with a colour profile), whole and cut
// off; and names for the naming target.
//   qv-seed-corpus CODEC_FOLDER NAMING_FOLDER

#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/Orientation.h"
#include "support/FormatFiles.h"
#include "support/Photos.h"

using namespace qvtest;

namespace {

struct TNamed {
  std::string name;
  Bytes bytes;
};

std::vector<TNamed> Photos() {
  std::vector<TNamed> photos;
  auto add = [&](const std::string& name, const TJpegKind& kind) {
    try {
      photos.push_back({name, MakeJpeg(kind)});
    } catch (...) {
      // A kind this library cannot write (arithmetic coding is optional) is left out.
    }
  };
  add("baseline-420", {.width = 37, .height = 29});
  add("baseline-444", {.width = 33, .height = 17, .fullChroma = true});
  add("progressive", {.width = 41, .height = 23, .progressive = true});
  add("progressive-444", {.width = 19, .height = 31, .fullChroma = true, .progressive = true});
  add("arithmetic", {.width = 24, .height = 24, .arithmetic = true});
  add("gray", {.width = 35, .height = 20, .components = 1});
  add("gray-progressive", {.width = 20, .height = 35, .components = 1, .progressive = true});
  add("cmyk", {.width = 16, .height = 16, .components = 4});
  add("restarts", {.width = 48, .height = 40, .restartRows = 1});
  add("quality-100", {.width = 16, .height = 16, .quality = 100});
  add("quality-1", {.width = 16, .height = 16, .quality = 1});
  for (auto [w, h] : {std::pair{1, 1}, {1, 2}, {2, 1}, {2, 2}, {3, 7}, {300, 2}, {2, 300}})
    add("tiny-" + std::to_string(w) + "x" + std::to_string(h), {.width = w, .height = h});
  return photos;
}

// The other formats, small, each family whole and cut off in its middle and near its end.
std::vector<TNamed> OtherFormats() {
  std::vector<TNamed> files;
  const qv::TPixelImage picture = MakeImage(19, 13, Pattern);
  const Bytes profile = MakeProfile("RGB ", 1);
  auto png = [&](int colorType, int depth, bool interlaced) {
    TPngKind kind;
    kind.width = 19;
    kind.height = 13;
    kind.colorType = colorType;
    kind.depth = depth;
    kind.interlaced = interlaced;
    const int channels = colorType == 2 ? 3 : colorType == 4 ? 2 : colorType == 6 ? 4 : 1;
    for (int i = 0; i < 19 * 13 * channels; ++i)
      kind.samples.push_back(static_cast<uint16_t>((i * 37) % (colorType == 3 ? 4 : 1 << depth)));
    if (colorType == 3) {
      kind.palette = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};
      kind.paletteAlpha = {0, 128};
    }
    if (colorType == 2)
      kind.profile = profile;
    if (colorType == 0)
      kind.colourKey = {1};
    return MakePng(kind);
  };
  files.push_back({"png-grey-1", png(0, 1, false)});
  files.push_back({"png-grey-16", png(0, 16, true)});
  files.push_back({"png-rgb-8-icc", png(2, 8, false)});
  files.push_back({"png-rgb-16-interlaced", png(2, 16, true)});
  files.push_back({"png-palette-2", png(3, 2, false)});
  files.push_back({"png-grey-alpha-8", png(4, 8, false)});
  files.push_back({"png-rgba-16", png(6, 16, false)});
  const std::vector<uint8_t> alpha(19 * 13, 100);
  files.push_back({"webp-lossless-icc", MakeWebP(picture, true, {}, profile)});
  files.push_back({"webp-lossy", MakeWebP(picture, false)});
  files.push_back({"webp-lossy-alpha", MakeWebP(picture, false, alpha)});
  files.push_back({"webp-animated", MakeAnimatedWebP()});
  THeifKind heic;
  files.push_back({"heic", MakeHeif(picture, heic)});
  heic.heifOrientation = 6;
  heic.profile = profile;
  files.push_back({"heic-turned-icc", MakeHeif(qv::Orient(picture, 8), heic)});
  THeifKind withAlpha;
  withAlpha.alpha = alpha;
  files.push_back({"heic-alpha", MakeHeif(picture, withAlpha)});
  THeifKind avif;
  avif.avif = true;
  files.push_back({"avif", MakeHeif(picture, avif)});
  const size_t whole = files.size();
  for (size_t i = 0; i < whole; ++i) {
    const Bytes bytes = files[i].bytes;
    files.push_back({files[i].name + "-cut-middle", CutAt(bytes, bytes.size() / 2)});
    files.push_back({files[i].name + "-cut-end", CutAt(bytes, bytes.size() - 6)});
  }
  return files;
}

bool Write(const std::string& path, const Bytes& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file)
    return false;
  const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s CODEC_FOLDER NAMING_FOLDER\n", argv[0]);
    return 2;
  }
  const std::string codec = argv[1], naming = argv[2];
  std::vector<TNamed> seeds;
  for (const TNamed& photo : Photos()) {
    seeds.push_back(photo);
    const Bytes& jpeg = photo.bytes;
    const size_t scan = ScanStart(jpeg);
    seeds.push_back({photo.name + "-cut-header", CutAt(jpeg, scan / 2)});
    seeds.push_back({photo.name + "-cut-scan", CutAt(jpeg, scan + (jpeg.size() - scan) / 2)});
    if (photo.name == "baseline-420" || photo.name == "progressive") {
      // The frame header turned into the start of a scan, a table marker lost, a wrong length.
      Bytes broken = jpeg;
      broken[FindMarker(jpeg, 0xC0) != std::string::npos ? FindMarker(jpeg, 0xC0) + 1 : 3] = 0xDA;
      seeds.push_back({photo.name + "-sof-as-sos", broken});
      broken = jpeg;
      broken[FindMarker(jpeg, 0xDB)] = 0x00;
      seeds.push_back({photo.name + "-lost-marker", broken});
      broken = jpeg;
      broken[FindMarker(jpeg, 0xC4) + 3] ^= 0x40;
      seeds.push_back({photo.name + "-bad-length", broken});
      seeds.push_back({photo.name + "-12-bit", WithPrecision(jpeg, 12)});
      seeds.push_back({photo.name + "-huge", WithSize(jpeg, 65500, 65500)});
      seeds.push_back({photo.name + "-wide", WithSize(jpeg, 4000, 2)});
      // Phone photos stored sideways, in both byte orders.
      seeds.push_back({photo.name + "-exif-6", WithOrientation(jpeg, 6, true)});
      seeds.push_back({photo.name + "-exif-3", WithOrientation(jpeg, 3, false)});
    }
  }
  seeds.push_back({"empty", {}});
  seeds.push_back({"not-jpeg", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}});
  seeds.push_back({"soi-only", {0xFF, 0xD8}});
  // An XMP block before the EXIF one, whose IFD0 leads on to a thumbnail's IFD1.
  Bytes withThumbnail = Tiff(false, {{0x0112, 3, 1, 8}}, 8, 26);
  const Bytes ifd1 = Tiff(false, {{0x0112, 3, 1, 5}});
  withThumbnail.insert(withThumbnail.end(), ifd1.begin() + 8, ifd1.end());
  const Bytes tiny = MakeJpeg({.width = 3, .height = 7});
  const Bytes xmp = Segment(0xE1, {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', '.', 'a', 'd', 'o', 'b', 'e', 0});
  const size_t afterJfif = AfterSegment(tiny, 0xE0);
  seeds.push_back({"exif-after-xmp", Inserted(Inserted(tiny, afterJfif, ExifSegment(withThumbnail)), afterJfif, xmp)});
  for (const TNamed& seed : seeds)
    if (!Write(codec + "/" + seed.name + ".jpg", seed.bytes))
      return 1;
  for (const TNamed& file : OtherFormats()) {
    if (!Write(codec + "/" + file.name, file.bytes))
      return 1;
    seeds.push_back(file);
  }

  // Naming inputs as FuzzedDataProvider reads them: texts from the front (a backslash ends
  // one), the option bytes and numbers from the back. Cyrillic, Ё, a separator, "..",
  // invalid UTF-8, other scripts and a NUL.
  const std::string options[] = {
      std::string("\x02\x00\xdc\x00\xb0\x01\x00\x01\x01\x00\x00\x01", 12),
      std::string("\x00\x01\x20\x01\x10\x01\x01\x01\x01\x01\x01\x01", 12),
      std::string("\x01\x00\x00\x00\x00\x01\x01\x00\x00\x00\x00\x00", 12),
      std::string("\x00\x00\x01\x00\x01\x01\x00\x01\x00\x01\x00\x00", 12),
      std::string("\x03\x00\x00\x00\x00\x01\x01\x01\x00\x00\x00\x00", 12),
  };
  const std::string texts[] = {
      "wall\\hd\\Зима\\Фото.jpg\\",
      "Ёлка\\ъ\\a/../b\\Щука.jpeg\\",
      "\xff\xfe\\\xd0\\\xe2\x82\\x\xc3\x28.jpg\\",
      std::string("p\0q\\s\\../../x\\", 14),
      "№\\中文\\😀\\日本.JPG\\",
  };
  std::vector<std::string> names;
  for (size_t i = 0; i < std::size(texts); ++i)
    names.push_back(texts[i] + options[i]);
  for (size_t i = 0; i < names.size(); ++i)
    if (!Write(naming + "/name-" + std::to_string(i), Bytes(names[i].begin(), names[i].end())))
      return 1;
  std::printf("%zu codec seeds, %zu naming seeds\n", seeds.size(), names.size());
  return 0;
}
