#include "GsSearchFile.h"

#include "GsPathText.h"

#include <cstring>

namespace
{

bool IsDotEntry(const char* name)
{
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

bool IsDirectory(const WIN32_FIND_DATAA& entry)
{
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

const char* TextOrEmpty(const char* text)
{
    return text != nullptr ? text : "";
}

} // namespace

CGsSearchFile::~CGsSearchFile()
{
    // The subtree first: it holds handles inside this level's directory.
    CloseFind();
}

void CGsSearchFile::SetDirectory(const char* directory)
{
    m_strDirectory = TextOrEmpty(directory);
    // Only a backslash that is a character of its own: in code page 932 a name may end in a
    // character whose second byte is 0x5C ("ソ" is 83 5C).
    const char* last = GsFindLastBackslash(m_strDirectory.c_str());
    if (last != nullptr && last[1] == '\0')
    {
        m_strDirectory.pop_back();
    }
}

void CGsSearchFile::SetExtension(const char* extension)
{
    m_strExtension = TextOrEmpty(extension);
}

void CGsSearchFile::SetBaseName(const char* baseName)
{
    m_strBaseName = TextOrEmpty(baseName);
}

std::string CGsSearchFile::GetPattern() const
{
    return m_strDirectory + "\\" + m_strBaseName + "." + m_strExtension;
}

int CGsSearchFile::Advance()
{
    if (m_bStarted == 0)
    {
        // A restart must never reach a child left from an abandoned walk.
        ReleaseChild();
        const HANDLE find = FindFirstFileA(GetPattern().c_str(), &m_findData);
        if (find == INVALID_HANDLE_VALUE)
        {
            m_hFind = nullptr;
            return 0;
        }
        m_hFind = find;
        m_bStarted = 1;
        return 1;
    }
    if (!FindNextFileA(m_hFind, &m_findData))
    {
        CloseFind();
        return 0;
    }
    return 1;
}

int CGsSearchFile::AdvanceToCandidate(bool skipDirectories)
{
    while (Advance())
    {
        if (IsDotEntry(m_findData.cFileName))
        {
            continue;
        }
        if (skipDirectories && IsDirectory(m_findData))
        {
            continue;
        }
        return 1;
    }
    return 0;
}

int CGsSearchFile::FindNext(std::string& name, std::string& path)
{
    if (!AdvanceToCandidate(true))
    {
        return 0;
    }
    name = m_findData.cFileName;
    path = m_strDirectory + "\\" + name;
    return 1;
}

int CGsSearchFile::FindNextToBuffer(char* name, char* path)
{
    std::string foundName;
    std::string foundPath;
    const int result = FindNext(foundName, foundPath);
    if (result != 0)
    {
        std::strcpy(name, foundName.c_str());
        if (path != nullptr)
        {
            std::strcpy(path, foundPath.c_str());
        }
    }
    return result;
}

int CGsSearchFile::FindNextRecursive(std::string& name, std::string& directory, std::string& path)
{
    if (m_bStarted != 0 && m_bChildActive != 0)
    {
        if (m_pChild->FindNextRecursive(name, directory, path) != 0)
        {
            return 1;
        }
        ReleaseChild();
    }
    while (AdvanceToCandidate(false))
    {
        if (!IsDirectory(m_findData))
        {
            name = m_findData.cFileName;
            directory = m_strDirectory;
            path = m_strDirectory + "\\" + name;
            return 1;
        }
        std::unique_ptr<CGsSearchFile, ChildReleaser> child(new CGsSearchFile);
        child->SetBaseName(m_strBaseName.c_str());
        child->SetExtension(m_strExtension.c_str());
        child->SetDirectory((m_strDirectory + "\\" + m_findData.cFileName).c_str());
        if (child->FindNextRecursive(name, directory, path) != 0)
        {
            m_pChild = std::move(child);
            m_bChildActive = 1;
            return 1;
        }
        // A subdirectory without matching files is left behind at once (child released).
    }
    return 0;
}

int CGsSearchFile::FindNextRecursiveToBuffer(char* name, char* directory, char* path)
{
    std::string foundName;
    std::string foundDirectory;
    std::string foundPath;
    const int result = FindNextRecursive(foundName, foundDirectory, foundPath);
    if (result != 0)
    {
        std::strcpy(name, foundName.c_str());
        std::strcpy(directory, foundDirectory.c_str());
        if (path != nullptr)
        {
            std::strcpy(path, foundPath.c_str());
        }
    }
    return result;
}

void CGsSearchFile::EndFind()
{
    CloseFind();
}

void CGsSearchFile::CloseFind()
{
    // The subdirectory's search belongs to this enumeration: once it is closed, nothing can
    // resume the walk where the child stood, so the child goes with it.
    ReleaseChild();
    m_bStarted = 0;
    if (m_hFind != nullptr)
    {
        FindClose(m_hFind);
        m_hFind = nullptr;
    }
}

void CGsSearchFile::ReleaseChild()
{
    m_pChild.reset();
    m_bChildActive = 0;
}
