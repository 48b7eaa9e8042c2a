#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/CropModel.h"
#include "imaging/JPEGImage.h"
#include "imaging/Orientation.h"
#include "imaging/Prefetcher.h"
#include "imaging/PictureReader.h"
#include "imaging/SafeWriter.h"
#include "job/Errors.h"
#include "support/FormatFiles.h"
#include "support/JpegTools.h"
#include "support/TempDir.h"

using qv::TBGR;
using qv::TJPEGImage;
using qv::TPixelImage;
using namespace qvtest;

namespace {

class Formats : public ::testing::Test {
protected:
  TPixelImage Decoded(const Bytes& file, const std::string& name = "photo", bool transformations = true) {
    WriteBytes(dir / name, file);
    TJPEGImage image;
    image.ReadJpegFile(dir / name, transformations);
    const TPixelImage pixels = image.GetPixels();
    // The size the header gave is the one the decode gives.
    EXPECT_EQ(image.Data()->width, pixels.Width()) << name;
    EXPECT_EQ(image.Data()->height, pixels.Height()) << name;
    return pixels;
  }
  // The error the read or the decode of the file raises; "" when there is none.
  std::string Failure(const Bytes& file) {
    WriteBytes(dir / "bad", file);
    try {
      TJPEGImage image;
      image.ReadJpegFile(dir / "bad");
      image.GetPixels();
    } catch (const qv::Exception& error) {
      return error.what();
    }
    return "";
  }
  // The profile carried by the wallpaper the crop model cuts from the file.
  Bytes CutProfile(const Bytes& file, const std::string& name) {
    WriteBytes(dir / name, file);
    qv::TCropModel model;
    qv::TPlainCropView view;
    const qv::TTarget target{16, 16, 10, true};
    model.openfile(dir / name, [&] { return target; }, view);
    model.Savefile(dir / "cut.jpg", target);
    return JpegProfile(ReadBytes(dir / "cut.jpg"));
  }
  TTempDir dir;
};

std::vector<TBGR> Grey(std::initializer_list<int> values) {
  std::vector<TBGR> out;
  for (int v : values)
    out.push_back(TBGR{uint8_t(v), uint8_t(v), uint8_t(v)});
  return out;
}

std::vector<TBGR> Pixels(const TPixelImage& picture) {
  std::vector<TBGR> out;
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < picture.Width(); ++x)
      out.push_back(picture.Pixel(x, y));
  return out;
}

TPngKind Png(int width, int height, int colorType, int depth, std::vector<uint16_t> samples,
             std::vector<uint8_t> palette = {}, std::vector<uint8_t> paletteAlpha = {},
             std::vector<uint16_t> colourKey = {}, Bytes profile = {}, bool withGamma = false) {
  return TPngKind{width,  height,       colorType,         depth,   false, std::move(samples), std::move(palette),
                  std::move(paletteAlpha), std::move(colourKey), std::move(profile), withGamma};
}

THeifKind Heif(bool avif = false, int orientation = 1, Bytes profile = {}, std::vector<uint8_t> alpha = {}) {
  return THeifKind{avif, orientation, std::move(profile), std::move(alpha), false};
}

// PNG's chunk checksum over the type and data.
uint32_t Crc(const uint8_t* bytes, size_t size) {
  uint32_t crc = 0xFFFFFFFF;
  for (size_t i = 0; i < size; ++i) {
    crc ^= bytes[i];
    for (int k = 0; k < 8; ++k)
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return crc ^ 0xFFFFFFFF;
}

Bytes PngChunk(const char* type, const Bytes& data) {
  Bytes chunk(12 + data.size());
  for (int i = 0; i < 4; ++i)
    chunk[size_t(i)] = uint8_t(data.size() >> (24 - 8 * i));
  std::memcpy(&chunk[4], type, 4);
  std::copy(data.begin(), data.end(), chunk.begin() + 8);
  const uint32_t crc = Crc(&chunk[4], 4 + data.size());
  for (int i = 0; i < 4; ++i)
    chunk[8 + data.size() + size_t(i)] = uint8_t(crc >> (24 - 8 * i));
  return chunk;
}

// The inverse turn: what a file must store to be seen as the picture after turning by o.
int Inverse(int o) {
  return o == 6 ? 8 : o == 8 ? 6 : o;
}

} // namespace

// One row of samples of every colour type and depth, with the pixels worked out by hand:
// low depths scaled by 255 / (2^d - 1), 16 bits rounded as (v * 255 + 32767) / 65535 (at
// 0, 128, 32767, 32896 and 65535 the edges of that rounding), alpha and colour keys over
// black as (c * a + 127) / 255, gamma and significant bits left alone.
TEST_F(Formats, PngSamplesOfEveryKindBecomeTheseColours) {
  const std::vector<uint8_t> palette{200, 100, 50, 255, 255, 255, 0, 10, 20, 1, 2, 3};
  struct Case {
    const char* name;
    TPngKind kind;
    std::vector<TBGR> expected;
  };
  const Case cases[] = {
      {"grey 1", Png(4, 1, 0, 1, {0, 1, 1, 0}), Grey({0, 255, 255, 0})},
      {"grey 2", Png(4, 1, 0, 2, {0, 1, 2, 3}), Grey({0, 85, 170, 255})},
      {"grey 4", Png(4, 1, 0, 4, {0, 5, 10, 15}), Grey({0, 85, 170, 255})},
      {"grey 8", Png(4, 1, 0, 8, {0, 1, 128, 255}), Grey({0, 1, 128, 255})},
      {"grey 16", Png(5, 1, 0, 16, {0, 128, 32767, 32896, 65535}), Grey({0, 0, 127, 128, 255})},
      {"rgb 8", Png(2, 1, 2, 8, {10, 20, 30, 255, 0, 1}), {{30, 20, 10}, {1, 0, 255}}},
      {"rgb 16", Png(2, 1, 2, 16, {65535, 32896, 32767, 128, 0, 65535}), {{127, 128, 255}, {255, 0, 0}}},
      {"palette 1", Png(2, 1, 3, 1, {1, 0}, {palette.begin(), palette.begin() + 6}), {{255, 255, 255}, {50, 100, 200}}},
      {"palette 2", Png(4, 1, 3, 2, {3, 2, 1, 0}, palette), {{3, 2, 1}, {20, 10, 0}, {255, 255, 255}, {50, 100, 200}}},
      {"palette 4", Png(2, 1, 3, 4, {2, 3}, palette), {{20, 10, 0}, {3, 2, 1}}},
      {"palette 8", Png(2, 1, 3, 8, {3, 1}, palette), {{3, 2, 1}, {255, 255, 255}}},
      {"palette alpha", Png(3, 1, 3, 8, {0, 1, 2}, palette, {128, 0}), {{25, 50, 100}, {0, 0, 0}, {20, 10, 0}}},
      {"grey alpha 8", Png(3, 1, 4, 8, {200, 128, 255, 255, 255, 0}), Grey({100, 255, 0})},
      {"grey alpha 16", Png(2, 1, 4, 16, {65535, 32896, 32896, 65535}), Grey({128, 128})},
      {"rgba 8", Png(2, 1, 6, 8, {255, 128, 0, 51, 9, 8, 7, 255}), {{0, 26, 51}, {7, 8, 9}}},
      {"rgba 16", Png(1, 1, 6, 16, {65535, 0, 32896, 65535}), {{128, 0, 255}}},
      {"grey key 4", Png(2, 1, 0, 4, {3, 7}, {}, {}, {7}), Grey({51, 0})},
      {"grey key 16", Png(2, 1, 0, 16, {1000, 2000}, {}, {}, {2000}), Grey({4, 0})},
      {"rgb key 8", Png(2, 1, 2, 8, {1, 2, 3, 4, 5, 6}, {}, {}, {4, 5, 6}), {{3, 2, 1}, {0, 0, 0}}},
      {"rgb key 16",
       Png(2, 1, 2, 16, {65535, 65535, 65535, 256, 512, 768}, {}, {}, {256, 512, 768}),
       {{255, 255, 255}, {0, 0, 0}}},
      {"gamma and sbit ignored",
       Png(2, 1, 2, 8, {10, 20, 30, 255, 0, 1}, {}, {}, {}, {}, true),
       {{30, 20, 10}, {1, 0, 255}}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Pixels(Decoded(MakePng(c.kind), c.name)), c.expected) << c.name;
}

// An interlaced file fills the same picture as its rows written one after another.
TEST_F(Formats, InterlacedPngGivesThePicture) {
  for (int depth : {8, 16}) {
    TPngKind kind = Png(13, 11, 2, depth, {});
    kind.interlaced = true;
    std::vector<TBGR> expected;
    for (int y = 0; y < kind.height; ++y)
      for (int x = 0; x < kind.width; ++x) {
        const TBGR p = Pattern(x, y);
        // A 16-bit sample of v * 257 comes back as v.
        const uint16_t scale = depth == 16 ? 257 : 1;
        kind.samples.insert(kind.samples.end(), {uint16_t(p.r * scale), uint16_t(p.g * scale), uint16_t(p.b * scale)});
        expected.push_back(p);
      }
    EXPECT_EQ(Pixels(Decoded(MakePng(kind), "interlaced" + std::to_string(depth))), expected) << depth;
  }
}

// An animated PNG shows its default image: the frames after it are not read as pixels.
TEST_F(Formats, AnimatedPngOpensAsItsDefaultImage) {
  const Bytes still = MakePng(Png(2, 1, 2, 8, {10, 20, 30, 40, 50, 60}));
  const size_t idat = Find(still, "IDAT") - 4;
  const Bytes idatChunk(still.begin() + long(idat), still.end() - 12);
  // Two frames, the first being the default image; the second one's data is another frame's.
  const Bytes actl = PngChunk("acTL", {0, 0, 0, 2, 0, 0, 0, 0});
  Bytes fctl{0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0};
  Bytes second = fctl;
  second[3] = 1;
  // The sequence number, then the default image's compressed rows again.
  Bytes fdat(4 + idatChunk.size() - 12);
  fdat[3] = 2;
  std::copy(idatChunk.begin() + 8, idatChunk.end() - 4, fdat.begin() + 4);
  Bytes file(still.begin(), still.begin() + long(idat));
  for (const Bytes& chunk : {actl, PngChunk("fcTL", fctl), idatChunk, PngChunk("fcTL", second), PngChunk("fdAT", fdat)})
    file.insert(file.end(), chunk.begin(), chunk.end());
  file.insert(file.end(), still.end() - 12, still.end());
  EXPECT_EQ(Pixels(Decoded(file, "animated.png")), (std::vector<TBGR>{{30, 20, 10}, {60, 50, 40}}));
}

// libwebp's own decoding, lossless exactly the pixels given; alpha goes over black.
TEST_F(Formats, WebPLosslessAndLossyWithAndWithoutAlpha) {
  const TPixelImage picture = MakeImage(37, 23, Pattern);
  EXPECT_EQ(Difference(picture, Decoded(MakeWebP(picture, true), "lossless.webp")), "");
  std::vector<uint8_t> alpha(37 * 23);
  for (size_t i = 0; i < alpha.size(); ++i)
    alpha[i] = static_cast<uint8_t>(i * 7);
  const TPixelImage over = MakeImage(37, 23, [&](int x, int y) {
    const TBGR p = Pattern(x, y);
    const uint32_t a = alpha[size_t(y * 37 + x)];
    return TBGR{uint8_t((p.b * a + 127) / 255), uint8_t((p.g * a + 127) / 255), uint8_t((p.r * a + 127) / 255)};
  });
  EXPECT_EQ(Difference(over, Decoded(MakeWebP(picture, true, alpha), "alpha.webp")), "");
  // Lossy: a flat colour stays within the coding's error.
  const TPixelImage flat = MakeImage(32, 32, [](int, int) { return TBGR{40, 120, 200}; });
  const TPixelImage lossy = Decoded(MakeWebP(flat, false), "lossy.webp");
  for (const TBGR& p : Pixels(lossy)) {
    EXPECT_NEAR(p.b, 40, 3);
    EXPECT_NEAR(p.r, 200, 3);
  }
  const TPixelImage lossyAlpha = Decoded(MakeWebP(flat, false, std::vector<uint8_t>(32 * 32, 0)), "lossya.webp");
  EXPECT_EQ(Pixels(lossyAlpha), std::vector<TBGR>(32 * 32));
}

// Every turn a HEIF can hold gives the picture stored upright, pixel for pixel; with the
// transformations ignored the stored picture comes back as it is coded.
TEST_F(Formats, HeifRotationAndMirroringAreAppliedUnlessIgnored) {
  const TPixelImage upright = MakeImage(48, 32, Squares);
  const TPixelImage plain = Decoded(MakeHeif(upright), "upright.heic");
  EXPECT_EQ(SquareLetters(plain, 16), "ABC/DEF");
  for (int o = 2; o <= 8; ++o) {
    const TPixelImage stored = qv::Orient(upright, Inverse(o));
    const Bytes file = MakeHeif(stored, Heif(false, o));
    const std::string name = "turned" + std::to_string(o) + ".heic";
    EXPECT_EQ(Difference(plain, Decoded(file, name)), "") << o;
    const TPixelImage asStored = Decoded(file, name, false);
    EXPECT_EQ(SquareLetters(asStored, 16), SquareLetters(stored, 16)) << o;
    EXPECT_EQ(Difference(qv::Orient(plain, Inverse(o)), asStored), "") << o;
    // The EXIF orientation field stays 1: the file turns its picture itself.
    TJPEGImage image;
    image.ReadJpegFile(dir / name);
    EXPECT_EQ(image.Data()->orientation, 1);
  }
}

// The read-ahead decodes a HEIF as the setting says, and hands it only to a read with the
// same setting; what it hands over carries the file's colour profile.
TEST_F(Formats, TheReadAheadTurnsAHeifAsTheSettingSays) {
  const TPixelImage upright = MakeImage(48, 32, Squares);
  THeifKind kind = Heif(false, 6, MakeProfile("RGB ", 5));
  WriteBytes(dir / "turned.heic", MakeHeif(qv::Orient(upright, 8), kind));
  qv::TPrefetcher prefetcher(std::chrono::nanoseconds(0));
  for (bool turn : {true, false}) {
    prefetcher.Request(dir / "turned.heic", turn);
    prefetcher.Wait();
    EXPECT_FALSE(prefetcher.Take(dir / "turned.heic", !turn)) << turn;
    prefetcher.Request(dir / "turned.heic", turn);
    const std::optional<qv::TPrefetchedFile> got = prefetcher.Take(dir / "turned.heic", turn);
    ASSERT_TRUE(got) << turn;
    EXPECT_EQ(SquareLetters(got->picture, 16), turn ? "ABC/DEF" : kSquaresTurned[7]);
    EXPECT_EQ(got->file.Width(), got->picture.Width());
    EXPECT_EQ(got->file.Data()->colorProfile, kind.profile);
  }
}

// Our decode is libheif's, as heif-convert writes it (its PNG read by our tested reader),
// alpha included, for HEIC and AVIF.
TEST_F(Formats, HeifDecodesAsHeifConvertDoes) {
  const TPixelImage picture = MakeImage(40, 24, Pattern);
  std::vector<uint8_t> alpha(40 * 24);
  for (size_t i = 0; i < alpha.size(); ++i)
    alpha[i] = static_cast<uint8_t>(255 - i);
  struct Case {
    const char* name;
    THeifKind kind;
  };
  const Case cases[] = {{"plain.heic", Heif()}, {"alpha.heic", Heif(false, 1, {}, alpha)}, {"plain.avif", Heif(true)}};
  for (const Case& c : cases) {
    WriteBytes(dir / c.name, MakeHeif(picture, c.kind));
    const TRun run = qvtest::Run({QV_HEIF_CONVERT, dir / c.name, dir / "convert.png"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Difference(Decoded(ReadBytes(dir / "convert.png"), "convert.png"), Decoded(ReadBytes(dir / c.name), c.name)), "")
        << c.name;
  }
}

// A HEIF whose alpha is premultiplied gives its colours as decoded, the same as the picture
// stored without alpha; one whose alpha is not gives them over black.
TEST_F(Formats, PremultipliedHeifColoursAreTakenAsDecoded) {
  const TPixelImage picture = MakeImage(24, 16, Pattern);
  const TPixelImage opaque = Decoded(MakeHeif(picture), "opaque.heic");
  THeifKind kind = Heif(false, 1, {}, std::vector<uint8_t>(24 * 16, 100));
  kind.premultiplied = true;
  EXPECT_EQ(Difference(opaque, Decoded(MakeHeif(picture, kind), "premultiplied.heic")), "");
  kind.premultiplied = false;
  const TPixelImage over = MakeImage(24, 16, [&](int x, int y) {
    const TBGR p = opaque.Pixel(x, y);
    return TBGR{uint8_t((p.b * 100 + 127) / 255), uint8_t((p.g * 100 + 127) / 255), uint8_t((p.r * 100 + 127) / 255)};
  });
  EXPECT_EQ(Difference(over, Decoded(MakeHeif(picture, kind), "straight.heic")), "");
}

// The file's first bytes choose the decoder, whatever its name says.
TEST_F(Formats, TheContentNotTheNameChoosesTheDecoder) {
  const TPixelImage picture = MakeImage(9, 7, Pattern);
  TPngKind kind = Png(9, 7, 2, 8, {});
  for (const TBGR& p : Pixels(picture))
    kind.samples.insert(kind.samples.end(), {p.r, p.g, p.b});
  EXPECT_EQ(Difference(picture, Decoded(MakePng(kind), "png-named.jpg")), "");
  const Bytes jpeg = MakeJpeg({9, 7});
  WriteBytes(dir / "real.jpg", jpeg);
  EXPECT_EQ(Difference(Djpeg(dir / "real.jpg"), Decoded(jpeg, "jpeg-named.heic")), "");
}

// An RGB profile reaches the wallpaper byte for byte, right after its JFIF header, from every
// format; a grey, CMYK or damaged one, or none, leaves the wallpaper as it is without.
TEST_F(Formats, AnRgbProfileTravelsIntoTheWallpaper) {
  const Bytes rgb = MakeProfile("RGB ", 7), grey = MakeProfile("GRAY", 8), cmyk = MakeProfile("CMYK", 9);
  Bytes damaged = rgb;
  damaged[3] ^= 1; // the size it gives is not its own
  const TPixelImage picture = MakeImage(20, 20, Pattern);
  auto jpegWith = [&](const Bytes& profile) {
    // The chunk's name, its number and the count of chunks, then the profile.
    Bytes app2(14 + profile.size());
    std::memcpy(app2.data(), "ICC_PROFILE\0\1\1", 14);
    std::copy(profile.begin(), profile.end(), app2.begin() + 14);
    const Bytes jpeg = MakeJpeg({20, 20});
    return Inserted(jpeg, AfterSegment(jpeg, 0xE0), Segment(0xE2, app2));
  };
  auto pngWith = [&](const Bytes& profile) {
    TPngKind kind = Png(20, 20, 2, 8, {});
    for (const TBGR& p : Pixels(picture))
      kind.samples.insert(kind.samples.end(), {p.r, p.g, p.b});
    kind.profile = profile;
    return MakePng(kind);
  };
  struct Case {
    const char* name;
    Bytes file;
    Bytes expected;
  };
  const Case cases[] = {
      {"rgb.jpg", jpegWith(rgb), rgb},
      {"grey.jpg", jpegWith(grey), {}},
      {"cmyk.jpg", jpegWith(cmyk), {}},
      {"damaged.jpg", jpegWith(damaged), {}},
      {"rgb.png", pngWith(rgb), rgb},
      {"grey.png", MakePng(Png(20, 20, 0, 8, std::vector<uint16_t>(400, 9), {}, {}, {}, grey)), {}},
      {"rgb.webp", MakeWebP(picture, true, {}, rgb), rgb},
      {"grey.webp", MakeWebP(picture, false, {}, grey), {}},
      {"rgb.heic", MakeHeif(picture, Heif(false, 1, rgb)), rgb},
      {"cmyk.heic", MakeHeif(picture, Heif(false, 1, cmyk)), {}},
      {"none.png", pngWith({}), {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CutProfile(c.file, c.name), c.expected) << c.name;

  // The profile's APP2 segment follows the JFIF header; without it the file is the one cut
  // from the same photo without a profile.
  CutProfile(jpegWith(rgb), "again.jpg");
  const Bytes tagged = ReadBytes(dir / "cut.jpg");
  CutProfile(MakeJpeg({20, 20}), "plain.jpg");
  const Bytes plain = ReadBytes(dir / "cut.jpg");
  const size_t app2 = AfterSegment(tagged, 0xE0);
  ASSERT_EQ(app2, 20u);
  ASSERT_EQ(tagged[app2 + 1], 0xE2);
  const size_t length = size_t(tagged[app2 + 2]) << 8 | tagged[app2 + 3];
  Bytes without = tagged;
  without.erase(without.begin() + long(app2), without.begin() + long(app2 + 2 + length));
  EXPECT_EQ(Difference(plain, without), "");
}

// A bad file of any format ends in a clear error of its own, at the read or the decode.
TEST_F(Formats, BadFilesEndInAClearError) {
  const TPngKind kind = Png(8, 8, 2, 8, std::vector<uint16_t>(8 * 8 * 3, 77));
  const Bytes png = MakePng(kind);
  Bytes badCrc = png;
  const size_t idat = Find(png, "IDAT");
  const size_t idatLength = size_t(png[idat - 2]) << 8 | png[idat - 1];
  badCrc[idat + 4 + idatLength] ^= 0xFF;
  Bytes huge = png;
  // 100000 x 100000 in the header, its checksum made right again.
  for (size_t at : {size_t(16), size_t(20)}) {
    huge[at] = 0;
    huge[at + 1] = 0x01;
    huge[at + 2] = 0x86;
    huge[at + 3] = 0xA0;
  }
  const uint32_t crc = Crc(&huge[12], 17);
  for (int i = 0; i < 4; ++i)
    huge[29 + size_t(i)] = uint8_t(crc >> (24 - 8 * i));

  const TPixelImage picture = MakeImage(16, 16, Pattern);
  const Bytes webp = MakeWebP(picture, true, {}, MakeProfile("RGB ", 1));
  Bytes brokenChunk = webp;
  brokenChunk[Find(webp, "ICCP") + 6] = 0x7F; // its length runs past the file's end

  const Bytes heic = MakeHeif(picture);
  Bytes noPrimary = heic;
  std::memcpy(&noPrimary[Find(heic, "pitm")], "xxxx", 4);
  // Every image item in a codec libheif has no decoder for.
  Bytes unknownCodec = heic;
  for (size_t at = Find(heic, "infe"); at != std::string::npos; at = Find(heic, "infe", at + 4))
    std::memcpy(&unknownCodec[at + 12], "vvc1", 4);

  struct Case {
    const char* name;
    Bytes file;
    std::string error;
  };
  const Case cases[] = {
      {"png cut in its pixels", CutAt(png, Find(png, "IDAT") + 20), "Cannot read PNG file: the file ends early"},
      {"png cut before its end", CutAt(png, png.size() - 12), "Cannot read PNG file: the file ends early"},
      {"png checksum", badCrc, "Cannot read PNG file: IDAT: CRC error"},
      {"png 100000 x 100000", huge, "Out of memory"},
      {"webp cut", CutAt(webp, webp.size() - 10), "Cannot read WebP file: a chunk is damaged or the file ends early"},
      {"webp broken chunk", brokenChunk, "Cannot read WebP file: a chunk is damaged or the file ends early"},
      {"webp bitstream", CutAt(MakeWebP(picture, true), 30), "Cannot read WebP file: a chunk is damaged or the file ends early"},
      {"webp animated", MakeAnimatedWebP(), "Cannot read WebP file: it is animated, and only a still picture can be cut"},
      {"heif cut", CutAt(heic, heic.size() / 2),
       "Cannot read HEIF file: Invalid input: Unexpected end of file: Extent in iloc box references data outside of "
       "file bounds"},
      {"heif without primary image", noPrimary, "Cannot read HEIF file: Invalid input: No 'pitm' box"},
      {"heif codec unknown", unknownCodec, "Cannot read HEIF file: Unsupported feature: Unsupported image type"},
  };
  // libheif names the offset it missed after the text.
  for (const Case& c : cases)
    EXPECT_EQ(Failure(c.file).substr(0, c.error.size()), c.error) << c.name;
}

// The signatures, byte for byte, and what falls back to the JPEG decoder.
TEST(FormatOf, TellsTheFamilyByTheFirstBytes) {
  using qv::TPictureFormat;
  auto ftyp = [](const char* major, std::vector<const char*> compatible, uint32_t size = 0) {
    std::string box = std::string(4, '\0') + "ftyp" + major + std::string(4, '\0');
    for (const char* brand : compatible)
      box += brand;
    const uint32_t length = size ? size : uint32_t(box.size());
    for (int i = 0; i < 4; ++i)
      box[size_t(i)] = char(length >> (24 - 8 * i));
    box += std::string("\0\0\0\x08meta", 8);
    return Bytes(box.begin(), box.end());
  };
  struct Case {
    const char* name;
    Bytes bytes;
    TPictureFormat format;
  };
  const Case cases[] = {
      {"jpeg", {0xFF, 0xD8, 0xFF}, TPictureFormat::JPEG},
      {"png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, TPictureFormat::PNG},
      {"png signature cut short", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A}, TPictureFormat::JPEG},
      {"webp", {'R', 'I', 'F', 'F', 9, 9, 9, 9, 'W', 'E', 'B', 'P'}, TPictureFormat::WebP},
      {"riff of a sound", {'R', 'I', 'F', 'F', 9, 9, 9, 9, 'W', 'A', 'V', 'E'}, TPictureFormat::JPEG},
      {"heic", ftyp("heic", {"mif1"}), TPictureFormat::HEIF},
      {"avif", ftyp("avif", {}), TPictureFormat::HEIF},
      {"compatible avis only", ftyp("isom", {"iso8", "avis"}), TPictureFormat::HEIF},
      {"compatible msf1 only", ftyp("3gp5", {"msf1"}), TPictureFormat::HEIF},
      {"an mp4 film", ftyp("isom", {"iso2", "mp41"}), TPictureFormat::JPEG},
      // The brands end where the box does; "heic" after it is another box's.
      {"brand past the box", ftyp("isom", {"mp41", "heic"}, 20), TPictureFormat::JPEG},
      {"empty", {}, TPictureFormat::JPEG},
  };
  for (const Case& c : cases)
    EXPECT_EQ(qv::FormatOf(c.bytes.data(), c.bytes.size()), c.format) << c.name;
}
