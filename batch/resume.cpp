#include "batch/resume.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "batch/run.h"
#include "model/derive.h"

namespace batch {

namespace {

// Columns after the settings: per file its size and checksum, then the
// fingerprint. A file that a job does not write has empty fields.
const char* const FILECOLUMNS[3] = {"csv", "txt", "traj"};
const char* const PRINTCOLUMN = "job_print";
// The version of the fingerprint's text; raised when it changes, or when
// the same settings come to make other files (2: the trajectory starts with
// the founders, and population keys count the founders' chromosomes), so
// that files of an earlier version are made again rather than kept.
const char* const PRINTVERSION = "duolocus-batch job 2";

std::string BASEOF(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FOLDEROF(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Fields of one index line (RFC 4180 quoting, no line ends inside).
std::vector<std::string> SPLITCSV(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      fields.back() += '"', ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

bool SAMESUMS(const std::vector<FileSum>& a, const std::vector<FileSum>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!a[i].present || !b[i].present || a[i].bytes != b[i].bytes || a[i].crc != b[i].crc) return false;
  }
  return true;
}

}  // namespace

std::string JOBPRINT(const Job& job, std::int64_t trajectory) {
  std::ostringstream text;
  text << PRINTVERSION << '\n' << BANNER << "\nseed=" << job.seed << "\nprefix=" << job.prefix
       << "\ntrajectory=" << trajectory << '\n';
  for (const auto& [key, value] : job.settings) text << key << '=' << SHOWVALUE(value) << '\n';
  return HEX32(CRCTEXT(text.str()));
}

IndexEntries READINDEX(const std::string& name) {
  IndexEntries entries;
  std::ifstream in(name, std::ios::binary);
  std::string line;
  if (!std::getline(in, line)) return entries;
  const std::vector<std::string> header = SPLITCSV(line);
  const std::size_t n = header.size();
  if (n < 13 || header[0] != "run" || header[n - 1] != PRINTCOLUMN) return entries;
  const std::string folder = FOLDEROF(name);
  while (std::getline(in, line)) {
    const std::vector<std::string> f = SPLITCSV(line);
    if (f.size() != n || f[1].empty() || f[1].size() > 5) continue;
    IndexEntry entry;
    entry.print = f[n - 1];
    for (int k = 0; k < 3; ++k) {
      if (f[3 + k].empty()) continue;
      FileSum sum;
      sum.present = true;
      sum.bytes = std::strtoull(f[n - 7 + 2 * k].c_str(), nullptr, 10);
      sum.crc = static_cast<std::uint32_t>(std::strtoul(f[n - 6 + 2 * k].c_str(), nullptr, 16));
      entry.files.push_back(folder + f[3 + k]);
      entry.sums.push_back(sum);
    }
    entries[{f[0], static_cast<std::uint32_t>(std::strtoul(f[1].c_str(), nullptr, 10))}] = entry;
  }
  return entries;
}

IndexEntry ENTRYOF(const Job& job, std::int64_t trajectory) {
  IndexEntry entry;
  entry.print = JOBPRINT(job, trajectory);
  entry.files = JOBFILES(job.prefix, trajectory > 0);
  for (const std::string& file : entry.files) entry.sums.push_back(SUMFILE(file));
  return entry;
}

bool JOBDONE(const Job& job, std::int64_t trajectory, const IndexEntries& entries) {
  const auto it = entries.find({job.run, job.seed});
  if (it == entries.end() || it->second.print != JOBPRINT(job, trajectory)) return false;
  const std::vector<std::string> files = JOBFILES(job.prefix, trajectory > 0);
  if (files.size() != it->second.files.size()) return false;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (BASEOF(files[i]) != BASEOF(it->second.files[i])) return false;
  }
  std::vector<FileSum> now;
  for (const std::string& file : files) now.push_back(SUMFILE(file));
  return SAMESUMS(now, it->second.sums);
}

namespace {

void INDEXLINE(std::ostream& out, const Study& study, const Job& job, const IndexEntry& entry) {
  out << CSVFIELD(job.run) << ',' << job.seed << ',' << CSVFIELD(BASEOF(job.prefix));
  for (int k = 0; k < 3; ++k) {
    out << ',' << (static_cast<std::size_t>(k) < entry.files.size() ? CSVFIELD(BASEOF(entry.files[k])) : "");
  }
  for (const std::string& key : study.shownKeys) {
    const auto it = job.settings.find(key);
    out << ',';
    if (it != job.settings.end()) out << CSVFIELD(SHOWVALUE(it->second));
  }
  for (std::size_t k = 0; k < 3; ++k) {
    if (k < entry.sums.size()) {
      out << ',' << entry.sums[k].bytes << ',' << HEX32(entry.sums[k].crc);
    } else {
      out << ",,";
    }
  }
  out << ',' << entry.print << '\n';
}

}  // namespace

bool WRITEINDEX(const Study& study, const std::string& name, const IndexEntries& entries,
                std::string& fault) {
  const std::string part = PARTNAME(name);
  GUARD(1, {name});
  std::ofstream out(part, std::ios::binary | std::ios::trunc);
  out << "run,seed,prefix,csv,txt,traj";
  for (const std::string& key : study.shownKeys) out << ',' << CSVFIELD(key);
  for (const char* file : FILECOLUMNS) out << ',' << file << "_bytes," << file << "_crc32";
  out << ',' << PRINTCOLUMN << '\n';
  for (const Job& job : study.jobs) {
    const auto it = entries.find({job.run, job.seed});
    if (it != entries.end()) INDEXLINE(out, study, job, it->second);
  }
  out.flush();
  errno = 0;
  const bool written = out.is_open() && !out.fail();
  out.close();
  if (!written || out.fail() || std::rename(part.c_str(), name.c_str()) != 0) {
    fault = "could not write " + name + ": " + (errno != 0 ? std::strerror(errno) : "write error");
    std::remove(part.c_str());
    GUARD(1, {});
    return false;
  }
  GUARD(1, {});
  return true;
}

}  // namespace batch
