#pragma once

#include "GsInterface.h"

#include <windows.h>

#include <memory>
#include <string>

// Finds files one at a time, in one directory or in the whole tree below it, in the order in
// which the file system lists them. The pattern of a level is the directory, a backslash, the
// base-name pattern, a dot and the extension pattern ("*" and "*" by default, which match every
// name, also names without a dot); the wildcards are the system's ('*', '?').
//
// Every entry other than "." and ".." that is not a directory is a file and is delivered,
// whatever its other attributes (hidden, system and read-only files too). Subdirectories are
// matched by the same pattern: a recursive walk enters only those whose own names match it.
//
// After the last file a find call returns 0 and closes the enumeration; the next call starts
// again from the first file. Failures (no such directory, a path too long for the system, no
// access) read as 0, no more files. Texts are ANSI (code page 932 in this program); a trail
// byte 0x5C of a double-byte character is never taken for a backslash.
//
// One object serves one search at a time; the one-directory and the tree forms share its
// enumeration and are not mixed on one object.
class IGsSearchFile : public IGsInterface
{
public:
    GS_IMPLEMENT_RELEASE

    // The directory to search; one trailing backslash is dropped, so a drive root may be given
    // with or without it. Empty (the default) searches the root of the current drive.
    virtual void SetDirectory(const char* directory) = 0;
    // The patterns of the parts after and before the last dot of a name. Used unchanged.
    virtual void SetExtension(const char* extension) = 0;
    virtual void SetBaseName(const char* baseName) = 0;
    // The settings above take effect when an enumeration starts: on the first find call and on
    // the first after a 0 or an EndFind.

    // The next file of the directory alone. 1: `name` holds its bare name and `path` the
    // directory, a backslash and the name. 0: no more; the outputs are untouched.
    virtual int FindNext(std::string& name, std::string& path) = 0;
    // As FindNext into caller buffers (strcpy, unbounded: `name` must hold MAX_PATH bytes and
    // `path` the directory, a backslash and the name). `path` may be null. Nothing is written
    // on 0.
    virtual int FindNextToBuffer(char* name, char* path) = 0;
    // The next file of the tree, depth-first: each subdirectory is walked completely when it is
    // met. 1: `name` holds the bare name, `directory` the directory it lies in (no trailing
    // backslash) and `path` that directory, a backslash and the name. 0: no more; the outputs
    // are untouched.
    virtual int FindNextRecursive(std::string& name, std::string& directory, std::string& path) = 0;
    // As FindNextRecursive into caller buffers (strcpy, unbounded: `directory` and `path` can
    // exceed MAX_PATH bytes in a deep tree, so size them for the tree searched). `path` may be
    // null. Nothing is written on 0.
    virtual int FindNextRecursiveToBuffer(char* name, char* directory, char* path) = 0;
    // Abandons the search (also halfway through a tree): the next find call starts again from
    // the first file. Same as CloseFind.
    virtual void EndFind() = 0;
    // Closes this level's enumeration and releases the searches of the subdirectories it was
    // walking.
    virtual void CloseFind() = 0;
    virtual ~IGsSearchFile() = default;
};

// The file-search component, made by the component factory for IID_IGsSearchFile. One object is
// one level of a search; a recursive walk makes one more object per directory level it is
// inside at the moment, and releases it when that subtree is done or the walk is abandoned.
class CGsSearchFile : public IGsSearchFile
{
public:
    CGsSearchFile() = default;
    ~CGsSearchFile() override;
    CGsSearchFile(const CGsSearchFile&) = delete;
    CGsSearchFile& operator=(const CGsSearchFile&) = delete;

    void SetDirectory(const char* directory) override;
    void SetExtension(const char* extension) override;
    void SetBaseName(const char* baseName) override;
    int FindNext(std::string& name, std::string& path) override;
    int FindNextToBuffer(char* name, char* path) override;
    int FindNextRecursive(std::string& name, std::string& directory, std::string& path) override;
    int FindNextRecursiveToBuffer(char* name, char* directory, char* path) override;
    void EndFind() override;
    void CloseFind() override;

    // The pattern an enumeration starting now would use.
    std::string GetPattern() const;

private:
    struct ChildReleaser
    {
        void operator()(CGsSearchFile* child) const { child->Release(); }
    };

    // Starts the enumeration with FindFirstFileA when none is open, else advances it with
    // FindNextFileA. 1 with the entry in m_findData; 0 when there is none (the level is then
    // closed).
    int Advance();
    // Advances past "." and ".." and, when `skipDirectories`, past directories. 1 with the
    // entry in m_findData; 0 when there is none.
    int AdvanceToCandidate(bool skipDirectories);
    void ReleaseChild();

    WIN32_FIND_DATAA m_findData = {};
    HANDLE m_hFind = nullptr;
    int m_bStarted = 0;
    std::string m_strDirectory;
    std::string m_strExtension = "*";
    std::string m_strBaseName = "*";
    std::unique_ptr<CGsSearchFile, ChildReleaser> m_pChild;
    int m_bChildActive = 0;
};
