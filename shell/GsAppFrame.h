#pragma once

#include <windows.h>

// Length of every path buffer of the program: MAX_PATH, 259 characters and the NUL.
constexpr int GS_PATH_SIZE = 260;

// The framework's application object: keeps the start-up values and the program's directory,
// and offers a generic run sequence with a message loop. A program defines exactly one, with
// static storage duration, before any other framework object (see shell/WinMain.cpp); its
// constructor makes it the frame that g_pAppFrame points to.
class CGsAppFrame
{
public:
    // Sets g_pAppFrame to this object, zero-fills the fields, seeds rand() with the time and
    // initialises the common controls.
    CGsAppFrame();
    virtual ~CGsAppFrame();
    CGsAppFrame(const CGsAppFrame&) = delete;
    CGsAppFrame& operator=(const CGsAppFrame&) = delete;

    // Starts the application's work; nonzero means success. Default: 1, nothing else.
    virtual int OnStart();
    // Ends the work and gives the exit code. Default: 0.
    virtual int OnExit();
    // The whole life of the application; the result is the process exit code. Default:
    // Prepare, OnStart (result ignored), a message loop until WM_QUIT, then OnExit.
    virtual int Run(HINSTANCE instanceHandle, HINSTANCE previousInstance, LPSTR commandText,
                    int show);

    // Stores the four start-up values, then fills `directory` from the module's file name or,
    // failing that, from the current directory. 1 when `directory` was filled, 0 when neither
    // source gave a usable folder, or the module's folder has no exact ANSI name (then
    // `directory` is empty).
    int Prepare(HINSTANCE instanceHandle, HINSTANCE previousInstance, LPSTR commandText, int show);

    // Writes the folder of the module `instance` into `buffer` (`size` bytes), without a
    // trailing backslash. 1 on success. 0 when the module name cannot be read, does not fit
    // into `size` bytes, or holds no backslash after its first character; the buffer then
    // holds whatever was read (NUL-terminated when size > 0; empty when it did not fit).
    // -1, with the buffer empty, when the ANSI code page cannot carry the name exactly.
    int GetModuleDirectory(char* buffer, int size);

    // One GetMessageA for Run's loop: > 0 for a message, 0 for WM_QUIT, -1 on failure.
    // Overridable so that a failing message source can be shown to end the loop.
    virtual int FetchMessage(MSG* message);

    HINSTANCE instance = nullptr; // module whose resources hold every dialog
    HINSTANCE previous = nullptr; // always null on Win32; kept for derived frames
    char* commandLine = nullptr;  // not owned, not interpreted
    int showCommand = 0;
    char directory[GS_PATH_SIZE] = {}; // the program's folder, no trailing backslash
};

// The one frame of the program; set by the CGsAppFrame constructor, never cleared.
extern CGsAppFrame* g_pAppFrame;

// Cuts `path` (ANSI, NUL-terminated) at its last backslash that follows the first character,
// leaving the folder. Backslash bytes that are the second byte of a double-byte character of
// the ANSI code page (such as 0x5C in the Shift-JIS "ソ" 83 5C) are not separators. 1 when a
// separator was found and replaced by a NUL; 0 with `path` unchanged otherwise.
int GsCutAtLastBackslash(char* path);

// Converts `wide` (NUL-terminated) into the ANSI code page in `buffer` (`size` bytes) without
// best fit: 1 when every character converted exactly and the whole text fits; 0 otherwise,
// with `buffer` empty.
int GsToExactAnsi(const wchar_t* wide, char* buffer, int size);
