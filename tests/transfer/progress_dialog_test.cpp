#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include "common/formatting.h"
#include "common/resource_module.h"
#include "resources/transfer_ids.h"
#include "resources/string_ids.h"
#include "transfer/progress_dialog.h"

namespace {

DWORD g_now = 0;
DWORD WINAPI FakeTicks() { return g_now; }

std::wstring TimeText(const ProgressDialog& dialog) {
    return WindowText(GetDlgItem(dialog.window(), IDC_PROGRESS_TIME));
}

int BarPosition(const ProgressDialog& dialog) {
    return static_cast<int>(
        SendMessageW(GetDlgItem(dialog.window(), IDC_PROGRESS_BAR), PBM_GETPOS, 0, 0));
}

bool English() { return Resources().language() != kLangGerman; }

}  // namespace

TEST(TimeRemaining, SplitsSecondsAndTakesTheSingularOnlyForOne) {
    struct Case {
        int seconds;
        int h, m, s;
        UINT id;
    };
    const Case cases[] = {
        {3661, 1, 1, 1, IDS_TIME_HOUR_MINUTE_SECOND},
        {7322, 2, 2, 2, IDS_TIME_HOURS_MINUTES_SECONDS},
        {59, 0, 0, 59, IDS_TIME_HOURS_MINUTES_SECONDS},
        {3600, 1, 0, 0, IDS_TIME_HOUR_MINUTES_SECONDS},
        {1, 0, 0, 1, IDS_TIME_HOURS_MINUTES_SECOND},
        {60, 0, 1, 0, IDS_TIME_HOURS_MINUTE_SECONDS},
        {61, 0, 1, 1, IDS_TIME_HOURS_MINUTE_SECOND},
        {3601, 1, 0, 1, IDS_TIME_HOUR_MINUTES_SECOND},
        {3660, 1, 1, 0, IDS_TIME_HOUR_MINUTE_SECONDS},
        {0, 0, 0, 0, IDS_TIME_HOURS_MINUTES_SECONDS},
        {90061, 25, 1, 1, IDS_TIME_HOURS_MINUTE_SECOND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        TimeParts parts = SplitSeconds(c.seconds);
        EXPECT_EQ(c.h, parts.hours);
        EXPECT_EQ(c.m, parts.minutes);
        EXPECT_EQ(c.s, parts.seconds);
        EXPECT_EQ(c.id, TimeRemainingStringId(parts));
    }
}

TEST(TimeRemaining, TextShowsEveryPartZeroIncluded) {
    EXPECT_EQ(Resources().FormatString(IDS_TIME_HOURS_MINUTES_SECONDS, {0, 0, 59}),
              TimeRemainingText(59));
    EXPECT_FALSE(TimeRemainingText(59).empty());
    if (English()) {
        EXPECT_EQ(L"Time remaining: 1 hour 1 minute 1 second", TimeRemainingText(3661));
        EXPECT_EQ(L"Time remaining: 2 hours 2 minutes 2 seconds", TimeRemainingText(7322));
        EXPECT_EQ(L"Time remaining: 0 hours 0 minutes 59 seconds", TimeRemainingText(59));
        EXPECT_EQ(L"Time remaining: 1 hour 0 minutes 0 seconds", TimeRemainingText(3600));
    }
}

TEST(TimeRemaining, EstimateFromDoneAndElapsed) {
    EXPECT_EQ(3661, RemainingSeconds(2, 1, 3661000));
    EXPECT_EQ(0, RemainingSeconds(5, 5, 123456));
    // Nine tenths done after 9 s: one second left; truncated, not rounded.
    EXPECT_EQ(1, RemainingSeconds(10, 9, 9000));
    EXPECT_EQ(0, RemainingSeconds(10, 9, 8999));
    // Large byte totals must not overflow the estimate.
    EXPECT_EQ(100, RemainingSeconds(4000000000ull * 2, 4000000000ull, 100000));

    EXPECT_EQ(7u, EffectiveDone(7, 100, 0, 50));
    EXPECT_EQ(57u, EffectiveDone(7, 100, 200, 100));
    EXPECT_EQ(7u + 4096 * 3, EffectiveDone(7, 4096ull * 4, 4096ull * 4 * 1000, 4096ull * 3 * 1000));
    EXPECT_EQ(33, PercentDone(3, 1));
    EXPECT_EQ(100, PercentDone(3, 3));
}

TEST(ProgressDialog, ModesSetTitleAndFirstLines) {
    DWORD cancel = 0;
    ProgressDialog copy(ProgressMode::Copy, 10, &cancel);
    ASSERT_TRUE(copy.window());
    EXPECT_TRUE(IsWindowVisible(copy.window()));
    EXPECT_EQ(nullptr, GetWindow(copy.window(), GW_OWNER));
    EXPECT_EQ(Resources().LoadString(IDS_PROGRESS_COPYING), WindowText(copy.window()));
    EXPECT_EQ(L"", WindowText(GetDlgItem(copy.window(), IDC_PROGRESS_WHERE)));

    ProgressDialog move(ProgressMode::Move, 10, &cancel);
    EXPECT_EQ(Resources().LoadString(IDS_PROGRESS_MOVING), WindowText(move.window()));

    ProgressDialog erase(ProgressMode::Delete, 10, &cancel);
    EXPECT_EQ(Resources().LoadString(IDS_PROGRESS_DELETING), WindowText(erase.window()));
    EXPECT_EQ(Resources().LoadString(IDS_PROGRESS_PREPARING_DELETE),
              WindowText(GetDlgItem(erase.window(), IDC_PROGRESS_WHERE)));
    if (English()) {
        EXPECT_EQ(L"Deleting...", WindowText(erase.window()));
    }

    erase.SetLines(L"Photo.jpg", L"from 'Data'");
    EXPECT_EQ(L"Photo.jpg", WindowText(GetDlgItem(erase.window(), IDC_PROGRESS_ITEM)));
    EXPECT_EQ(L"from 'Data'", WindowText(GetDlgItem(erase.window(), IDC_PROGRESS_WHERE)));
}

TEST(ProgressDialog, BothClipsOpenInTheAnimationControl) {
    for (UINT clip : {IDR_AVI_DELETE, IDR_AVI_COPY}) {
        HWND animation = CreateWindowExW(0, ANIMATE_CLASSW, L"", WS_POPUP, 0, 0, 10, 10, nullptr,
                                         nullptr, nullptr, nullptr);
        ASSERT_TRUE(animation);
        EXPECT_TRUE(SendMessageW(animation, ACM_OPENW,
                                 reinterpret_cast<WPARAM>(Resources().module()),
                                 reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(clip))))
            << clip;
        EXPECT_TRUE(SendMessageW(animation, ACM_PLAY, static_cast<WPARAM>(-1),
                                 MAKELPARAM(0, 0xFFFF)));
        DestroyWindow(animation);
    }
}

TEST(ProgressDialog, TimeTextFollowsTheTickSource) {
    struct Case {
        DWORD elapsedSeconds;
        UINT id;
        int h, m, s;
    };
    const Case cases[] = {{3661, IDS_TIME_HOUR_MINUTE_SECOND, 1, 1, 1},
                          {7322, IDS_TIME_HOURS_MINUTES_SECONDS, 2, 2, 2},
                          {59, IDS_TIME_HOURS_MINUTES_SECONDS, 0, 0, 59},
                          {3600, IDS_TIME_HOUR_MINUTES_SECONDS, 1, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.elapsedSeconds);
        DWORD cancel = 0;
        // Start just before the tick count wraps around.
        g_now = 0xFFFFF000u;
        ProgressDialog dialog(ProgressMode::Copy, 2, &cancel, &FakeTicks);
        g_now += c.elapsedSeconds * 1000;   // half done: as long again to go
        dialog.Add(1);
        EXPECT_EQ(Resources().FormatString(c.id, {c.h, c.m, c.s}), TimeText(dialog));
        EXPECT_EQ(50, BarPosition(dialog));
    }
}

TEST(ProgressDialog, NothingDoneLeavesTheTimeEmptyAndTotalZeroLeavesTheBar) {
    DWORD cancel = 0;
    g_now = 5000;
    ProgressDialog dialog(ProgressMode::Copy, 1000, &cancel, &FakeTicks);
    g_now += 60000;
    dialog.Refresh(0, 0, 0);
    dialog.Refresh(500, 500, 0);
    EXPECT_EQ(L"", TimeText(dialog));
    EXPECT_EQ(0, BarPosition(dialog));

    ProgressDialog empty(ProgressMode::Delete, 0, &cancel, &FakeTicks);
    g_now += 12000;
    empty.Add(1);
    EXPECT_EQ(0, BarPosition(empty));
    EXPECT_FALSE(TimeText(empty).empty());
}

TEST(ProgressDialog, CancelCloseAndSystemCloseOnlySetTheFlag) {
    DWORD cancel = 0;
    ProgressDialog dialog(ProgressMode::Copy, 10, &cancel);
    HWND window = dialog.window();
    ASSERT_TRUE(window);

    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, IDCANCEL)));
    EXPECT_EQ(1u, cancel);
    cancel = 0;
    SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(1u, cancel);
    cancel = 0;
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(1u, cancel);
    EXPECT_TRUE(IsWindow(window));

    dialog.Close();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, dialog.window());
}

TEST(ProgressDialog, WithoutItsTemplateItShowsNothingAndKeepsCounting) {
    ResourceModule saved = Resources();
    Resources().Set(GetModuleHandleW(L"kernel32.dll"), saved.language());
    DWORD cancel = 0;
    {
        ProgressDialog dialog(ProgressMode::Delete, 3, &cancel);
        Resources() = saved;
        EXPECT_EQ(nullptr, dialog.window());
        dialog.SetLines(L"a", L"b");
        dialog.Add(2);
        dialog.Refresh(1, 10, 5);
        EXPECT_EQ(2u, dialog.done());
    }
    Resources() = saved;
}
