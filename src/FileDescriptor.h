#ifndef FILEDESCRIPTOR_H
#define FILEDESCRIPTOR_H

#include <unistd.h>

// Owns a POSIX file descriptor and closes it when it goes out of scope.
class TFileDescriptor
{
public:
    explicit TFileDescriptor(int Fd = -1)
        : Fd(Fd)
    { }
    ~TFileDescriptor() { Close(); }
    TFileDescriptor(const TFileDescriptor &) = delete;
    TFileDescriptor &operator=(const TFileDescriptor &) = delete;

    bool IsValid() const { return Fd >= 0; }
    int Get() const { return Fd; }
    void Reset(int NewFd)
    {
        Close();
        Fd = NewFd;
    }
    // Closes now; false when the close reports an error (a network file system may report a
    // failed write only here).
    bool Close()
    {
        const int fd = Fd;
        Fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int Fd;
};

#endif // FILEDESCRIPTOR_H
