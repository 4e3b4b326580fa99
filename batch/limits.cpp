#include "batch/limits.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "batch/lock.h"
#include "batch/outputs.h"
#include "batch/run.h"
#include "model/runentry.h"

namespace batch {

namespace {

// The nesting scanner: the dotted parts of the current [table] header,
// those of the key being read, and the lists and inline tables open.
struct Nesting {
  explicit Nesting(const std::string& t) : text(t) {}
  const std::string& text;
  std::size_t at = 0;
  int line = 1;
  int header = 0;
  int key = 0;
  std::vector<char> open;  // '[' or '{'
  int worst = 0;
  int worstLine = 0;
};

void NOTE(Nesting& n, int depth) {
  if (depth > n.worst) n.worst = depth, n.worstLine = n.line;
}

// Skips a string that starts at n.at (a quote), counting its lines.
void SKIPSTRING(Nesting& n) {
  const char quote = n.text[n.at];
  const bool triple = n.text.compare(n.at, 3, std::string(3, quote)) == 0;
  n.at += triple ? 3 : 1;
  while (n.at < n.text.size()) {
    const char c = n.text[n.at];
    if (c == '\\' && quote == '"') {
      n.at += 2;
      continue;
    }
    if (c == '\n') {
      ++n.line;
      if (!triple) return;
    }
    if (c == quote && (!triple || n.text.compare(n.at, 3, std::string(3, quote)) == 0)) {
      n.at += triple ? 3 : 1;
      return;
    }
    ++n.at;
  }
}

// Reads a key (or a header's name) up to one of the stop characters,
// returning the number of its dotted parts.
int KEYPARTS(Nesting& n, const char* stops) {
  int parts = 1;
  while (n.at < n.text.size() && std::strchr(stops, n.text[n.at]) == nullptr) {
    const char c = n.text[n.at];
    if (c == '"' || c == '\'') {
      SKIPSTRING(n);
      continue;
    }
    if (c == '.') ++parts;
    ++n.at;
  }
  return parts;
}

void SKIPLINE(Nesting& n) {
  while (n.at < n.text.size() && n.text[n.at] != '\n') ++n.at;
}

// One value character; keys of inline tables count their dotted parts.
void VALUECHAR(Nesting& n) {
  const char c = n.text[n.at];
  if (c == '"' || c == '\'') return SKIPSTRING(n);
  if (c == '#') return SKIPLINE(n);
  ++n.at;
  if (c == '\n') ++n.line;
  if (c == '[' || c == '{') {
    n.open.push_back(c);
    NOTE(n, n.header + n.key + static_cast<int>(n.open.size()));
  } else if ((c == ']' || c == '}') && !n.open.empty()) {
    n.open.pop_back();
  }
  if ((c == '{' || c == ',') && !n.open.empty() && n.open.back() == '{') {
    const int parts = KEYPARTS(n, "=}\n");
    NOTE(n, n.header + n.key + static_cast<int>(n.open.size()) + parts);
  }
}

// A line outside any list: a header, a key = value, a comment or nothing.
void LINE(Nesting& n) {
  while (n.at < n.text.size() && (n.text[n.at] == ' ' || n.text[n.at] == '\t')) ++n.at;
  if (n.at >= n.text.size()) return;
  const char c = n.text[n.at];
  if (c == '\n' || c == '#' || c == '\r') {
    SKIPLINE(n);
  } else if (c == '[') {
    while (n.at < n.text.size() && n.text[n.at] == '[') ++n.at;
    n.header = KEYPARTS(n, "]\n");
    n.key = 0;
    NOTE(n, n.header);
    SKIPLINE(n);
  } else {
    n.key = KEYPARTS(n, "=\n");
    NOTE(n, n.header + n.key);
    if (n.at < n.text.size() && n.text[n.at] == '=') ++n.at;
    while (n.at < n.text.size() && (n.text[n.at] != '\n' || !n.open.empty()) && n.worst <= MAXNESTING) {
      VALUECHAR(n);
    }
  }
  if (n.at < n.text.size() && n.text[n.at] == '\n') ++n.at, ++n.line;
}

std::uint64_t TIMES(std::uint64_t a, std::uint64_t b) {
  constexpr std::uint64_t cap = std::uint64_t{1} << 62;
  if (a == 0 || b == 0) return 0;
  return a > cap / b ? cap : std::min(cap, a * b);
}

std::uint64_t SEEDCOUNT(const toml::node* node) {
  if (node == nullptr) return 0;
  if (const auto* list = node->as_array()) return list->size();
  if (const auto* range = node->as_table()) {
    const auto from = range->get("from") ? range->get("from")->value<std::int64_t>() : std::nullopt;
    const auto to = range->get("to") ? range->get("to")->value<std::int64_t>() : std::nullopt;
    if (from && to && *to >= *from) return static_cast<std::uint64_t>(*to - *from) + 1;
  }
  return 1;
}

// The lists of a sweep: their lengths, in any order.
void SWEEPLISTS(const toml::table& table, std::vector<std::uint64_t>& sizes) {
  for (auto&& [name, node] : table) {
    if (const auto* sub = node.as_table()) {
      SWEEPLISTS(*sub, sizes);
    } else if (const auto* list = node.as_array()) {
      sizes.push_back(list->size());
    }
  }
}

std::uint64_t POINTS(const toml::table& root) {
  const auto* sweep = root.get_as<toml::table>("sweep");
  if (sweep == nullptr) return 1;
  std::vector<std::uint64_t> sizes;
  SWEEPLISTS(*sweep, sizes);
  const auto* mode = sweep->get_as<std::string>("mode");
  if (mode != nullptr && mode->get() == "zip") {
    return sizes.empty() ? 1 : *std::max_element(sizes.begin(), sizes.end());
  }
  std::uint64_t points = 1;
  for (std::uint64_t s : sizes) points = TIMES(points, std::max<std::uint64_t>(s, 1));
  return points;
}

}  // namespace

bool NESTINGOK(const std::string& text, const std::string& where, std::vector<std::string>& faults) {
  Nesting n(text);
  while (n.at < text.size() && n.worst <= MAXNESTING) LINE(n);
  if (n.worst <= MAXNESTING) return true;
  faults.push_back(where + ":" + std::to_string(n.worstLine) + ": the study nests more than " +
                   std::to_string(MAXNESTING) + " levels deep (tables, dotted keys and lists together); " +
                   "a study needs at most 5, as in [runs.NAME.migration.mix] AABB = 0.5");
  return false;
}

std::uint64_t JOBCOUNT(const toml::table& root, bool seedGiven) {
  const std::uint64_t points = POINTS(root);
  const std::uint64_t studySeeds = seedGiven ? 1 : std::max<std::uint64_t>(SEEDCOUNT(root.get("seed")), 1);
  const auto* runs = root.get_as<toml::table>("runs");
  if (runs == nullptr || runs->empty()) return TIMES(points, studySeeds);
  std::uint64_t total = 0;
  for (auto&& [name, node] : *runs) {
    const auto* run = node.as_table();
    const std::uint64_t own = run != nullptr && !seedGiven ? SEEDCOUNT(run->get("seed")) : 0;
    total = std::min(std::uint64_t{1} << 62, total + TIMES(points, own > 0 ? own : studySeeds));
  }
  return total;
}

bool JOBCOUNTOK(const toml::table& root, const std::string& path, bool seedGiven, std::uint64_t limit,
                std::vector<std::string>& faults) {
  const std::uint64_t count = JOBCOUNT(root, seedGiven);
  if (count <= limit) return true;
  faults.push_back(path + ": the study makes " + std::to_string(count) + " jobs (runs and sweep points times seeds); " +
                   "the limit is " + std::to_string(limit) + ": give fewer seeds or values, or raise it with --max-jobs N");
  return false;
}

namespace {

std::string FOLDEROF(const std::string& prefix) {
  const std::size_t slash = prefix.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : prefix.substr(0, slash);
}

std::string BASEOF(const std::string& prefix) {
  const std::size_t slash = prefix.find_last_of('/');
  return slash == std::string::npos ? prefix : prefix.substr(slash + 1);
}

// Whether a file can be created in the folder, found by creating one: the
// permission bits do not tell (root may write anywhere by them, yet not in
// /proc; a read-only mount shows them unchanged). An unnamed file is
// never seen; where the file system has none, a named one lives for the
// moment between its creation and its removal.
std::string PROBE(const std::string& folder) {
#ifdef O_TMPFILE
  int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd >= 0) {
    close(fd);
    return "";
  }
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    return "no file can be written in the folder " + folder + ": " + std::strerror(errno);
  }
#endif
  const std::string name = folder + "/.duolocus-probe-" + std::to_string(getpid());
  int fd2 = open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
  if (fd2 < 0) return "no file can be written in the folder " + folder + ": " + std::strerror(errno);
  close(fd2);
  unlink(name.c_str());
  return "";
}

// A name the run must create as a file but which is a folder (or something
// else that is not a plain file) already.
bool NOTAFILE(const std::string& name) {
  struct stat info {};
  return stat(name.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

bool FOLDEROK(const std::string& prefix, const std::string& folder, std::vector<std::string>& faults) {
  struct stat info {};
  std::string why;
  if (stat(folder.c_str(), &info) != 0) {
    why = errno == ENOENT ? "the folder " + folder + " does not exist; create it first"
                          : "the folder " + folder + " cannot be reached: " + std::strerror(errno);
  } else if (!S_ISDIR(info.st_mode)) {
    why = folder + " is not a folder";
  } else if (access(folder.c_str(), W_OK | X_OK) != 0) {
    why = "no file can be written in the folder " + folder + ": " + std::strerror(errno);
  }
  if (why.empty()) why = PROBE(folder);
  if (why.empty()) return true;
  faults.push_back("output prefix " + prefix + ": " + why);
  return false;
}

}  // namespace

void PREFIXFAULTS(const Study& study, std::vector<std::string>& faults) {
  const std::string named = PREFIXFAULT(study.prefix);
  if (!named.empty()) {
    faults.push_back(named);
    return;
  }
  const std::string folder = FOLDEROF(study.prefix);
  if (!FOLDEROK(study.prefix, folder, faults)) return;
  // Every name a run writes, final and temporary, the index and the lock:
  // a folder at any of them would fail the run after its work was done.
  std::vector<std::string> files = {LOCKNAME(study.prefix), INDEXNAME(study), PARTNAME(INDEXNAME(study))};
  for (const Job& job : study.jobs) {
    for (const std::string& name : JOBFILES(job.prefix, true)) {
      files.push_back(name);
      files.push_back(PARTNAME(name));
    }
  }
  for (const std::string& name : files) {
    if (!NOTAFILE(name)) continue;
    faults.push_back("output prefix " + study.prefix + ": " + name +
                     " is a folder (or another thing that is not a file); the run writes a file there");
    return;
  }
  errno = 0;
  const long limit = pathconf(folder.c_str(), _PC_NAME_MAX);
  const std::size_t nameMax = limit > 0 ? static_cast<std::size_t>(limit) : 255;
  std::vector<std::string> names = {BASEOF(LOCKNAME(study.prefix)), BASEOF(PARTNAME(INDEXNAME(study)))};
  for (const Job& job : study.jobs) names.push_back(BASEOF(job.prefix) + LONGESTSUFFIX);
  // The longest name speaks for all.
  const std::string& name = *std::max_element(
      names.begin(), names.end(), [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
  {
    if (name.size() > nameMax) {
      faults.push_back("output prefix " + study.prefix + ": the file name " + name + " has " +
                       std::to_string(name.size()) + " characters; the folder " + folder + " allows " +
                       std::to_string(nameMax) + ": choose a shorter prefix or shorter run names");
      return;
    }
    if (folder.size() + 1 + name.size() >= PATH_MAX) {
      faults.push_back("output prefix " + study.prefix + ": the path of " + name + " is longer than the system allows (" +
                       std::to_string(PATH_MAX) + ")");
      return;
    }
  }
}

}  // namespace batch
