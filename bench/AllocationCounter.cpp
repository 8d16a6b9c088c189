#include "AllocationCounter.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <pthread.h>
#include <string>
#include <vector>

namespace {

constexpr int StackDepth = 48;
constexpr int MaxSites = 512;

struct TAllocSite
{
    void *Frames[StackDepth];
    int Depth;
    unsigned long long Count;
    unsigned long long Bytes;
};

std::atomic<bool> Counting {false};
bool RecordStacks = false;
std::atomic<unsigned long long> GuiAllocs {0};
std::atomic<unsigned long long> GuiBytes {0};
std::atomic<unsigned long long> OtherAllocs {0};
std::atomic<unsigned long long> OtherBytes {0};
pthread_t GuiThread;
thread_local bool InHook = false;
TAllocSite Sites[MaxSites];
int SiteCount = 0;
unsigned long long UnrecordedSites = 0;

} // namespace

// Kept out of line and exported under their own names, so that the call-site report can skip
// them by name.
extern "C" __attribute__((noinline)) void BenchAllocRecordStack(size_t bytes)
{
    void *frames[StackDepth];
    const int depth = backtrace(frames, StackDepth);
    for (int i = 0; i < SiteCount; ++i) {
        TAllocSite &s = Sites[i];
        if (s.Depth == depth && std::memcmp(s.Frames, frames, sizeof(void *) * depth) == 0) {
            ++s.Count;
            s.Bytes += bytes;
            return;
        }
    }
    if (SiteCount == MaxSites) {
        ++UnrecordedSites;
        return;
    }
    TAllocSite &s = Sites[SiteCount++];
    std::memcpy(s.Frames, frames, sizeof(void *) * depth);
    s.Depth = depth;
    s.Count = 1;
    s.Bytes = bytes;
}

extern "C" __attribute__((noinline)) void BenchAllocCount(size_t bytes)
{
    if (!Counting.load(std::memory_order_relaxed) || InHook)
        return;
    InHook = true;
    if (pthread_equal(pthread_self(), GuiThread)) {
        GuiAllocs.fetch_add(1, std::memory_order_relaxed);
        GuiBytes.fetch_add(bytes, std::memory_order_relaxed);
        if (RecordStacks)
            BenchAllocRecordStack(bytes);
    } else {
        OtherAllocs.fetch_add(1, std::memory_order_relaxed);
        OtherBytes.fetch_add(bytes, std::memory_order_relaxed);
    }
    InHook = false;
}

#if BENCH_COUNT_ALLOCATIONS
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void *__libc_memalign(size_t, size_t);

void *malloc(size_t n)
{
    BenchAllocCount(n);
    return __libc_malloc(n);
}
void *calloc(size_t count, size_t size)
{
    BenchAllocCount(count * size);
    return __libc_calloc(count, size);
}
void *realloc(void *p, size_t n)
{
    BenchAllocCount(n);
    return __libc_realloc(p, n);
}
void *memalign(size_t alignment, size_t n)
{
    BenchAllocCount(n);
    return __libc_memalign(alignment, n);
}
void *aligned_alloc(size_t alignment, size_t n)
{
    BenchAllocCount(n);
    return __libc_memalign(alignment, n);
}
int posix_memalign(void **out, size_t alignment, size_t n)
{
    BenchAllocCount(n);
    void *p = __libc_memalign(alignment, n);
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}
}
#endif

namespace {

std::string Demangled(const char *name)
{
    int status = 0;
    char *d = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string out = status == 0 && d ? d : name;
    std::free(d);
    // Long template and argument lists say little here.
    const size_t paren = out.find('(');
    if (paren != std::string::npos)
        out.erase(paren);
    return out;
}

// A frame of an allocation stack as "function (library)", or the address when it has no name.
std::string DescribeFrame(void *address)
{
    Dl_info info {};
    if (!dladdr(address, &info))
        return "?";
    const char *lib = info.dli_fname ? std::strrchr(info.dli_fname, '/') : nullptr;
    std::string where = lib ? lib + 1 : (info.dli_fname ? info.dli_fname : "?");
    if (!info.dli_sname) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "+0x%lx",
            static_cast<unsigned long>(
                static_cast<char *>(address) - static_cast<char *>(info.dli_fbase)));
        return where + buf;
    }
    return Demangled(info.dli_sname) + " (" + where + ")";
}

// The frames that name the caller: past the counting hook, the allocator and operator new.
bool IsAllocatorFrame(const std::string &f)
{
    static const char *const names[] = {
        "BenchAlloc", "malloc", "calloc", "realloc", "memalign", "operator new", "aligned_alloc"};
    return std::any_of(std::begin(names), std::end(names),
        [&](const char *n) { return f.find(n) != std::string::npos; });
}

// The player's own code in a stack: its classes and the conversion, linked into this program, as
// opposed to Qt, the GL driver and the benchmark.
bool IsOwnFrame(const std::string &f)
{
    static const std::string program = std::string("(") + program_invocation_short_name + ")";
    static const char *const own[] = {"TOGLWidget::", "TYUVReader::", "TMainWindow::",
        "TActiveLabel::", "TParamDialog::", "TGotoDialog::", "yuv::"};
    return f.find(program) != std::string::npos
        && std::any_of(
            std::begin(own), std::end(own), [&](const char *n) { return f.rfind(n, 0) == 0; });
}

void PrintSite(const TAllocSite &s, int frames, int framesShown)
{
    std::printf(
        "    %6.2f/frame %9.0f B/frame:", double(s.Count) / frames, double(s.Bytes) / frames);
    int printed = 0;
    for (int f = 1; f < s.Depth && printed < framesShown; ++f) {
        const std::string d = DescribeFrame(s.Frames[f]);
        if (printed == 0 && IsAllocatorFrame(d))
            continue;
        std::printf("%s %s", printed ? " <" : "", d.c_str());
        ++printed;
    }
    std::printf("\n");
}

} // namespace

namespace alloccount {

void Init()
{
    GuiThread = pthread_self();
    // The first backtrace loads the unwinder, which allocates: do it before any count.
    void *frames[4];
    backtrace(frames, 4);
}

void Reset()
{
    GuiAllocs = 0;
    GuiBytes = 0;
    OtherAllocs = 0;
    OtherBytes = 0;
    SiteCount = 0;
    UnrecordedSites = 0;
}

void SetCounting(bool on)
{
    Counting = on;
}

void SetRecordStacks(bool on)
{
    RecordStacks = on;
}

TCounts Counts()
{
    return {GuiAllocs, GuiBytes, OtherAllocs, OtherBytes};
}

void PrintOwnCodeAttribution(int frames)
{
    struct TEntry
    {
        std::string Own, Callee;
        unsigned long long Count = 0, Bytes = 0;
    };
    std::vector<TEntry> entries;
    unsigned long long without = 0, withoutBytes = 0;
    for (int i = 0; i < SiteCount; ++i) {
        const TAllocSite &s = Sites[i];
        std::string callee = "?", own;
        for (int f = 1; f < s.Depth; ++f) {
            const std::string d = DescribeFrame(s.Frames[f]);
            if (IsOwnFrame(d)) {
                own = d.substr(0, d.find(" ("));
                break;
            }
            if (!IsAllocatorFrame(d))
                callee = d;
        }
        if (own.empty()) {
            without += s.Count;
            withoutBytes += s.Bytes;
            continue;
        }
        auto it = std::find_if(entries.begin(), entries.end(),
            [&](const TEntry &e) { return e.Own == own && e.Callee == callee; });
        if (it == entries.end()) {
            entries.push_back({own, callee});
            it = entries.end() - 1;
        }
        it->Count += s.Count;
        it->Bytes += s.Bytes;
    }
    std::sort(entries.begin(), entries.end(),
        [](const TEntry &a, const TEntry &b) { return a.Count > b.Count; });
    for (const TEntry &e : entries)
        std::printf("    %6.2f/frame %9.0f B/frame: %s -> %s\n", double(e.Count) / frames,
            double(e.Bytes) / frames, e.Own.c_str(), e.Callee.c_str());
    std::printf("    %6.2f/frame %9.0f B/frame: no code of the player on the stack (event loop, "
                "X connection)\n",
        double(without) / frames, double(withoutBytes) / frames);
}

void PrintSites(int frames, int maxSites, int framesShown)
{
    std::vector<const TAllocSite *> order;
    for (int i = 0; i < SiteCount; ++i)
        order.push_back(&Sites[i]);
    std::sort(order.begin(), order.end(),
        [](const TAllocSite *a, const TAllocSite *b) { return a->Count > b->Count; });
    const int shown = std::min<int>(maxSites, static_cast<int>(order.size()));
    for (int i = 0; i < shown; ++i)
        PrintSite(*order[i], frames, framesShown);
    if (static_cast<int>(order.size()) > shown)
        std::printf("    ... %d more call sites\n", static_cast<int>(order.size()) - shown);
    std::sort(order.begin(), order.end(),
        [](const TAllocSite *a, const TAllocSite *b) { return a->Bytes > b->Bytes; });
    std::printf("    large blocks:\n");
    for (const TAllocSite *s : order)
        if (s->Bytes >= 65536 * s->Count)
            PrintSite(*s, frames, framesShown);
    if (UnrecordedSites)
        std::printf("    (%llu allocations past the site table)\n", UnrecordedSites);
}

} // namespace alloccount
