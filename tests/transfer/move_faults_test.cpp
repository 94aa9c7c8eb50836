// A slice of the fault matrix (bench/paste_faults prints the whole): moves
// into the module that fail at one server call, are answered No or Cancel,
// or are cancelled while a file is written, lose nothing and leave nothing
// half-written.
#include <windows.h>
#include <gtest/gtest.h>

#include "common/result_codes.h"
#include "module_access/com_thread.h"
#include "resources/transfer_ids.h"
#include "tests/transfer/move_scenario.h"

TEST(NothingLost, MovesUnderFaults) {
    ComThreadScope com;
    ASSERT_TRUE(com.ok());
    const HRESULT broken = HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);
    struct Case {
        const char* name;
        MoveKind kind;
        MoveFault fault;
        bool complete;
        unsigned leftovers;
    };
    const Case cases[] = {
        {"PC clean", MoveKind::PcToModule, {}, true, 0},
        {"module clean", MoveKind::ModuleToModule, {}, true, 0},
        {"PC third write", MoveKind::PcToModule, {L"WriteFile", 3, broken}, false, 0},
        {"PC replacing write", MoveKind::PcToModule, {L"WriteFile", 2, broken}, false, 0},
        {"PC nested folder", MoveKind::PcToModule, {L"CreateFolder", 2, broken}, false, 0},
        {"PC cancelled write", MoveKind::PcToModule, {L"WriteFile", 4, E_OPERATION_CANCELLED},
         false, 0},
        {"PC setting aside", MoveKind::PcToModule, {L"RenameFile", 1, broken}, false, 0},
        {"PC old copy stays", MoveKind::PcToModule, {L"DeleteFile", 1, broken}, true, 1},
        {"module second copy", MoveKind::ModuleToModule, {L"CopyItem", 2, broken}, false, 0},
        {"module listing", MoveKind::ModuleToModule, {L"ListFolder", 6, broken}, false, 0},
        {"module cancelled copy", MoveKind::ModuleToModule,
         {L"CopyItem", 4, E_OPERATION_CANCELLED}, false, 0},
        {"No to the folder", MoveKind::PcToModule, {nullptr, 0, S_OK, 1, IDNO}, false, 0},
        {"No to moving the read-only file", MoveKind::PcToModule, {nullptr, 0, S_OK, 2, IDNO},
         false, 0},
        {"Cancel at the folder", MoveKind::ModuleToModule, {nullptr, 0, S_OK, 1, IDCANCEL}, false,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MoveOutcome outcome = RunMoveScenario(c.kind, c.fault);
        EXPECT_EQ(0u, outcome.losses) << testing::PrintToString(outcome.detail);
        EXPECT_EQ(0u, outcome.halfWritten) << testing::PrintToString(outcome.detail);
        EXPECT_EQ(c.complete, outcome.complete);
        EXPECT_EQ(c.leftovers, outcome.leftovers);
        EXPECT_GT(outcome.bytesCompared, 0u);
        if (!c.fault.operation && !c.fault.answerAt) {
            EXPECT_EQ(3u, outcome.prompts);
        }
    }
}
