#pragma once

#include "GsFile.h"
#include "GsInterface.h"

#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// Bytes copied by one Step.
constexpr int GS_INSTALL_CHUNK_SIZE = 2097152;
// Bytes of the progress text, terminator included.
constexpr int GS_INSTALL_PROGRESS_SIZE = MAX_PATH;

// Writes the progress text "<name> をコピーしています..." (ANSI, code page 932) into `text`,
// which must hold GS_INSTALL_PROGRESS_SIZE bytes. A name too long for the text is cut to whole
// characters (at most 237 bytes), so the text always fits and is terminated.
void GsFormatCopyProgress(const char* name, char* text);

// Copies a list of files from one folder to another, one chunk of GS_INSTALL_CHUNK_SIZE bytes
// per Step, and reports progress as a fraction of 256 and as a text naming the file being
// copied, shown in a control of the caller's dialog. Folders are not created: the destination
// folder and any subfolder named in a file name must exist. Texts are ANSI.
//
// Use: Setup, AddFile once per file, Start, then Step until it reports the finished flag,
// updating the caller's window between steps. Setup empties the list; ClearFiles may be called
// at any time and abandons a copy in progress.
class IGsInstallManager : public IGsInterface
{
public:
    GS_IMPLEMENT_RELEASE

    // Empties the list, abandons any copy, stores the progress window (may be null: no text and
    // no message box) and the id of its control that shows the progress text (0: none), makes
    // the copy buffer and the two file objects and stores both folders; each folder loses one
    // trailing backslash (never the second byte of a double-byte character). 1; 0 when the copy
    // buffer cannot be allocated (the manager is then not set up: Start fails until a Setup
    // succeeds).
    virtual int Setup(HWND progressWindow, int progressControlId, const char* sourceFolder,
                      const char* destinationFolder) = 0;
    // Checks that every source opens and totals their sizes, then opens the first source and
    // its destination (created or emptied) and shows the progress text for it. 1 on success,
    // also for an empty list, which opens nothing. 0 when not set up, when a destination
    // cannot be opened, or when a source cannot be opened or holds 2 GiB or more (beyond what
    // the file object's sizes carry): then, with a progress window, a
    // message box owned by it shows the file's name under "open error" (OK only), and no
    // destination has been touched.
    virtual int Start() = 0;
    // Empties the list and abandons a copy in progress (its files are closed as they stand).
    virtual void ClearFiles() = 0;
    // Appends `name` (relative to the source folder; may contain subfolders) to be copied to
    // `destinationName` (relative to the destination folder; null: the same name). Returns the
    // new number of files; a null name adds nothing.
    virtual int AddFile(const char* name, const char* destinationName) = 0;
    // Copies the next chunk of the current file; when that completes the file, the destination
    // is flushed and closed and the next file is opened (its progress text shown), or, after
    // the last file, 1 is stored in *finished. *finished (when given) is 0 otherwise; *progress
    // (when given) receives the kilobytes copied so far as a fraction of 256 (at most 256). A
    // file counts at least 1 kilobyte per step, so the last step reports 256.
    // 1 on success. 0, with nothing read or written, outside a copy: before a successful Start
    // with files, after the finished flag, after a failure or ClearFiles. 0 when a read or a
    // write transfers less than the chunk (a source that shrank, a full disk), when the
    // finished destination cannot be flushed, or when the next file cannot be opened; the copy
    // is then abandoned and its files closed.
    virtual int Step(int* finished, int* progress) = 0;
    virtual ~IGsInstallManager() = default;
};

// The install-manager component, made by the component factory for IID_IGsInstallManager.
class CGsInstallManager : public IGsInstallManager
{
public:
    // One entry of the list. The paths are the folders joined with the names by a backslash;
    // they are built when the copy starts.
    struct FileEntry
    {
        std::string name;
        std::string destinationName;
        std::string sourcePath;
        std::string destinationPath;
    };

    CGsInstallManager() = default;
    ~CGsInstallManager() override = default;
    CGsInstallManager(const CGsInstallManager&) = delete;
    CGsInstallManager& operator=(const CGsInstallManager&) = delete;

    int Setup(HWND window, int controlId, const char* sourceFolder,
              const char* destinationFolder) override;
    int Start() override;
    void ClearFiles() override;
    int AddFile(const char* name, const char* destinationName) override;
    int Step(int* finished, int* progress) override;

    const std::string& GetSourceDirectory() const { return sourceDir; }
    const std::string& GetDestinationDirectory() const { return destinationDir; }
    int GetFileCount() const { return static_cast<int>(files.size()); }
    // The entry at `index`, or null when there is none.
    const FileEntry* GetFile(int index) const;
    // Sum over the files of their sizes in kilobytes, at least 1 each; set by Start.
    int GetTotalKilobytes() const { return totalKilobytes; }

protected:
    // The zero-filled copy buffer of `size` bytes (freed with delete[]), or null when it cannot
    // be allocated.
    virtual unsigned char* AllocateCopyBuffer(std::size_t size);
    // A new, closed file object for a source or a destination (owned by the caller).
    virtual std::unique_ptr<CGsFile> MakeFileObject();

private:
    void BuildPaths(FileEntry& entry) const;
    // Opens file `index` for copying and shows its progress text. 1 on success.
    int OpenFile(int index);
    // Leaves the copy window and closes both files as they stand.
    void EndCopy();

    std::string sourceDir;
    std::string destinationDir;
    std::unique_ptr<CGsFile> sourceFile;
    std::unique_ptr<CGsFile> destinationFile;
    HWND progressWindow = nullptr;
    int progressControlId = 0;
    const int chunkSize = GS_INSTALL_CHUNK_SIZE;
    int currentIndex = 0;
    int totalKilobytes = 0;
    // 64 bits: the count goes on by whole chunks past the size, beyond INT_MAX for a file
    // within one chunk of 2 GiB.
    long long currentSize = 0;
    long long currentDone = 0;
    int doneKilobytes = 0;
    std::unique_ptr<unsigned char[]> buffer;
    std::vector<FileEntry> files;
    // True from a successful Start with files until the finished flag or a failure: the only
    // time Step may read or write.
    bool copying = false;
};
