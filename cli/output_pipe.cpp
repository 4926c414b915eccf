#include "cli/output_pipe.h"

namespace vardis::cli {

bool standardOutputReaderGone() {
  return false;
}

}  // namespace vardis::cli
