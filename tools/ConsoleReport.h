#pragma once
// What a batch shows: each failure and skip on standard error as it is known, a progress
// line there that updates in place when it is a terminal, and the end line on standard
// output, as the one-photo form keeps its result on standard output and its errors apart.

#include <chrono>
#include <cstdio>
#include <string>

#include "Batch.h"

namespace qv {

// "1:05" or "2:03:07".
std::string DurationText(std::chrono::seconds duration);

class TConsoleReport : public IBatchReport {
public:
  // progress: whether to show the progress line (errors is a terminal and it is wanted).
  TConsoleReport(std::FILE* errors, std::FILE* results, size_t photos, bool progress);

  void Skipped(const TSkipped& skipped);
  void Finished(size_t index, const TPhotoResult& result) override;
  void Waiting() override;
  // Clears the progress line and prints "N files written, M photos failed, K skipped";
  // false when standard output could not take it.
  bool End();

  int Failed() const { return failed_; }

private:
  void Error(const std::string& line);
  void Draw(bool now);

  std::FILE* errors_;
  std::FILE* results_;
  size_t photos_;
  bool progress_;
  bool shown_ = false;
  size_t done_ = 0;
  int written_ = 0;
  int failed_ = 0;
  int skipped_ = 0;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point drawn_;
};

} // namespace qv
