// Threads that run the library's code. Each holds the library loaded and
// counts in the object count until its last instruction has run, so that an
// unload can never pull the code from under it.
#pragma once
#include <windows.h>

// Starts `routine(parameter)` on a new thread. `thread`, when given, receives
// a handle the caller closes; otherwise the handle is closed here.
HRESULT StartModuleThread(LPTHREAD_START_ROUTINE routine, void* parameter, HANDLE* thread = nullptr);

// Waits for `handle` while dispatching the calling thread's messages, for a
// thread that owns windows (Explorer's own) and must not stop answering them.
DWORD WaitPumpingMessages(HANDLE handle, DWORD timeout = INFINITE);
