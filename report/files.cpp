#include "report/files.h"

#include <cerrno>
#include <cstring>
#include <ostream>
#include <sstream>

#include "console/io.h"
#include "model/settings.h"
#include "model/state.h"

std::string dataError;
std::string sumError;
std::string openError;
std::int32_t fileFailed = 0;

namespace {

bool inMemory = false;
std::stringbuf dataMemory;
std::stringbuf sumMemory;

void ATTACH(std::ofstream& os, std::stringbuf& memory) {
  memory.str(std::string());
  static_cast<std::ostream&>(os).rdbuf(&memory);
  os.clear();
}

// Gives the stream its own file buffer back.
void DETACH(std::ofstream& os) {
  static_cast<std::ostream&>(os).rdbuf(os.rdbuf());
}

void NOTE(const std::ofstream& os, std::string& error) {
  if (os.fail() && error.empty()) {
    error = errno != 0 ? std::strerror(errno) : "write error";
    fileFailed = 1;
  }
}

void CLOSEONE(std::ofstream& os, std::string& error) {
  if (!os.is_open()) return;
  NOTE(os, error);
  errno = 0;
  os.close();
  NOTE(os, error);
}

void REPORTONE(const std::string& name, const std::string& error) {
  if (error.empty()) return;
  *conOut << "\a\nERROR: could not write " << name << ": " << error << std::endl;
}

}  // namespace

bool OPENFILE(std::ofstream& os, const std::string& name) {
  if (name.find('\0') != std::string::npos) return false;
  os.open(name, std::ios::out);
  return os.is_open();
}

void FILESOPENED() {
  dataError.clear();
  sumError.clear();
}

void CHECKFILES() {
  NOTE(datafl, dataError);
  NOTE(sumfl, sumError);
}

void CLOSEFILES() {
  if (inMemory) {
    DETACH(datafl);
    DETACH(sumfl);
    return;
  }
  CLOSEONE(datafl, dataError);
  CLOSEONE(sumfl, sumError);
}

bool OPENRUNFILES(std::string& failed) {
  openError.clear();
  if (inMemory) {
    ATTACH(datafl, dataMemory);
    ATTACH(sumfl, sumMemory);
    return true;
  }
  datafl.clear();
  errno = 0;
  if (!OPENFILE(datafl, datanm)) {
    failed = datanm;
    openError = errno != 0 ? std::strerror(errno) : "cannot open";
    return false;
  }
  sumfl.clear();
  errno = 0;
  if (!OPENFILE(sumfl, sumnm)) {
    failed = sumnm;
    openError = errno != 0 ? std::strerror(errno) : "cannot open";
    datafl.close();
    return false;
  }
  return true;
}

void MEMORYFILES(bool on) { inMemory = on; }

std::string MEMORYDATA() { return dataMemory.str(); }
std::string MEMORYSUM() { return sumMemory.str(); }

void RESETREPORT() {
  DETACH(datafl);
  DETACH(sumfl);
  if (datafl.is_open()) datafl.close();
  if (sumfl.is_open()) sumfl.close();
  datafl.clear();
  sumfl.clear();
  FILESOPENED();
  openError.clear();
  fileFailed = 0;
  inMemory = false;
  dataMemory.str(std::string());
  sumMemory.str(std::string());
}

void REPORTFILES() {
  REPORTONE(datanm, dataError);
  REPORTONE(sumnm, sumError);
}

int EXITSTATUS() { return fileFailed != 0 ? 1 : 0; }
