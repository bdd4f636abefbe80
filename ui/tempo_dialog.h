#pragma once

#include <stdint.h>

#include "winapi/zorv_windows.h"

// Resource identifier of the dialog template.
constexpr int32_t TempoDialogId = 20128;

INT_PTR CALLBACK TempoDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

void InitTempoDialog(HWND dialog);
void UpdateRemoveButton(HWND dialog);
int ReadTempoDialog(HWND dialog);
void ReportOutOfRange(HWND dialog, bool startFailed);
void ReportRemovedCount(HWND dialog, uint32_t count);
void SaveDialogPosition(HWND dialog, int16_t* left, int16_t* top);
void RestoreDialogPosition(HWND dialog, const int16_t* left, const int16_t* top);
