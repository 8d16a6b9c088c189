#ifndef FUZZINPUT_H
#define FUZZINPUT_H

// What every fuzz target uses: reading its input from the front (bytes and little-endian
// integers, zeros once it runs out; a plain front-to-back layout lets scripts/make_fuzz_corpus.py
// write meaningful seeds), reporting a difference, a buffer whose end a picture ends at, and a
// scratch folder.

#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Prints "<program>: <message>" and aborts, which libFuzzer records as a crash with its input.
[[noreturn]] inline void Fail(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::fprintf(stderr, "%s: ", program_invocation_short_name);
    std::vfprintf(stderr, format, args);
    std::fprintf(stderr, "\n");
    va_end(args);
    std::abort();
}

class TFuzzInput
{
public:
    TFuzzInput(const uint8_t *data, size_t size)
        : Data(data)
        , Left(size)
    { }

    bool Empty() const { return Left == 0; }

    uint8_t U8()
    {
        if (Left == 0)
            return 0;
        --Left;
        return *Data++;
    }
    int8_t S8() { return static_cast<int8_t>(U8()); }
    uint16_t U16()
    {
        const uint16_t lo = U8();
        return static_cast<uint16_t>(lo | (U8() << 8));
    }
    uint32_t U32()
    {
        const uint32_t lo = U16();
        return lo | (static_cast<uint32_t>(U16()) << 16);
    }
    int32_t S32() { return static_cast<int32_t>(U32()); }

    // Up to n bytes, fewer when the input ends first.
    std::string Bytes(size_t n)
    {
        n = n < Left ? n : Left;
        std::string out(reinterpret_cast<const char *>(Data), n);
        Data += n;
        Left -= n;
        return out;
    }

private:
    const uint8_t *Data;
    size_t Left;
};

// A buffer made once for the largest picture; At(n) is its last n bytes, so that a read or write
// past the end of a smaller picture runs off the buffer, where the address sanitizer sees it.
class TTailBuffer
{
public:
    explicit TTailBuffer(size_t size)
        : Bytes(size)
    { }
    uint8_t *At(size_t n) { return Bytes.data() + Bytes.size() - n; }

private:
    std::vector<uint8_t> Bytes;
};

// Makes a fresh folder under $TMPDIR (or /tmp) named after the target and returns its path.
inline std::string MakeTemporaryFolder(const char *target)
{
    const char *tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + target + ".XXXXXX";
    if (!::mkdtemp(templ.data()))
        Fail("cannot make a temporary folder under %s", templ.c_str());
    return templ;
}

#endif // FUZZINPUT_H
