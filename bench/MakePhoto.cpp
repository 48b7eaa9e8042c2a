// qv-bench-photo PATH [WIDTH HEIGHT [ORIENTATION]]: writes the benchmarks' photo-like JPEG,
// 6000 x 4000 unless another size is given, tagged with an EXIF orientation when one is.

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "Photo.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: qv-bench-photo PATH [WIDTH HEIGHT [ORIENTATION]]\n");
    return 2;
  }
  const int width = argc >= 4 ? std::atoi(argv[2]) : 6000;
  const int height = argc >= 4 ? std::atoi(argv[3]) : 4000;
  const int orientation = argc == 5 ? std::atoi(argv[4]) : 1;
  if (width < 1 || height < 1) {
    std::fprintf(stderr, "qv-bench-photo: the size must be positive\n");
    return 2;
  }
  if (orientation < 1 || orientation > 8) {
    std::fprintf(stderr, "qv-bench-photo: the orientation is 1 to 8\n");
    return 2;
  }
  try {
    qvbench::WritePhoto(argv[1], width, height, orientation);
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qv-bench-photo: %s\n", error.what());
    return 1;
  }
}
