// Makes the end-to-end test's photographs and reads back the size of what was written:
//   qv-e2e-photo make PATH WIDTH HEIGHT   a JPEG, or a PNG or HEIC when PATH ends so
//   qv-e2e-photo size PATH        prints WIDTHxHEIGHT
//   qv-e2e-photo frame SHOT.ppm X Y W H
//                                 prints "LEFT TOP RIGHT BOTTOM" (inclusive, screen pixels)
//                                 of the lime frame's pixels in that part of a screenshot,
//                                 or "none"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "imaging/JPEGImage.h"
#include "support/FormatFiles.h"
#include "support/Photos.h"

namespace {

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The test pattern in the format the name asks for, each made by its own library.
void MakePhoto(const std::string& path, int width, int height) {
  if (EndsWith(path, ".png")) {
    qvtest::TPngKind kind;
    kind.width = width;
    kind.height = height;
    kind.samples.reserve(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const qv::TBGR colour = qvtest::Pattern(x, y);
        kind.samples.insert(kind.samples.end(), {colour.r, colour.g, colour.b});
      }
    }
    qvtest::WriteBytes(path, qvtest::MakePng(kind));
  } else if (EndsWith(path, ".heic")) {
    qvtest::WriteBytes(path, qvtest::MakeHeif(qvtest::MakeImage(width, height, qvtest::Pattern)));
  } else {
    qvtest::WriteJpeg(path, {.width = width, .height = height});
  }
}

// A binary PPM (P6, 8 bits) as grim and ImageMagick write it.
struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;
};

Screenshot ReadPpm(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  in >> magic;
  if (!in || magic != "P6") throw std::runtime_error(std::string(path) + " is not a binary PPM");
  int fields[3] = {};
  for (int& field : fields) {
    in >> std::ws;
    while (in.peek() == '#') {
      in.ignore(1 << 16, '\n');
      in >> std::ws;
    }
    in >> field;
  }
  in.get();
  if (!in || fields[0] <= 0 || fields[1] <= 0 || fields[2] != 255)
    throw std::runtime_error(std::string(path) + " has a header this tool does not read");
  Screenshot shot{fields[0], fields[1], std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {})};
  if (shot.rgb.size() < static_cast<std::size_t>(shot.width) * shot.height * 3)
    throw std::runtime_error(std::string(path) + " is cut short");
  return shot;
}

// The frame's pen is lime (0, 255, 0), drawn exactly. Its edges are the rows and columns
// that hold long runs of it; the odd lime pixel of a photo's gradient is no edge.
void PrintFrame(const Screenshot& shot, int x, int y, int w, int h) {
  const int x0 = std::max(x, 0), x1 = std::min(x + w, shot.width);
  const int y0 = std::max(y, 0), y1 = std::min(y + h, shot.height);
  std::vector<int> columns(static_cast<std::size_t>(std::max(x1 - x0, 0)));
  std::vector<int> rows(static_cast<std::size_t>(std::max(y1 - y0, 0)));
  for (int row = y0; row < y1; ++row) {
    for (int column = x0; column < x1; ++column) {
      const unsigned char* pixel = &shot.rgb[(static_cast<std::size_t>(row) * shot.width + column) * 3];
      if (pixel[0] == 0 && pixel[1] == 255 && pixel[2] == 0) {
        ++columns[static_cast<std::size_t>(column - x0)];
        ++rows[static_cast<std::size_t>(row - y0)];
      }
    }
  }
  // An edge holds at least 8 pixels and four fifths of the longest edge's.
  const auto edges = [](const std::vector<int>& counts, int& first, int& last) {
    const int longest = counts.empty() ? 0 : *std::max_element(counts.begin(), counts.end());
    first = -1;
    for (int i = 0; i < static_cast<int>(counts.size()); ++i) {
      if (counts[static_cast<std::size_t>(i)] >= 8 && counts[static_cast<std::size_t>(i)] * 5 >= longest * 4) {
        if (first < 0) first = i;
        last = i;
      }
    }
    return first >= 0;
  };
  int left = 0, right = 0, top = 0, bottom = 0;
  if (edges(columns, left, right) && edges(rows, top, bottom))
    std::printf("%d %d %d %d\n", x0 + left, y0 + top, x0 + right, y0 + bottom);
  else
    std::printf("none\n");
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "make" && argc == 5) {
      MakePhoto(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
      return 0;
    }
    if (command == "size" && argc == 3) {
      qv::TJPEGImage jpeg;
      jpeg.ReadJpegFile(argv[2]);
      std::printf("%dx%d\n", jpeg.Width(), jpeg.Height());
      return 0;
    }
    if (command == "frame" && argc == 7) {
      PrintFrame(ReadPpm(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
      return 0;
    }
    std::fprintf(stderr, "usage: qv-e2e-photo make PATH WIDTH HEIGHT | size PATH | frame SHOT.ppm X Y W H\n");
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qv-e2e-photo: %s\n", error.what());
    return 1;
  }
}
