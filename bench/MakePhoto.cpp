// qv-bench-photo PATH [WIDTH HEIGHT]: writes the benchmarks' photo-like JPEG, 6000 x 4000
// unless another size is given.

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "Photo.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: qv-bench-photo PATH [WIDTH HEIGHT]\n");
    return 2;
  }
  const int width = argc == 4 ? std::atoi(argv[2]) : 6000;
  const int height = argc == 4 ? std::atoi(argv[3]) : 4000;
  if (width < 1 || height < 1) {
    std::fprintf(stderr, "qv-bench-photo: the size must be positive\n");
    return 2;
  }
  try {
    qvbench::WritePhoto(argv[1], width, height);
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qv-bench-photo: %s\n", error.what());
    return 1;
  }
}
