// The item time value: an OLE Automation date in local time, 0 = unknown.
// Every conversion of it goes through here.
#pragma once
#include <windows.h>

bool TimeToFileTime(double time, FILETIME* utc);
bool FileTimeToTime(const FILETIME& utc, double* time);
bool TimeToLocalSystemTime(double time, SYSTEMTIME* local);
bool LocalSystemTimeToTime(const SYSTEMTIME& local, double* time);
