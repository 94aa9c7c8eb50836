#include "transfer/progress_dialog.h"

#include <commctrl.h>

#include <climits>

#include "common/holders.h"
#include "common/resource_module.h"
#include "resources/transfer_ids.h"
#include "resources/string_ids.h"

TimeParts SplitSeconds(int seconds) {
    TimeParts parts;
    parts.hours = seconds / 3600;
    parts.minutes = (seconds - 3600 * parts.hours) / 60;
    parts.seconds = seconds - 60 * (parts.minutes + 60 * parts.hours);
    return parts;
}

UINT TimeRemainingStringId(const TimeParts& parts) {
    // Ordered by the singular choices: hour, minute, second as binary digits.
    static const UINT kIds[8] = {
        IDS_TIME_HOURS_MINUTES_SECONDS, IDS_TIME_HOURS_MINUTES_SECOND,
        IDS_TIME_HOURS_MINUTE_SECONDS,  IDS_TIME_HOURS_MINUTE_SECOND,
        IDS_TIME_HOUR_MINUTES_SECONDS,  IDS_TIME_HOUR_MINUTES_SECOND,
        IDS_TIME_HOUR_MINUTE_SECONDS,   IDS_TIME_HOUR_MINUTE_SECOND};
    int index = (parts.hours == 1 ? 4 : 0) | (parts.minutes == 1 ? 2 : 0) |
                (parts.seconds == 1 ? 1 : 0);
    return kIds[index];
}

std::wstring TimeRemainingText(int seconds) {
    TimeParts parts = SplitSeconds(seconds);
    return Resources().FormatString(TimeRemainingStringId(parts),
                                    {parts.hours, parts.minutes, parts.seconds});
}

uint64_t EffectiveDone(uint64_t done, uint64_t share, uint64_t size, uint64_t position) {
    if (size == 0) return done;
    return done + share * position / size;
}

int RemainingSeconds(uint64_t total, uint64_t done, DWORD elapsedMs) {
    uint64_t whole = total * elapsedMs / done;
    // More done than the total (a total of 0, files that grew while being
    // read) means nothing is left, never a negative time.
    if (whole <= elapsedMs) return 0;
    const uint64_t seconds = (whole - elapsedMs) / 1000;
    return seconds > INT_MAX ? INT_MAX : static_cast<int>(seconds);
}

int PercentDone(uint64_t total, uint64_t done) {
    return static_cast<int>(done * 100 / total);
}

namespace {

struct ModeLook {
    UINT title;
    UINT firstWhere;   // 0: line 103 starts empty
    UINT clip;
};

ModeLook LookOf(ProgressMode mode) {
    switch (mode) {
    case ProgressMode::Move: return {IDS_PROGRESS_MOVING, 0, IDR_AVI_COPY};
    case ProgressMode::Delete:
        return {IDS_PROGRESS_DELETING, IDS_PROGRESS_PREPARING_DELETE, IDR_AVI_DELETE};
    case ProgressMode::Copy:
    default: return {IDS_PROGRESS_COPYING, 0, IDR_AVI_COPY};
    }
}

DWORD* CancelFlagOf(HWND window) {
    return reinterpret_cast<DWORD*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void SetCancelFlag(HWND window) {
    if (DWORD* flag = CancelFlagOf(window)) *flag = 1;
}

}  // namespace

ProgressDialog::ProgressDialog(ProgressMode mode, uint64_t total, DWORD* cancelFlag,
                               TickSource ticks)
    : total_(total), ticks_(ticks ? ticks : &GetTickCount), start_(ticks_()) {
    UniqueHGlobal dialogTemplate(Resources().LoadDialogTemplate(IDD_PROGRESS));
    if (!dialogTemplate) return;
    window_ = CreateDialogIndirectParamW(Resources().module(),
                                         static_cast<LPCDLGTEMPLATEW>(dialogTemplate.get()),
                                         nullptr, &ProgressDialog::DialogProc,
                                         reinterpret_cast<LPARAM>(cancelFlag));
    if (!window_) return;

    ModeLook look = LookOf(mode);
    SetWindowTextW(window_, Resources().LoadString(look.title).c_str());
    if (look.firstWhere)
        SetDlgItemTextW(window_, IDC_PROGRESS_WHERE,
                        Resources().LoadString(look.firstWhere).c_str());
    HWND animation = GetDlgItem(window_, IDC_PROGRESS_ANIMATION);
    if (animation &&
        SendMessageW(animation, ACM_OPENW, reinterpret_cast<WPARAM>(Resources().module()),
                     reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(look.clip))))
        SendMessageW(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
    bar_ = GetDlgItem(window_, IDC_PROGRESS_BAR);
    timeText_ = GetDlgItem(window_, IDC_PROGRESS_TIME);
}

ProgressDialog::~ProgressDialog() { Close(); }

void ProgressDialog::SetLines(const std::wstring& item, const std::wstring& where) {
    if (!window_) return;
    SetDlgItemTextW(window_, IDC_PROGRESS_ITEM, item.c_str());
    SetDlgItemTextW(window_, IDC_PROGRESS_WHERE, where.c_str());
}

void ProgressDialog::Add(uint64_t amount) {
    done_ += amount;
    Refresh(0, 0, 0);
}

void ProgressDialog::Refresh(uint64_t share, uint64_t size, uint64_t position) {
    uint64_t done = EffectiveDone(done_, share, size, position);
    if (bar_ && total_ != 0) SendMessageW(bar_, PBM_SETPOS, PercentDone(total_, done), 0);
    if (timeText_ && done != 0) {
        DWORD elapsed = ticks_() - start_;
        std::wstring text = TimeRemainingText(RemainingSeconds(total_, done, elapsed));
        // The text changes about once a second; redrawing it every 4 KB would
        // cost more than the reading.
        if (text != timeShown_) {
            SetWindowTextW(timeText_, text.c_str());
            timeShown_.swap(text);
        }
    }
}

void ProgressDialog::Close() {
    if (window_) DestroyWindow(window_);
    window_ = bar_ = timeText_ = nullptr;
}

INT_PTR CALLBACK ProgressDialog::DialogProc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(window, GWLP_USERDATA, lp);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDCANCEL) SetCancelFlag(window);
        return TRUE;
    case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) == SC_CLOSE) {
            SetCancelFlag(window);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        // The operation closes the dialog when it has stopped.
        SetCancelFlag(window);
        return TRUE;
    default:
        return FALSE;
    }
}
