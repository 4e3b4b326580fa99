// The two output files of a run: opening them, and noticing when they could
// not be written completely. The reports write a line at a time and never
// look at the streams; the driver looks after every iteration and at the
// close, so a full disk or a broken file is never reported as success.
#ifndef DUOLOCUS_REPORT_FILES_H
#define DUOLOCUS_REPORT_FILES_H

#include <cstdint>
#include <fstream>
#include <string>

// Opens os on name for output alone (created, or emptied). A name holding a
// zero byte names no file the system can take (it would be cut at that
// byte, and both files of a prefix would land on one), so it fails.
bool OPENFILE(std::ofstream& os, const std::string& name);

// Opens both files of the run, datanm and sumnm; false when either cannot
// be opened, with its name in failed and the system's reason in
// openError, and nothing left open.
bool OPENRUNFILES(std::string& failed);
extern std::string openError;

// Files kept in memory: while on, OPENRUNFILES points both streams at
// string buffers instead of opening files, and CLOSEFILES detaches them.
// For a front end that wants the bytes and no file on disk.
void MEMORYFILES(bool on);
// What the streams held in memory (both "" unless MEMORYFILES is on).
std::string MEMORYDATA();
std::string MEMORYSUM();

// The files of the report as at program start: closed, no failure noted.
void RESETREPORT();

// Forgets the failures of an earlier run; called when a run's files open.
void FILESOPENED();
// Notes the first failure of each stream since the files were opened, with
// its reason. Called right after writing, while errno still tells why.
void CHECKFILES();
// Closes both files, counting a failed close (the last lines are written
// then) as a failure of its file.
void CLOSEFILES();
// Why each file of this run could not be written ("" while it could).
extern std::string dataError;
extern std::string sumError;
// Writes the console message of each file of this run that failed.
void REPORTFILES();

// Set once any file of any run failed; the program then ends with status 1.
extern std::int32_t fileFailed;
// Exit status of the program: 1 when a file failed, else 0.
int EXITSTATUS();

#endif
