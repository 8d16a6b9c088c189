#ifndef YUVCONVERSIONPATHS_H
#define YUVCONVERSIONPATHS_H

// Choice of the instruction set the colour conversion runs on. The library picks the best one the
// processor offers, once, on first use; tests and benchmarks force each in turn to compare them.
// The player itself never calls these.

namespace yuv {

enum class TConversionPath
{
    Scalar, // table lookups, any processor
    SSE41, // 16 pixels at a time
    AVX2, // 32 pixels at a time
};

// Whether this build and this processor can run the path.
bool IsConversionPathSupported(TConversionPath Path);

// The path chosen from the processor's features: the widest one supported.
TConversionPath BestConversionPath();

// Makes every later conversion use Path. Returns false, and changes nothing, when the path is not
// supported here.
bool SetConversionPath(TConversionPath Path);

TConversionPath ActiveConversionPath();

// Lower-case name for reports and test tags: "scalar", "sse41", "avx2".
const char *ConversionPathName(TConversionPath Path);

} // namespace yuv

#endif // YUVCONVERSIONPATHS_H
