// Standard output into a pipe whose reader went away (`vardis-cli ... | head`).
#pragma once

namespace vardis::cli {

// Whether standard output is a pipe (or socket) whose reading end is closed:
// what was written after that is lost on purpose, and the run ends quietly.
bool standardOutputReaderGone();

}  // namespace vardis::cli
