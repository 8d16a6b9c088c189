#include "BenchMachine.h"

#include <QOpenGLWidget>

#include <GL/gl.h>

#include <fstream>

#ifndef BENCH_BUILD_TYPE
#define BENCH_BUILD_TYPE "unknown"
#endif
#ifndef BENCH_CXX_FLAGS
#define BENCH_CXX_FLAGS "unknown"
#endif

namespace bench {

std::string CpuModel()
{
    std::ifstream in("/proc/cpuinfo");
    std::string line, name = "unknown", family = "?", model = "?";
    int processors = 0;
    auto value = [&line] { return line.substr(line.find(':') + 2); };
    while (std::getline(in, line)) {
        if (line.find(':') == std::string::npos || line.find(':') + 2 > line.size())
            continue;
        if (line.rfind("processor", 0) == 0)
            ++processors;
        else if (line.rfind("model name", 0) == 0)
            name = value();
        else if (line.rfind("cpu family", 0) == 0)
            family = value();
        else if (line.rfind("model\t", 0) == 0)
            model = value();
    }
    return name + " (family " + family + ", model " + model + ", " + std::to_string(processors)
        + " processors)";
}

std::string LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

std::string BuildType()
{
    return BENCH_BUILD_TYPE;
}

std::string CompilerFlags()
{
    return BENCH_CXX_FLAGS;
}

std::string Compiler()
{
#if defined(__clang__)
    return std::string("Clang ") + __clang_version__;
#else
    return std::string("GCC ") + __VERSION__;
#endif
}

std::string GlRenderer(QOpenGLWidget *view)
{
    if (!view || !view->context())
        return "unknown";
    view->makeCurrent();
    const auto *renderer = reinterpret_cast<const char *>(glGetString(GL_RENDERER));
    std::string name = renderer ? renderer : "unknown";
    view->doneCurrent();
    return name;
}

} // namespace bench
