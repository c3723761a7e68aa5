#pragma once

#include <QApplication>

#include <benchmark/benchmark.h>

// The main function of the benchmarks that paint widgets: offscreen, with a
// widget application around the runs.
#define LANTERRA_WIDGET_BENCHMARK_MAIN()                                                                                                             \
    int main(int argc, char** argv)                                                                                                                  \
    {                                                                                                                                                \
        qputenv("QT_QPA_PLATFORM", "offscreen");                                                                                                     \
        QApplication app(argc, argv);                                                                                                                \
        benchmark::Initialize(&argc, argv);                                                                                                          \
        benchmark::RunSpecifiedBenchmarks();                                                                                                         \
        benchmark::Shutdown();                                                                                                                       \
        return 0;                                                                                                                                    \
    }
