#include "batch/progress.h"

#include <cstdio>
#include <iostream>
#include <sstream>

#include "model/runentry.h"

namespace batch {

namespace {

using Clock = std::chrono::steady_clock;

double SECONDS(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

std::string STATUS(const Progress& p, Clock::time_point now) {
  std::ostringstream line;
  // The iteration is one past the last once the run is over.
  const RunPosition at = RUNPOSITION();
  const std::int64_t iteration = at.iter < 1 ? 1 : (at.iter > p.jobIters ? p.jobIters : at.iter);
  line << "run " << p.job << " of " << p.jobs << " (" << p.name << "), iteration " << iteration
       << " of " << p.jobIters;
  const double jobTime = SECONDS(p.jobStart, now);
  if (jobTime > 0.0 && p.jobGens > 0) {
    line << ", " << static_cast<std::int64_t>(static_cast<double>(p.jobGens) / jobTime)
         << " generations/s";
  }
  // Iterations done, with the one under way counted by its generations.
  double done = static_cast<double>(p.doneIters);
  if (at.genLimit > 0 && at.iter >= 1 && at.iter <= p.jobIters && at.going) {
    done += static_cast<double>(at.gen) / static_cast<double>(at.genLimit);
  }
  const double elapsed = SECONDS(p.start, now);
  if (done > 0.0 && p.totalIters > 0) {
    const double left = elapsed * (static_cast<double>(p.totalIters) - done) / done;
    line << ", about " << CLOCKTEXT(left) << " left";
  }
  return line.str();
}

void DRAW(Progress& p) {
  const Clock::time_point now = Clock::now();
  p.lastDraw = now;
  std::cerr << "\r\033[K" << STATUS(p, now) << std::flush;
}

}  // namespace

std::string CLOCKTEXT(double seconds) {
  if (seconds < 0.0) seconds = 0.0;
  const auto total = static_cast<std::int64_t>(seconds + 0.5);
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(total / 3600),
                  static_cast<long long>(total / 60 % 60), static_cast<long long>(total % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(total / 60),
                  static_cast<long long>(total % 60));
  }
  return text;
}

void PROGSTART(Progress& p, std::size_t jobs, std::int64_t totalIters, bool terminal) {
  p.on = true;
  p.terminal = terminal;
  p.jobs = jobs;
  p.totalIters = totalIters;
  p.doneIters = 0;
  p.start = Clock::now();
}

void PROGJOB(Progress& p, std::size_t job, const std::string& name, std::int64_t iters) {
  p.job = job;
  p.name = name;
  p.jobIters = iters;
  p.jobGens = 0;
  p.sinceLook = 0;
  p.jobStart = Clock::now();
  if (p.terminal) DRAW(p);
}

void PROGGEN(Progress& p) {
  ++p.jobGens;
  // Looking at the clock every generation would cost more than a small
  // generation itself.
  if (++p.sinceLook < 256) return;
  p.sinceLook = 0;
  if (p.terminal && SECONDS(p.lastDraw, Clock::now()) >= 0.2) DRAW(p);
}

void PROGITER(Progress& p) {
  ++p.doneIters;
  if (p.terminal && SECONDS(p.lastDraw, Clock::now()) >= 0.2) DRAW(p);
}

void PROGJOBDONE(Progress& p) {
  if (p.terminal) {
    DRAW(p);
    return;
  }
  const Clock::time_point now = Clock::now();
  const double jobTime = SECONDS(p.jobStart, now);
  std::ostringstream line;
  line << "run " << p.job << " of " << p.jobs << " (" << p.name << "): " << p.jobIters
       << " iteration" << (p.jobIters == 1 ? "" : "s") << ", " << p.jobGens << " generations in ";
  if (jobTime < 60.0) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", jobTime);
    line << text;
  } else {
    line << CLOCKTEXT(jobTime);
  }
  if (jobTime > 0.0) {
    line << ", " << static_cast<std::int64_t>(static_cast<double>(p.jobGens) / jobTime)
         << " generations/s";
  }
  const double elapsed = SECONDS(p.start, now);
  if (p.doneIters > 0 && p.totalIters > p.doneIters) {
    const double left = elapsed * static_cast<double>(p.totalIters - p.doneIters) /
                        static_cast<double>(p.doneIters);
    line << ", about " << CLOCKTEXT(left) << " left";
  }
  std::cerr << line.str() << std::endl;
}

void PROGEND(Progress& p) {
  if (p.on && p.terminal) std::cerr << std::endl;
}

}  // namespace batch
