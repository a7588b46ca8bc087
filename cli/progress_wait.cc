#include "cli/progress_wait.h"

#include <unistd.h>

#include <cstdio>

namespace tavlune::cli {

void waitWithProgress(const std::string& label, const std::function<bool(int)>& done) {
  const bool show = !label.empty() && ::isatty(STDERR_FILENO);
  bool shown = false;
  // Fast answers never flash a line: it appears after the first second.
  for (int seconds = 0; !done(seconds); ++seconds) {
    if (!show) continue;
    std::fprintf(stderr, "\r%s \xE2\x80\xA6 %ds\033[K", label.c_str(), seconds + 1);
    std::fflush(stderr);
    shown = true;
  }
  if (shown) {
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
  }
}

}  // namespace tavlune::cli
