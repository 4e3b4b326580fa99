// PREFIX.traj.csv: the state of the population every K generations of every
// iteration, sampled through the driver's generation hook. Nothing is
// sampled, and no hook is installed, unless a trajectory is asked for.
#ifndef DUOLOCUS_BATCH_TRAJECTORY_H
#define DUOLOCUS_BATCH_TRAJECTORY_H

#include <cstdint>
#include <fstream>
#include <string>

namespace batch {

struct Trajectory {
  std::int64_t every = 0;  // K; 0 when off
  std::ofstream file;
  std::string name;
  std::string error;  // why the file could not be written ("" while it could)
};

// The column names, one line.
extern const char* const TRAJHEADER;

// Opens the file and writes the header; false with error set when it cannot.
bool TRAJOPEN(Trajectory& t, const std::string& name);
// Called after every generation: writes a row at every K-th generation and
// at the last generation of the iteration.
void TRAJSAMPLE(Trajectory& t);
// Notes a failed write, with its reason.
void TRAJCHECK(Trajectory& t);
// Closes the file; false when anything could not be written.
bool TRAJCLOSE(Trajectory& t);

}  // namespace batch

#endif
