// The cost of one log message: the handler opens the settings, opens the
// log file for appending, writes one line and closes it again.
#include "LogMessageHandler.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <unistd.h>

namespace {

void BM_LogMessage(benchmark::State& state)
{
    QTemporaryDir config;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
    QDir().mkpath(logDirectoryPath());
    // Standard error goes to /dev/null for the measurement; the file line is written.
    const int saved = dup(fileno(stderr));
    if (!std::freopen("/dev/null", "w", stderr))
        state.SkipWithError("cannot silence stderr");
    const QString message = QStringLiteral("[V2] NO VALID: ERROR:12::{\"reason\":\"Error parsing message JSON\"}");
    for (auto _ : state)
        logMessageHandler(QtDebugMsg, QMessageLogContext(), message);
    std::fflush(stderr);
    dup2(saved, fileno(stderr));
    close(saved);
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_LogMessage)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Veltrano Systems"));
    QCoreApplication::setApplicationName(QStringLiteral("Lanterra"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
