// Headless user-interface stand-ins: message boxes and window texts.
//
// There is no desktop here. A message box writes "caption: text" to stderr
// and to the hook (the log, usually), then answers with the box's default
// button at once, so code that asks the user never blocks a server thread.
// Window texts live in a process-wide table keyed by the window handle,
// which lets dialog-style code keep its shape and its tests see the text.
// All functions are thread-safe.
#pragma once

#include "base/platform/WinTypes.h"

// Button sets (low 4 bits).
constexpr UINT MB_OK = 0x00000000u;
constexpr UINT MB_OKCANCEL = 0x00000001u;
constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002u;
constexpr UINT MB_YESNOCANCEL = 0x00000003u;
constexpr UINT MB_YESNO = 0x00000004u;
constexpr UINT MB_RETRYCANCEL = 0x00000005u;
constexpr UINT MB_TYPEMASK = 0x0000000Fu;
// Icons.
constexpr UINT MB_ICONHAND = 0x00000010u;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x00000020u;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030u;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONASTERISK = 0x00000040u;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
// Default button.
constexpr UINT MB_DEFBUTTON1 = 0x00000000u;
constexpr UINT MB_DEFBUTTON2 = 0x00000100u;
constexpr UINT MB_DEFBUTTON3 = 0x00000200u;
constexpr UINT MB_DEFMASK = 0x00000F00u;
// Modality (accepted and ignored).
constexpr UINT MB_APPLMODAL = 0x00000000u;
constexpr UINT MB_SYSTEMMODAL = 0x00001000u;
constexpr UINT MB_TASKMODAL = 0x00002000u;
constexpr UINT MB_HELP = 0x00004000u;

// Answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows (logs) the box and returns its default button: the first button
// of the set unless MB_DEFBUTTON2/3 pick another. A null caption uses the
// default caption.
int KvMessageBox(const char* text, const char* caption, UINT style);
// Receives every box as "caption: text" (null: none). Called on the
// thread that shows the box.
void KvSetMessageBoxHook(void (*hook)(const char* text));
// The caption used when a box names none ("KvProxy" unless set).
void KvSetMessageBoxCaption(const char* caption);

// Window text stand-ins. KvGetWindowText copies at most max - 1 bytes and
// a terminator into buf and returns the count (0 for an unknown window).
int KvGetWindowText(HWND wnd, char* buf, int max);
int KvGetWindowTextLength(HWND wnd);
bool KvSetWindowText(HWND wnd, const char* text);
// Forgets the window's text (when the window goes away).
void KvForgetWindowText(HWND wnd);
