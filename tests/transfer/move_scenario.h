// One move into the module under one fault, and the check that nothing was
// lost: shared by the tests and by the full matrix under bench/.
//
// A PC move writes a nested tree and a loose file into \A:\Target, where an
// older copy of some of them already waits; a module move takes the same
// items from \A:\Src to \B:\Target. When the engine reports the move
// complete, the sources are removed the way their owners would (the PC
// files by the test, the module items by a silent delete). Afterwards every
// byte that existed before must exist: each source file at its source or at
// its target, each older target file there or replaced by its source, and
// nothing else under a final name.
#pragma once
#include <windows.h>

#include <map>
#include <string>

struct MoveFault {
    const wchar_t* operation = nullptr;   // a server operation, or null
    unsigned call = 0;                    // 1-based
    HRESULT result = S_OK;
    unsigned answerAt = 0;                // 1-based prompt that gets `answer`; 0: none
    INT_PTR answer = 0;
    // Ends the server process while the first files are written over a slow
    // link (the substitute this program started in its private prefix).
    bool killServer = false;
};

struct MoveOutcome {
    bool complete = false;       // the engine let the sources go
    unsigned losses = 0;         // files whose bytes exist nowhere
    unsigned halfWritten = 0;    // files under a final name holding other bytes
    unsigned leftovers = 0;      // set-aside files still there
    unsigned long long bytesCompared = 0;
    unsigned prompts = 0;
    std::wstring detail;         // what was lost, for the failure message
    std::map<std::wstring, unsigned> calls;   // server calls made by the move
};

enum class MoveKind { PcToModule, ModuleToModule };

// The operations a fault is injected into.
extern const wchar_t* const kMoveFaultOperations[];
extern const size_t kMoveFaultOperationCount;

// Sets the scene on a fresh copy of the sample module and a fresh PC folder,
// runs the move with the fault and checks. Questions not scripted by the
// fault are answered Yes, messages OK. Call inside EnterComThread.
MoveOutcome RunMoveScenario(MoveKind kind, const MoveFault& fault);
