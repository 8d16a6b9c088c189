#include "StreamHeader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

bool HasYuv4Mpeg2Signature(const QByteArray &Name)
{
    static const char signature[] = "YUV4MPEG2 ";
    constexpr size_t length = sizeof signature - 1;
    const int fd = ::open(Name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    char start[length];
    size_t got = 0;
    while (got < length) {
        const ssize_t n = ::read(fd, start + got, length - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    return got == length && std::memcmp(start, signature, length) == 0;
}
