#pragma once

#include "Services.h"

namespace qv {

class TPosixOpenTest : public IOpenTest {
public:
  bool CanOpen(const std::string& path) override;
};

class TPosixFolderMaker : public IFolderMaker {
public:
  void CreateFolder(const std::string& path) override;
};

} // namespace qv
