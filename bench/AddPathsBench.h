#pragma once
// The main window's benchmarks, built into qv-bench when the windows are built.

#include <string>

namespace qvbench {

// Adds BM_AddPaths/250 and BM_AddPaths/2000; their files are made inside folder.
void RegisterAddPaths(const std::string& folder);

} // namespace qvbench
