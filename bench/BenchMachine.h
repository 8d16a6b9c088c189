#ifndef BENCHMACHINE_H
#define BENCHMACHINE_H

// What a benchmark's figures were measured on, printed beside them: the processor, the load of
// the machine at the start, the build and, for the benchmarks that draw, the GL renderer.

#include <string>

class QOpenGLWidget;

namespace bench {

// "model name (family F, model M, N processors)" from /proc/cpuinfo, as lscpu shows them.
std::string CpuModel();
// The 1, 5 and 15 minute load averages, "a b c".
std::string LoadAverage();
// The build type and the compiler flags of the benchmarks' own build, and the compiler.
std::string BuildType();
std::string CompilerFlags();
std::string Compiler();
// GL_RENDERER of the view's context, made current for the query; "unknown" before it exists.
std::string GlRenderer(QOpenGLWidget *view);

} // namespace bench

#endif // BENCHMACHINE_H
