// The settings of a run, field by field, put into the program as the
// editors of the settings screen would put them: the machinery behind
// APPLYSETTINGS (model/catalogue.h), shared by every front end and by the
// typed console session duolocus-batch prints.
#ifndef DUOLOCUS_MODEL_FIELDS_H
#define DUOLOCUS_MODEL_FIELDS_H

#include <string>
#include <vector>

#include "model/catalogue.h"

// The fields of the settings screen, each set by one editor, in the order a
// typed session visits them (founders first: the migration editor checks
// the number of immigrants against the population).
enum class Field { Founders, Migration, Fitness, Mutation, Linkage, Fertilization, Mating,
                   Tracking, Stopping, Fixation, Iterations, Generations };
const std::vector<Field>& FIELDORDER();

// Whether the settings give any key of the field.
bool GIVES(const SettingMap& settings, Field field);

// Sets one field from the settings with everything its editor derives.
// Keys left out: founders and immigrant shares count 0 once any of their
// table is given; every other key keeps what the program holds. Appends a
// message for each combination the editor would refuse.
void APPLYFIELD(const SettingMap& settings, Field field, std::vector<std::string>& faults);

// The start checks of the settings screen on the current settings; one
// message for each that fails.
std::vector<std::string> STARTFAULTS();

// The value of key in settings, or null.
const SettingValue* SETTING(const SettingMap& settings, const std::string& key);

#endif
