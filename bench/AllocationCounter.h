#ifndef ALLOCATIONCOUNTER_H
#define ALLOCATIONCOUNTER_H

// Counts the heap allocations of a benchmark program, split into the GUI thread and all others,
// by replacing the C allocator's entry points (malloc, calloc, realloc and the aligned ones) in
// the program that links AllocationCounter.cpp. On request it also records the call stack of
// each allocation on the GUI thread, grouped by identical stacks, and reports them charged to the
// player's own functions. A sanitizer brings its own allocator, so such builds count nothing.

#if defined(__SANITIZE_ADDRESS__)
#define BENCH_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BENCH_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef BENCH_COUNT_ALLOCATIONS
#define BENCH_COUNT_ALLOCATIONS 1
#endif

namespace alloccount {

struct TCounts
{
    unsigned long long GuiAllocs = 0;
    unsigned long long GuiBytes = 0;
    unsigned long long OtherAllocs = 0;
    unsigned long long OtherBytes = 0;
};

// Takes the calling thread as the GUI thread. Call first thing in main, before any count.
void Init();
// Clears the counts and the recorded call sites.
void Reset();
// Counting on or off; while off, allocations pass through untouched.
void SetCounting(bool on);
// Recording stacks costs microseconds an allocation: keep it out of timed runs.
void SetRecordStacks(bool on);
TCounts Counts();

// Every recorded GUI-thread allocation charged to the innermost function of the player's own code
// on its stack, with the function that it called to say where the allocation really happens.
void PrintOwnCodeAttribution(int frames);
// The most frequent recorded call sites, then every site of large blocks (64 KiB and more).
void PrintSites(int frames, int maxSites, int framesShown);

} // namespace alloccount

#endif // ALLOCATIONCOUNTER_H
