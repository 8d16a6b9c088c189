#ifndef READERFUZZFILES_H
#define READERFUZZFILES_H

// The files of the frame source's fuzz target: the memory file that stands for the stream, the
// descriptors the reader holds, and a model of a file's content that the target compares the
// reader's frames with. Included by fuzz_yuvreader.cpp alone.

#include "FuzzInput.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace readerfuzz {

// The stream: a memory file that stays open for the whole process, and the name the reader opens
// it by. A folder holds the name that does not exist and is itself the folder the reader refuses.
inline int StreamFd = -1;
inline std::string StreamPath, Root, MissingPath;

inline void RemoveRoot()
{
    ::rmdir(Root.c_str());
}

inline int NewMemoryFile()
{
    const int fd = ::memfd_create("fuzz_yuvreader", 0);
    if (fd < 0)
        Fail("cannot make a memory file");
    return fd;
}

inline void MakeStream()
{
    StreamFd = NewMemoryFile();
    StreamPath = "/proc/self/fd/" + std::to_string(StreamFd);
    Root = MakeTemporaryFolder("fuzz_yuvreader");
    MissingPath = Root + "/missing.yuv";
    std::atexit(RemoveRoot);
}

// The files the reader has open: descriptors among the low numbers, other than the stream's own,
// that refer to a memory file or to the folder. Numbers are handed out lowest first, so the scan
// ends after a few closed ones in a row. Other descriptors come and go with the fuzzer's own
// threads and are not counted.
inline std::vector<ino_t> ReaderDescriptors()
{
    static const struct stat memoryFile = [] {
        struct stat st = {};
        ::fstat(StreamFd, &st);
        return st;
    }();
    static const struct stat folder = [] {
        struct stat st = {};
        ::stat(Root.c_str(), &st);
        return st;
    }();
    std::vector<ino_t> found;
    for (int fd = 0, closedInARow = 0; fd < 64 && closedInARow < 3; ++fd) {
        struct stat st;
        if (::fstat(fd, &st) != 0) {
            ++closedInARow;
            continue;
        }
        closedInARow = 0;
        if (fd != StreamFd
            && (st.st_dev == memoryFile.st_dev
                || (st.st_dev == folder.st_dev && st.st_ino == folder.st_ino)))
            found.push_back(st.st_ino);
    }
    return found;
}

inline ino_t InodeNumber(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        Fail("cannot examine a memory file");
    return st.st_ino;
}

// A file as the model knows it: its length and the bytes written into it, later writes over
// earlier ones; bytes inside the length that no write covers read as zero (a sparse hole).
struct TInode
{
    ino_t Number = 0; // the memory file that holds it
    long long Size = 0;
    std::vector<std::pair<long long, std::string>> Writes;

    void Write(long long at, const std::string &bytes)
    {
        if (bytes.empty())
            return;
        Writes.emplace_back(at, bytes);
        Size = std::max(Size, at + static_cast<long long>(bytes.size()));
    }
    void Truncate(long long size)
    {
        Size = size;
        for (auto &[at, bytes] : Writes) {
            if (at >= size)
                bytes.clear();
            else if (at + static_cast<long long>(bytes.size()) > size)
                bytes.resize(static_cast<size_t>(size - at));
        }
    }
    // count bytes from offset at as a read sees them; fill where the file has ended.
    std::vector<uint8_t> Read(long long at, int count, uint8_t fill) const
    {
        const long long inFile = std::clamp<long long>(Size - at, 0, count);
        std::vector<uint8_t> out(static_cast<size_t>(count), fill);
        std::fill(out.begin(), out.begin() + inFile, 0);
        for (const auto &[wAt, bytes] : Writes) {
            const long long from = std::max(at, wAt);
            const long long to = std::min<long long>(
                {at + count, wAt + static_cast<long long>(bytes.size()), Size});
            if (from < to)
                std::memcpy(out.data() + (from - at), bytes.data() + (from - wAt),
                    static_cast<size_t>(to - from));
        }
        return out;
    }
};

// Gives the memory file fd exactly the inode's content (sparse where the model has holes).
inline void WriteContent(int fd, const TInode &inode)
{
    bool ok = ::ftruncate(fd, 0) == 0 && ::ftruncate(fd, inode.Size) == 0;
    for (const auto &[at, bytes] : inode.Writes)
        ok = ok
            && ::pwrite(fd, bytes.data(), bytes.size(), at) == static_cast<ssize_t>(bytes.size());
    if (!ok)
        Fail("cannot write the stream's content");
}

} // namespace readerfuzz

#endif // READERFUZZFILES_H
