#include "report/files.h"

#include <cerrno>
#include <cstring>
#include <ostream>

#include "console/io.h"
#include "model/settings.h"
#include "model/state.h"

std::string dataError;
std::string sumError;
std::int32_t fileFailed = 0;

namespace {

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
  CLOSEONE(datafl, dataError);
  CLOSEONE(sumfl, sumError);
}

void REPORTFILES() {
  REPORTONE(datanm, dataError);
  REPORTONE(sumnm, sumError);
}

int EXITSTATUS() { return fileFailed != 0 ? 1 : 0; }
