// The main window: its procedure, its creation, commands, timer and shut-down.
#pragma once
#include <windows.h>

const UINT kMainTimerId = 1;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int RegisterMainWindowClass(HINSTANCE instance);
HWND CreateMainWindow(HINSTANCE instance);

int OnMainWindowCreate(HWND window);
void OnMainWindowSize(HWND window, UINT type, int width, int height);
void OnMainWindowMove(HWND window);
void OnMainWindowClose(HWND window);
LRESULT OnMainWindowCopyData(HWND window, const COPYDATASTRUCT *block);
// 1 when the command is the main window's, 0 to leave it to DefWindowProc.
int OnMainCommand(HWND window, int id);
void OnMainTimer(HWND window, UINT_PTR timerId);
// Stops the jobs and saves at once; the window and the table go once no other handler of the
// window runs below this one (OnMainHandlersReturned then finishes). Runs once.
void ShutDownMainWindow(HWND window);
// An Exit that came while a dialog, a message box or a job's stop ran below it: carried out
// by OnMainHandlersReturned.
void WaitWithExit(HWND window);
// Called when the outermost call of the window procedure returns.
void OnMainHandlersReturned(HWND window);
void SetMainWindowTitle(HWND window);
void ClampRectToScreen(int *x, int *y);

// Takes the head of the run queue off it and starts that configuration when it is enabled and
// not running (the timer calls it while no job runs); asks for the exit when the program was
// told to exit once the queue is empty and nothing runs.
void TakeNextQueuedRun(HWND window);
// WM_COMMANDLINE: applies the switches, then takes a queued run at once when no job runs.
void OnMainWindowCommandLine(HWND window, int handedOver, const char *text);

// Shut-down steps, recorded in order when a test asks for it.
typedef void (*ShutDownStepObserver)(const char *step);
void SetShutDownStepObserver(ShutDownStepObserver observer);
