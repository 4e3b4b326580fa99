#include <csignal>

#include "model/driver.h"

int main() {
  // The console is only the window; the files are the result. A console
  // piped into a reader that stops early must not kill the run and cut its
  // files short: writes to it then fail quietly and the run goes on.
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);
#endif
  return RUNPROGRAM();
}
