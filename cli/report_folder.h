// The report folder a run writes into: made with --create-dirs, or named with
// the command that makes it when it is missing.
#pragma once

#include <filesystem>
#include <iosfwd>

namespace vardis::cli {

// With `create`, makes the report folder of `dataDir` (and the data folder)
// when missing; false, said on `err`, when it cannot be made.
bool prepareReportFolder(const std::filesystem::path& dataDir, bool create, std::ostream& err);

// When the report folder of `dataDir` is missing: a line on `err` that says
// how to make it. Nothing when it is there.
void hintReportFolder(const std::filesystem::path& dataDir, std::ostream& err);

}  // namespace vardis::cli
