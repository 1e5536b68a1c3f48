// The error and note logs: rings of the last 10 messages, 200 bytes each
// (terminating zero included). Nothing shows them; the executable prints the
// error log when it ends.
#pragma once

#include <string>
#include <vector>

constexpr int kLogEntries = 10;
constexpr int kLogEntryBytes = 200;

// printf-style; a message longer than 199 characters is cut to fit.
void RecordError(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same into the note log, only while the debug level is not 0.
void RecordNote(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The entries recorded so far, oldest first (at most 10).
std::vector<std::string> ErrorLogEntries();
std::vector<std::string> NoteLogEntries();
// Errors recorded since the last ClearLogs, including those the ring has
// since dropped: the programs' exit status rests on it, not on the messages.
int ErrorCount();
// Empties both rings (start of a process or a test).
void ClearLogs();
