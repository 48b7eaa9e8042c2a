#pragma once
// Checks against programs that share none of our code: libjpeg-turbo's own djpeg and
// cjpeg, found when the build is configured. A decode must give djpeg's pixels and a
// written wallpaper cjpeg's bytes, so a rule changed in our codec and its test alike
// still shows.

#include <string>
#include <sys/types.h>
#include <vector>

#include "Photos.h"
#include "imaging/PixelImage.h"

namespace qvtest {

struct TRun {
  int status = -1; // the exit status, -1 when the program did not exit by itself
  std::string out, err;
};

// Runs the program args[0] with the other arguments, no shell in between.
TRun Run(const std::vector<std::string>& args);
// The same in two steps, for a test that acts while it runs: its standard output and error
// go to the files out and err, which Wait reads once it has ended.
pid_t Start(const std::vector<std::string>& args, const std::string& out, const std::string& err);
TRun Wait(pid_t pid, const std::string& out, const std::string& err);

// The picture `djpeg -dct float` makes of the file, blue first; switches go before the
// file, for example {"-colors", "236"}.
qv::TPixelImage Djpeg(const std::string& jpeg, const std::vector<std::string>& switches = {});
// The file `cjpeg -dct float -quality Q -baseline` writes for the picture, handed over as a PPM.
Bytes Cjpeg(const qv::TPixelImage& image, int quality);

// A binary PNM (P5 gray, P6 red first) as a picture.
qv::TPixelImage FromPnm(const Bytes& pnm);

// "" when the pictures are alike; otherwise the sizes, or the first pixel (row by row)
// that differs with both values.
std::string Difference(const qv::TPixelImage& expected, const qv::TPixelImage& actual);
// "" when the files are alike; otherwise where they part and both lengths.
std::string Difference(const Bytes& expected, const Bytes& actual);

} // namespace qvtest
