#include "cli/export_sink.h"

#include <filesystem>
#include <ostream>
#include <system_error>

#include "cli/output_pipe.h"

namespace vardis::cli {

bool ExportSink::open(const CliOptions& o, std::ostream& out, std::string& error) {
  if (o.exportFormat == ExportFormat::None) return true;
  if (o.exportFile.empty() || o.exportFile == "-") {
    stream_ = &out;
    return true;
  }
  const std::filesystem::path path(o.exportFile);
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    error = "--out " + o.exportFile + ": is a folder, not a file";
    return false;
  }
  const std::filesystem::path folder = path.parent_path();
  if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
    error = "--out " + o.exportFile + ": the folder " + folder.string() + " does not exist";
    return false;
  }
  file_ = std::make_unique<std::ofstream>(path, std::ios::binary | std::ios::trunc);
  if (!*file_) {
    error = "--out " + o.exportFile + ": cannot create the file";
    return false;
  }
  stream_ = file_.get();
  return true;
}

bool ExportSink::write(const std::string& text) {
  *stream_ << text << std::flush;
  if (*stream_) return true;
  return onStandardOutput() && standardOutputReaderGone();
}

}  // namespace vardis::cli
