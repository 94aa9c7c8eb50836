// The modeless progress dialog of long file operations: animation, two text
// lines, a bar and the estimated time remaining. It never stops anything
// itself; Cancel only sets the operation's cancel flag.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "common/com_object.h"

enum class ProgressMode { Copy = 0, Move = 1, Delete = 2 };

// The estimate, apart from any window, so that it can be checked directly.
struct TimeParts {
    int hours;
    int minutes;
    int seconds;
};
TimeParts SplitSeconds(int seconds);
// Each part takes the singular form only when it is exactly 1.
UINT TimeRemainingStringId(const TimeParts& parts);
std::wstring TimeRemainingText(int seconds);
// What counts as done: whole amounts plus a stream's share of its progress.
uint64_t EffectiveDone(uint64_t done, uint64_t share, uint64_t size, uint64_t position);
// Whole seconds left when `done` of `total` took `elapsedMs`, never below 0;
// done must not be 0.
int RemainingSeconds(uint64_t total, uint64_t done, DWORD elapsedMs);
// The bar's position, 0..100 (total must not be 0).
int PercentDone(uint64_t total, uint64_t done);

// Where the dialog reads the time; tests replace it to make the clock move.
using TickSource = DWORD(WINAPI*)();

class ProgressDialog {
public:
    // Creates the dialog, visible and without owner. When the template or the
    // window cannot be had, the object still works and shows nothing.
    ProgressDialog(ProgressMode mode, uint64_t total, DWORD* cancelFlag,
                   TickSource ticks = nullptr);
    ~ProgressDialog();
    ProgressDialog(const ProgressDialog&) = delete;
    ProgressDialog& operator=(const ProgressDialog&) = delete;

    // Owner for the operation's own message boxes and dialogs; may be null.
    HWND window() const { return window_; }
    uint64_t total() const { return total_; }
    uint64_t done() const { return done_; }
    // The dialog's clock, so that what paces its refreshes runs on the same time.
    DWORD Now() const { return ticks_(); }

    // Lines 102 and 103.
    void SetLines(const std::wstring& item, const std::wstring& where);
    void Add(uint64_t amount);
    // A stream standing for `share` of the total has handed out `position`
    // of its `size` bytes.
    void Refresh(uint64_t share, uint64_t size, uint64_t position);
    void Close();

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wp, LPARAM lp);

    // The dialog's procedure is the library's code: it holds the library.
    ModuleObjectLifetime lifetime_;
    HWND window_ = nullptr;
    HWND bar_ = nullptr;
    HWND timeText_ = nullptr;
    std::wstring timeShown_;
    uint64_t total_;
    uint64_t done_ = 0;
    TickSource ticks_;
    DWORD start_;
};
