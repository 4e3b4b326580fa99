// The console program in the browser: the same program (RUNPROGRAM, the
// dialogue and every file it writes), with standard input and output
// carried to and from the terminal pane of the page. Its reads block, so
// this build uses Asyncify: a read with no typed line waiting sleeps (the
// worker's event loop then delivers the next line) and resumes where it
// stopped. The page needs no cross-origin isolation for that, so any plain
// static host serves it.
#include <emscripten/emscripten.h>

#include <iostream>
#include <streambuf>
#include <string>

#include "model/driver.h"

// Takes up to max bytes of typed input waiting in the worker; 0 when none.
EM_JS(int, TAKEINPUT, (char* buffer, int max), {
  return Module.takeInput ? Module.takeInput(buffer, max) : 0;
});
// Sends bytes the program wrote to the terminal pane.
EM_JS(void, PUTOUTPUT, (const char* bytes, int size), {
  if (Module.putOutput) Module.putOutput(HEAPU8.slice(bytes, bytes + size));
});

namespace {

// Standard input: refilled from the typed lines, waiting for one when
// none is there.
class TypedInput : public std::streambuf {
 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    int got = 0;
    while ((got = TAKEINPUT(buffer, sizeof buffer)) == 0) emscripten_sleep(20);
    setg(buffer, buffer, buffer + got);
    return traits_type::to_int_type(*gptr());
  }

 private:
  char buffer[4096];
};

// Standard output: passed on whenever the program flushes (each prompt is
// followed by a read, and the read flushes the console through tie()).
class TerminalOutput : public std::streambuf {
 protected:
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) pending.push_back(traits_type::to_char_type(c));
    if (pending.size() >= 4096) sync();
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    pending.append(s, static_cast<std::size_t>(n));
    if (pending.size() >= 4096) sync();
    return n;
  }
  int sync() override {
    if (!pending.empty()) PUTOUTPUT(pending.data(), static_cast<int>(pending.size()));
    pending.clear();
    return 0;
  }

 private:
  std::string pending;
};

TypedInput typedInput;
TerminalOutput terminalOutput;

}  // namespace

int main() {
  std::cin.rdbuf(&typedInput);
  std::cout.rdbuf(&terminalOutput);
  const int status = RUNPROGRAM();
  std::cout.flush();
  return status;
}
