#pragma once
// The error box of the window benchmarks: a modal box would stop a run that nobody
// watches, so each error is printed and counted instead.

#include <cstdio>
#include <string>

#include "ErrorBox.h"

namespace qvbench {

class TPrintingErrorBox : public qv::IErrorBox {
public:
  void ShowError(const std::string& text) override {
    std::fprintf(stderr, "error: %s\n", text.c_str());
    ++errors;
  }
  int errors = 0;
};

} // namespace qvbench
