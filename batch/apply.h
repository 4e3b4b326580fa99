// Puts the settings of a job into the program, field by field as the
// editors of the settings screen would, and runs the start checks.
#ifndef DUOLOCUS_BATCH_APPLY_H
#define DUOLOCUS_BATCH_APPLY_H

#include <string>
#include <vector>

#include "batch/keys.h"

namespace batch {

// The fields of the settings screen, each set by one editor, in the order a
// typed session visits them (founders first: the migration editor checks
// the number of immigrants against the population).
enum class Field { Founders, Migration, Fitness, Mutation, Linkage, Fertilization, Mating,
                   Tracking, Stopping, Fixation, Iterations, Generations };
const std::vector<Field>& FIELDORDER();

// Whether the job gives any key of the field.
bool GIVES(const SettingMap& settings, Field field);

// Sets one field from the settings (defaults for the keys not given) with
// everything its editor derives. Appends a message for each combination the
// editor would refuse.
void APPLYFIELD(const SettingMap& settings, Field field, std::vector<std::string>& faults);

// A fresh program with the defaults, then every field of the job. Returns
// false with the messages of what the editors or the start checks refuse.
bool APPLYSETTINGS(const SettingMap& settings, std::vector<std::string>& faults);

// The start checks of the settings screen on the current settings; one
// message for each that fails.
std::vector<std::string> STARTFAULTS();

}  // namespace batch

#endif
