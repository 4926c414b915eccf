// Where vardis-cli's exported data goes: standard output or the --out file.
#pragma once

#include <fstream>
#include <iosfwd>
#include <memory>
#include <string>

#include "cli/options.h"

namespace vardis::cli {

// Where the exported data goes: standard output or the --out file, created
// (or emptied) before the meter is reached.
class ExportSink {
 public:
  // False with a message in `error` when the file cannot be written.
  bool open(const CliOptions& o, std::ostream& out, std::string& error);
  bool active() const { return stream_ != nullptr; }
  // Whether the export takes standard output, so the messages must go elsewhere.
  bool onStandardOutput() const { return stream_ != nullptr && !file_; }
  // Writes the text; false when it did not reach its place. A reader of
  // standard output that went away (`| head`) is no failure: it wanted no more.
  bool write(const std::string& text);

 private:
  std::ostream* stream_ = nullptr;
  std::unique_ptr<std::ofstream> file_;
};

}  // namespace vardis::cli
