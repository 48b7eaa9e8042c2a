// Makes the end-to-end test's photographs and reads back the size of what was written:
//   qv-e2e-photo make PATH WIDTH HEIGHT
//   qv-e2e-photo size PATH        prints WIDTHxHEIGHT

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "imaging/JPEGImage.h"
#include "support/Photos.h"

int main(int argc, char** argv) {
  try {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "make" && argc == 5) {
      qvtest::WriteJpeg(argv[2], {.width = std::atoi(argv[3]), .height = std::atoi(argv[4])});
      return 0;
    }
    if (command == "size" && argc == 3) {
      qv::TJPEGImage jpeg;
      jpeg.ReadJpegFile(argv[2]);
      std::printf("%dx%d\n", jpeg.Width(), jpeg.Height());
      return 0;
    }
    std::fprintf(stderr, "usage: qv-e2e-photo make PATH WIDTH HEIGHT | size PATH\n");
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qv-e2e-photo: %s\n", error.what());
    return 1;
  }
}
