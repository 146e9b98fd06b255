// The entry point of the benchmarks that drive Qt widgets without showing
// them: an application on the offscreen platform around Google Benchmark's
// own run, so that every editor and window benchmark measures the same way.
// The objects the benchmarks shared go before the application does.

#include <benchmark/benchmark.h>

#include <QApplication>

#include "bench/support/run_scoped.h"

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    benchsupport::releaseRunScoped();
    return 0;
}
