// Sizes, numbers, dates and item times as the user sees them, through the
// user's locale; and the lenient integer reading shared by the text formats.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

std::wstring FormatByteSize(uint64_t size);
std::wstring FormatNumber(int64_t value);
std::wstring FormatDateTime(double time, bool shortDate, bool noSeconds, bool dateOnly);

// "%04d/%02d/%02d" of year, month, day.
std::wstring FormatYmd(const SYSTEMTIME& date);
// Exactly ten characters, "/" at positions 4 and 7, year >= 0, month 1..12,
// day 1..31 (not checked against the month's length).
bool ParseYmd(const std::wstring& text, WORD* year, WORD* month, WORD* day);

// year/month/day/hour/minute/second/millisecond of the local time, unpadded.
std::wstring FormatItemTime(double time);
// False unless there are exactly seven fields; a time that does not convert reads as 0.
bool ParseItemTime(const std::wstring& text, double* time);

// Leading white space, an optional sign, then digits up to the first
// non-digit, looking at no more than the first 20 bytes of the ANSI form;
// no digits read as 0.
int64_t ReadLenientInteger(const wchar_t* text, size_t length);
int64_t ReadLenientInteger(const std::wstring& text);

std::wstring WindowText(HWND window);
void SetItemText(HWND dialog, int id, const wchar_t* text);

// The compact size pieces, before locale formatting: the value in hundredths
// of the unit, the unit's string id and the decimals shown.
struct ByteSizeParts {
    uint64_t hundredths;
    UINT unitStringId;
    int decimals;
};
ByteSizeParts SplitByteSize(uint64_t size);
