// The console session that makes the same run: every answer the console
// program asks for, in order, typed from the settings of a job. Running the
// console program on it writes the same two files as the batch program.
#ifndef DUOLOCUS_BATCH_SESSION_H
#define DUOLOCUS_BATCH_SESSION_H

#include <cstdint>
#include <string>

#include "model/catalogue.h"

namespace batch {

// The typed session for the settings (biology-level keys translated first,
// as APPLYSETTINGS does), prefix and seed, one answer a line, ending with N
// to the run-again question. Works on the program's settings (it leaves
// them as the job sets them). Returns false with the reason when the
// console would refuse to start such a run.
bool CONSOLESESSION(const SettingMap& settings, const std::string& prefix, std::uint32_t seed,
                    std::string& session, std::string& fault);

}  // namespace batch

#endif
