#pragma once

#include "GsInterface.h"

#include <windows.h>

#include <string>

// Shortcut objects for which COM was initialised and not yet uninitialised, over the whole
// process. Initialize on the first such object starts COM on the calling thread; Release of the
// last one ends it. A plain counter without a lock: every shortcut object of the process is
// created, used and released on one thread.
extern int g_nComInitCount;

// The properties of a shell shortcut, written to a shell-link file in one step through the
// shell's COM shell-link object. Texts are ANSI (the system code page), NUL-terminated, copied
// whole by the setters; a null text is taken as empty. Empty texts are written as absent
// properties, not as empty ones.
class IGsShortcut : public IGsInterface
{
public:
    // Counts this object in g_nComInitCount, initialising COM (apartment-threaded) for the
    // thread when it is the first. A second call on the same object counts nothing. Returns 0.
    int Initialize() override = 0;
    // Uncounts the object when Initialize counted it, uninitialising COM when it was the last
    // one, then destroys and frees it. Returns 0; the object is gone.
    int Release() override = 0;
    // Empties the four texts and sets the hot key, icon index and show command to 0. Returns 1.
    virtual int Clear() = 0;
    // Command-line arguments passed to the target.
    virtual void SetArguments(const char* arguments) = 0;
    // The shortcut's comment.
    virtual void SetDescription(const char* description) = 0;
    // The file holding the icon, and the icon's index in it.
    virtual void SetIconLocation(const char* iconFile, int iconIndex) = 0;
    // The folder the target starts in.
    virtual void SetWorkingDirectory(const char* workingDirectory) = 0;
    // An SW_ value; 0 is passed on as it is.
    virtual void SetShowCommand(int showCommand) = 0;
    // Virtual-key code in the low byte, HOTKEYF_ modifiers in the high byte; 0 = none.
    virtual void SetHotkey(WORD hotkey) = 0;
    // Writes the shortcut file `linkPath` (the complete name, extension included; nothing is
    // appended) pointing at `targetPath`, with the current properties. COM must be initialised
    // on the calling thread (Initialize does it). 1 when the file was saved; 0 when COM or the
    // shell-link object is unavailable, when either path is null, when `linkPath` does not fit
    // MAX_PATH (260) wide characters with its terminator, or when saving fails. On a 0 before
    // the save itself nothing is written.
    virtual int Save(const char* linkPath, const char* targetPath) = 0;
    virtual ~IGsShortcut() = default;
};

// The shortcut component, made by the component factory for IID_IGsShortcut. An object that
// was never given to Initialize (an automatic one, say) leaves COM and the counter alone; its
// Save then needs COM initialised by someone else.
class CGsShortcut : public IGsShortcut
{
public:
    CGsShortcut();
    ~CGsShortcut() override = default;
    CGsShortcut(const CGsShortcut&) = delete;
    CGsShortcut& operator=(const CGsShortcut&) = delete;

    int Initialize() override;
    int Release() override;
    int Clear() override;
    void SetArguments(const char* text) override;
    void SetDescription(const char* text) override;
    void SetIconLocation(const char* file, int index) override;
    void SetWorkingDirectory(const char* text) override;
    void SetShowCommand(int command) override;
    void SetHotkey(WORD key) override;
    int Save(const char* linkPath, const char* targetPath) override;

    const std::string& GetArguments() const { return arguments; }
    const std::string& GetDescription() const { return description; }
    const std::string& GetIconFile() const { return iconFile; }
    const std::string& GetWorkingDirectory() const { return workingDirectory; }
    WORD GetHotkey() const { return hotkey; }
    int GetIconIndex() const { return iconIndex; }
    int GetShowCommand() const { return showCommand; }

private:
    std::string arguments;
    std::string description;
    std::string iconFile;
    std::string workingDirectory;
    WORD hotkey = 0;
    int iconIndex = 0;
    int showCommand = 0;
    // Whether Initialize counted this object, so that Release uncounts exactly what it counted.
    bool counted = false;
};
