// Prints the fault matrix of moves into the module (PC -> module and
// module -> module; with "kill", the move whose server process ends
// half-way): for each case whether the move completed, and the totals of
// cases, bytes compared, losses, half-written files and set-aside files
// left behind.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/resource_module.h"
#include "common/result_codes.h"
#include "module_access/com_thread.h"
#include "tests/transfer/move_scenario.h"

namespace {

struct Totals {
    unsigned cases = 0;
    unsigned long long bytes = 0;
    unsigned losses = 0;
    unsigned halfWritten = 0;
    unsigned leftovers = 0;
    unsigned completed = 0;
};

const char* KindName(MoveKind kind) {
    return kind == MoveKind::PcToModule ? "PC->module" : "module->module";
}

void Run(MoveKind kind, const MoveFault& fault, const std::string& label, Totals* totals) {
    MoveOutcome outcome = RunMoveScenario(kind, fault);
    ++totals->cases;
    totals->bytes += outcome.bytesCompared;
    totals->losses += outcome.losses;
    totals->halfWritten += outcome.halfWritten;
    totals->leftovers += outcome.leftovers;
    if (outcome.complete) ++totals->completed;
    printf("%-15s %-34s %-10s losses %u half-written %u left %u%s%ls\n", KindName(kind),
           label.c_str(), outcome.complete ? "complete" : "kept", outcome.losses,
           outcome.halfWritten, outcome.leftovers, outcome.detail.empty() ? "" : " ",
           outcome.detail.c_str());
    fflush(stdout);
}

std::string Narrow(const wchar_t* text) {
    std::string out;
    for (; *text; ++text) out += static_cast<char>(*text);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    // "kill": only the case that ends the server process half-way. Wine keeps
    // the ended server's class registration until the prefix's wineserver
    // stops, so later clients in the prefix fail until then (about a minute
    // after the last program ends): run it on its own, last.
    const bool killOnly = argc > 1 && !strcmp(argv[1], "kill");
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    SelectResourceLanguage(false, GetModuleHandleW(nullptr));
    if (FAILED(EnterComThread())) return 1;
    const HRESULT broken = HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);
    Totals totals;
    for (MoveKind kind : {MoveKind::PcToModule, MoveKind::ModuleToModule}) {
        if (killOnly) break;
        MoveOutcome clean = RunMoveScenario(kind, MoveFault());
        Run(kind, MoveFault(), "clean", &totals);
        for (size_t i = 0; i < kMoveFaultOperationCount; ++i) {
            const wchar_t* operation = kMoveFaultOperations[i];
            unsigned calls = clean.calls[operation];
            for (unsigned k = 1; k <= calls; ++k) {
                MoveFault fault;
                fault.operation = operation;
                fault.call = k;
                fault.result = broken;
                Run(kind, fault, Narrow(operation) + " call " + std::to_string(k) + " fails",
                    &totals);
                if (!wcscmp(operation, L"Read") || !wcscmp(operation, L"CopyItem") ||
                    !wcscmp(operation, L"WriteFile")) {
                    fault.result = E_OPERATION_CANCELLED;
                    Run(kind, fault, Narrow(operation) + " call " + std::to_string(k) + " cancelled",
                        &totals);
                }
            }
        }
        for (unsigned k = 1; k <= clean.prompts; ++k) {
            for (INT_PTR answer : {static_cast<INT_PTR>(IDNO), static_cast<INT_PTR>(IDCANCEL)}) {
                MoveFault fault;
                fault.answerAt = k;
                fault.answer = answer;
                Run(kind, fault,
                    std::string(answer == IDNO ? "No" : "Cancel") + " at question " +
                        std::to_string(k),
                    &totals);
            }
        }
    }
    if (killOnly) {
        MoveFault kill;
        kill.killServer = true;
        Run(MoveKind::PcToModule, kill, "server process ended mid-write", &totals);
    }
    LeaveComThread();
    printf("\ncases run %u, completed %u, bytes compared %llu, losses = %u, half-written = %u, "
           "set-aside files left = %u\n",
           totals.cases, totals.completed, totals.bytes, totals.losses, totals.halfWritten,
           totals.leftovers);
    return totals.losses || totals.halfWritten ? 1 : 0;
}
