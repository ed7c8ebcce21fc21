#include "GsInstallManager.h"

#include "GsMessageBox.h"
#include "GsPathText.h"

#include <cstdio>
#include <new>

namespace
{

// The text around the name takes 22 bytes in code page 932, so a name of at most 237 bytes
// leaves room for the terminator.
constexpr std::size_t kProgressNameSize = 238;

// Kilobytes a file or a step counts: whole kilobytes, at least 1.
int CountKilobytes(int bytes)
{
    const int kilobytes = bytes / 1024;
    return kilobytes > 0 ? kilobytes : 1;
}

// The folder without one trailing backslash; a trail byte 0x5C of a double-byte character at
// the end is part of a name and stays.
std::string WithoutTrailingBackslash(const char* folder)
{
    std::string text = folder != nullptr ? folder : "";
    const char* last = GsFindLastBackslash(text.c_str());
    if (last != nullptr && last[1] == '\0')
    {
        text.pop_back();
    }
    return text;
}

} // namespace

void GsFormatCopyProgress(const char* name, char* text)
{
    char shown[kProgressNameSize];
    GsCopyText(shown, name, sizeof shown);
    std::snprintf(text, GS_INSTALL_PROGRESS_SIZE, "%s をコピーしています...", shown);
}

const CGsInstallManager::FileEntry* CGsInstallManager::GetFile(int index) const
{
    if (index < 0 || index >= GetFileCount())
    {
        return nullptr;
    }
    return &files[static_cast<std::size_t>(index)];
}

unsigned char* CGsInstallManager::AllocateCopyBuffer(std::size_t size)
{
    return new (std::nothrow) unsigned char[size]();
}

std::unique_ptr<CGsFile> CGsInstallManager::MakeFileObject()
{
    return std::unique_ptr<CGsFile>(new CGsFile);
}

int CGsInstallManager::Setup(HWND window, int controlId, const char* sourceFolder,
                             const char* destinationFolder)
{
    ClearFiles();
    buffer.reset();
    sourceFile.reset();
    destinationFile.reset();
    progressWindow = window;
    progressControlId = controlId;
    currentIndex = 0;
    currentDone = 0;

    buffer.reset(AllocateCopyBuffer(static_cast<std::size_t>(chunkSize)));
    if (buffer == nullptr)
    {
        return 0;
    }
    sourceFile = MakeFileObject();
    destinationFile = MakeFileObject();
    sourceDir = WithoutTrailingBackslash(sourceFolder);
    destinationDir = WithoutTrailingBackslash(destinationFolder);
    return 1;
}

void CGsInstallManager::BuildPaths(FileEntry& entry) const
{
    entry.sourcePath = sourceDir + "\\" + entry.name;
    entry.destinationPath = destinationDir + "\\" + entry.destinationName;
}

int CGsInstallManager::Start()
{
    EndCopy();
    if (buffer == nullptr || sourceFile == nullptr || destinationFile == nullptr)
    {
        return 0;
    }
    if (files.empty())
    {
        return 1;
    }

    // Every source must open before any destination is touched.
    totalKilobytes = 0;
    for (FileEntry& entry : files)
    {
        BuildPaths(entry);
        const std::unique_ptr<CGsFile> probe = MakeFileObject();
        // A size the file object cannot carry (2 GiB and more) would be copied as nothing.
        if (!probe->Open(entry.sourcePath.c_str(), GS_FILE_READ | GS_FILE_BINARY) ||
            probe->GetSize() < 0)
        {
            if (progressWindow != nullptr)
            {
                GsMessageBox(progressWindow, entry.name.c_str(), "open error", MB_OK);
            }
            return 0;
        }
        totalKilobytes += CountKilobytes(probe->GetSize());
    }

    currentIndex = 0;
    doneKilobytes = 0;
    if (!OpenFile(0))
    {
        EndCopy();
        return 0;
    }
    copying = true;
    return 1;
}

void CGsInstallManager::ClearFiles()
{
    EndCopy();
    files.clear();
}

int CGsInstallManager::AddFile(const char* name, const char* destinationName)
{
    if (name != nullptr)
    {
        FileEntry entry;
        entry.name = name;
        entry.destinationName = destinationName != nullptr ? destinationName : name;
        files.push_back(std::move(entry));
    }
    return GetFileCount();
}

int CGsInstallManager::OpenFile(int index)
{
    if (index < 0 || index >= GetFileCount())
    {
        return 0;
    }
    FileEntry& entry = files[static_cast<std::size_t>(index)];
    // Built again here, so that a file added while copying gets its paths too.
    BuildPaths(entry);
    if (!sourceFile->Open(entry.sourcePath.c_str(), GS_FILE_READ | GS_FILE_BINARY))
    {
        return 0;
    }
    if (!destinationFile->Open(entry.destinationPath.c_str(), GS_FILE_WRITE | GS_FILE_BINARY))
    {
        return 0;
    }
    if (progressWindow != nullptr && progressControlId != 0)
    {
        char text[GS_INSTALL_PROGRESS_SIZE];
        GsFormatCopyProgress(entry.name.c_str(), text);
        SetDlgItemTextA(progressWindow, progressControlId, text);
    }
    currentDone = 0;
    currentSize = sourceFile->GetSize();
    return currentSize >= 0 ? 1 : 0;
}

void CGsInstallManager::EndCopy()
{
    copying = false;
    if (sourceFile != nullptr)
    {
        sourceFile->Close();
    }
    if (destinationFile != nullptr)
    {
        destinationFile->Close();
    }
}

int CGsInstallManager::Step(int* finished, int* progress)
{
    if (finished != nullptr)
    {
        *finished = 0;
    }
    if (!copying)
    {
        return 0;
    }

    const long long remaining = currentSize - currentDone;
    const int count = remaining >= chunkSize ? chunkSize : static_cast<int>(remaining);
    if (count > 0)
    {
        // A short transfer would leave stale buffer bytes in the copy (a source that shrank)
        // or a copy with a hole (a full disk): the step fails instead.
        const unsigned int wanted = static_cast<unsigned int>(count);
        unsigned int transferred = 0;
        if (!sourceFile->Read(buffer.get(), wanted, &transferred) || transferred != wanted)
        {
            EndCopy();
            return 0;
        }
        if (!destinationFile->Write(buffer.get(), wanted, &transferred) || transferred != wanted)
        {
            EndCopy();
            return 0;
        }
    }
    currentDone += chunkSize;

    if (currentDone >= currentSize)
    {
        // The finished copy is flushed and closed now, so that it is complete on disk when the
        // caller hears of it; a flush that fails (a full disk) fails the step.
        sourceFile->Close();
        if (destinationFile->Close() != 0)
        {
            EndCopy();
            return 0;
        }
        ++currentIndex;
        if (currentIndex < GetFileCount())
        {
            if (!OpenFile(currentIndex))
            {
                EndCopy();
                return 0;
            }
        }
        else
        {
            copying = false;
            if (finished != nullptr)
            {
                *finished = 1;
            }
        }
    }

    doneKilobytes += CountKilobytes(count);
    if (progress != nullptr)
    {
        long long fraction = 0;
        if (totalKilobytes != 0)
        {
            fraction = static_cast<long long>(doneKilobytes) * 256 / totalKilobytes;
        }
        *progress = static_cast<int>(fraction < 256 ? fraction : 256);
    }
    return 1;
}
