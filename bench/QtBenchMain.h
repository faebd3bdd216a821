#pragma once
// The main of a benchmark that needs widgets: a QApplication, then Google
// Benchmark. Offscreen unless `useDisplay` and a display is there.

#include <QApplication>

#include <benchmark/benchmark.h>

inline int runQtBenchmarks(int argc, char** argv, bool useDisplay = false)
{
    if (!useDisplay || (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
