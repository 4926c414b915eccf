#include "cli/output_pipe.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vardis::cli {

bool standardOutputReaderGone() {
  struct stat st {};
  if (::fstat(STDOUT_FILENO, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) {
    return false;
  }
  // Asked for no events, poll still reports POLLERR on a pipe whose reading
  // end is closed (and POLLHUP on a socket shut down by its peer).
  pollfd fd{STDOUT_FILENO, 0, 0};
  if (::poll(&fd, 1, 0) <= 0) return false;
  return (fd.revents & (POLLERR | POLLHUP)) != 0;
}

}  // namespace vardis::cli
