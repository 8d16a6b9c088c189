#include "SafeFileWriter.h"

#include "FileDescriptor.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The kernel's own limit on links followed while resolving one name.
constexpr int MaxLinkHops = 40;
// Fresh random names tried before giving up on a folder full of collisions.
constexpr int TemporaryNameAttempts = 16;

// The temporary file being written, as the signal handler sees it: its folder's descriptor
// (-1 when there is none) and its name. The name is complete before the descriptor is published.
std::atomic<int> PendingFolder {-1};
char PendingName[32];

QByteArray FolderOf(const QByteArray &Path)
{
    const qsizetype slash = Path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : Path.left(slash);
}

QByteArray LastComponentOf(const QByteArray &Path)
{
    return Path.mid(Path.lastIndexOf('/') + 1);
}

// The name that Name stands for once its symbolic links are followed, worked out on the bytes:
// a dangling link gives the name of its missing target. Empty when the links loop.
QByteArray FollowLinks(QByteArray Name)
{
    for (int hops = 0; hops <= MaxLinkHops; ++hops) {
        struct stat st;
        if (::lstat(Name.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return Name;
        QByteArray target(PATH_MAX, Qt::Uninitialized);
        const ssize_t length = ::readlink(Name.constData(), target.data(), target.size());
        if (length < 0 || length >= target.size())
            return Name; // gone, or longer than any path: the folder scan below reports it
        target.truncate(length);
        // A relative target counts from the folder that holds the link.
        Name = target.startsWith('/') ? target : FolderOf(Name) + '/' + target;
    }
    return QByteArray();
}

// The permission bits a new file gets from the process's umask. Read from /proc, because
// umask() can only be read by setting it, which would race with other threads creating files.
mode_t NewFileMode()
{
    mode_t mask = 022;
    if (FILE *status = std::fopen("/proc/self/status", "re")) {
        char line[128];
        unsigned value = 0;
        while (std::fgets(line, sizeof line, status)) {
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = static_cast<mode_t>(value);
                break;
            }
        }
        std::fclose(status);
    }
    return 0666 & ~mask;
}

bool WriteAll(int Fd, const unsigned char *Data, size_t Size)
{
    size_t done = 0;
    while (done < Size) {
        const ssize_t n = ::pwrite(Fd, Data + done, Size - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Pushes the data out of the kernel's cache so that errors the file system reports late (a full
// disk on a network share, an I/O error) surface before the old file is replaced.
bool SyncToDisk(int Fd)
{
    if (::fsync(Fd) == 0)
        return true;
    // File systems that cannot sync have nothing to report.
    return errno == EINVAL || errno == ENOTSUP || errno == ENOSYS;
}

// Hands the replacement the owner and group of the file it replaces, as far as we may: only root
// can give a file away, but a member of the file's group can still keep the group.
void KeepOwner(int Fd, const struct stat &Old)
{
    struct stat now;
    if (::fstat(Fd, &now) != 0)
        return;
    if (now.st_uid != Old.st_uid && ::fchown(Fd, Old.st_uid, Old.st_gid) == 0)
        return;
    if (now.st_gid != Old.st_gid) {
        // Best effort: outside the file's group the replacement keeps our own.
        [[maybe_unused]] const int ignored = ::fchown(Fd, static_cast<uid_t>(-1), Old.st_gid);
    }
}

// A name of 12 random letters and digits: nobody can create it ahead of us.
void MakeTemporaryName(char (&Name)[32])
{
    static const char Alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char random[12];
    if (::getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
        // No entropy yet (early boot): still unique, only guessable, and O_EXCL with O_NOFOLLOW
        // keeps a planted name from being followed.
        timespec now {};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const unsigned long long seed = static_cast<unsigned long long>(now.tv_nsec) ^ ::getpid();
        for (size_t i = 0; i < sizeof random; ++i)
            random[i] = static_cast<unsigned char>(seed >> (5 * i % 60));
    }
    char *p = Name;
    *p++ = '.';
    for (unsigned char r : random)
        *p++ = Alphabet[r % (sizeof Alphabet - 1)];
    std::memcpy(p, ".tmp", 5);
}

// A temporary file in Folder, removed again unless it was renamed into place.
class TTemporaryFile
{
public:
    explicit TTemporaryFile(int Folder)
        : Folder(Folder)
    { }
    ~TTemporaryFile() { Discard(); }
    TTemporaryFile(const TTemporaryFile &) = delete;
    TTemporaryFile &operator=(const TTemporaryFile &) = delete;

    // Creates the file, readable and writable by its owner only; errno tells why not.
    bool Create()
    {
        for (int attempt = 0; attempt < TemporaryNameAttempts; ++attempt) {
            MakeTemporaryName(Name);
            // Published before the file exists, so that a signal arriving just after the
            // creation still finds it.
            std::memcpy(PendingName, Name, sizeof Name);
            PendingFolder.store(Folder);
            const int fd = ::openat(
                Folder, Name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd >= 0) {
                File.Reset(fd);
                return true;
            }
            PendingFolder.store(-1);
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    int Fd() const { return File.Get(); }

    // Closes the file and renames it to Target in the same folder.
    bool RenameTo(const QByteArray &Target)
    {
        if (!File.Close())
            return false;
        if (::renameat(Folder, Name, Folder, Target.constData()) != 0)
            return false;
        PendingFolder.store(-1);
        Renamed = true;
        return true;
    }

private:
    void Discard()
    {
        File.Close();
        if (!Renamed && PendingFolder.load() == Folder) {
            ::unlinkat(Folder, Name, 0);
            PendingFolder.store(-1);
        }
    }

    const int Folder;
    char Name[32] {};
    TFileDescriptor File;
    bool Renamed = false;
};

// Writes the whole file under a temporary name and renames it over Base, so that Base is either
// the old file or the complete new one.
TFileWriteResult ReplaceByRename(TTemporaryFile &Temporary, int Folder, const QByteArray &Base,
    const unsigned char *Data, size_t Size, const struct stat *Old)
{
    const int fd = Temporary.Fd();
    if (!WriteAll(fd, Data, Size) || !SyncToDisk(fd))
        return TFileWriteResult::WriteFailed;
    if (Old)
        KeepOwner(fd, *Old);
    // Set-user-ID, set-group-ID and sticky bits are never carried over to a picture.
    const mode_t mode = Old ? (Old->st_mode & 0777) : NewFileMode();
    if (::fchmod(fd, mode) != 0 || !Temporary.RenameTo(Base))
        return TFileWriteResult::WriteFailed;
    // The rename reaches the disk with the folder; past this point the new file is in place.
    ::fsync(Folder);
    return TFileWriteResult::Ok;
}

// The folder refuses new files but Base is writable: rewrite it in place, reserving the new size
// first so that running out of room cannot leave the file cut short.
TFileWriteResult RewriteInPlace(
    int Folder, const QByteArray &Base, const unsigned char *Data, size_t Size, off_t OldSize)
{
    TFileDescriptor file(::openat(Folder, Base.constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!file.IsValid())
        return TFileWriteResult::OpenFailed;
    // A file-size limit below the new size would stop the write part-way through the old bytes,
    // even where no new room is needed.
    rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
        && limit.rlim_cur < Size)
        return TFileWriteResult::WriteFailed;
    if (::posix_fallocate(file.Get(), 0, static_cast<off_t>(Size)) != 0) {
        // The C library's fallback for file systems without fallocate may have appended zeros.
        [[maybe_unused]] const int ignored = ::ftruncate(file.Get(), OldSize);
        return TFileWriteResult::WriteFailed;
    }
    const bool written = WriteAll(file.Get(), Data, Size)
        && ::ftruncate(file.Get(), static_cast<off_t>(Size)) == 0 && SyncToDisk(file.Get());
    return written && file.Close() ? TFileWriteResult::Ok : TFileWriteResult::WriteFailed;
}

// A character device (a terminal, /dev/null): there is nothing to replace, so write into it.
TFileWriteResult WriteToDevice(
    int Folder, const QByteArray &Base, const unsigned char *Data, size_t Size)
{
    TFileDescriptor device(
        ::openat(Folder, Base.constData(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    if (!device.IsValid())
        return TFileWriteResult::OpenFailed;
    const bool written = WriteAll(device.Get(), Data, Size);
    return written && device.Close() ? TFileWriteResult::Ok : TFileWriteResult::WriteFailed;
}

} // namespace

TFileWriteResult WriteWholeFile(const QByteArray &Name, const unsigned char *Data, size_t Size)
{
    const QByteArray path = FollowLinks(Name);
    const QByteArray base = LastComponentOf(path);
    if (base.isEmpty())
        return TFileWriteResult::OpenFailed;
    // Read access lets the folder be synced after the rename; search access is enough for the rest.
    const QByteArray folderName = FolderOf(path);
    TFileDescriptor folder(::open(folderName.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.IsValid())
        folder.Reset(::open(folderName.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.IsValid())
        return TFileWriteResult::OpenFailed;

    struct stat st;
    const bool exists = ::fstatat(folder.Get(), base.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && errno != ENOENT)
        return TFileWriteResult::OpenFailed; // a name too long, a folder we may not search
    if (exists && S_ISCHR(st.st_mode))
        return WriteToDevice(folder.Get(), base, Data, Size);
    // Never rename over a folder, FIFO, socket or block device, nor over a link that appeared
    // after the name was resolved. A FIFO would also block until a reader appears, and a block
    // device is a disk, not a place for a picture.
    if (exists && !S_ISREG(st.st_mode))
        return TFileWriteResult::OpenFailed;

    TTemporaryFile temporary(folder.Get());
    if (temporary.Create())
        return ReplaceByRename(temporary, folder.Get(), base, Data, Size, exists ? &st : nullptr);
    if (exists && (errno == EACCES || errno == EPERM))
        return RewriteInPlace(folder.Get(), base, Data, Size, st.st_size);
    return TFileWriteResult::OpenFailed;
}

void RemovePendingTemporaryFile()
{
    const int folder = PendingFolder.exchange(-1);
    if (folder >= 0)
        ::unlinkat(folder, PendingName, 0);
}
