// The CPU time a process has used, read from /proc: for tests that ask
// whether another process (a web page's) has gone quiet.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <chrono>
#include <functional>

namespace testing_proc {

// Nanoseconds of CPU the threads of process `pid` now alive have used, by
// the scheduler's own count; -1 once the process is gone.
inline qint64 cpuNanoseconds(qint64 pid) {
    const QString folder = QStringLiteral("/proc/%1/task").arg(pid);
    if (pid <= 0 || !QDir(folder).exists())
        return -1;
    qint64 sum = 0;
    for (const QString &task : QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(folder + u'/' + task + QStringLiteral("/schedstat"));
        if (file.open(QIODevice::ReadOnly))
            sum += file.readAll().split(' ').value(0).toLongLong();
    }
    return sum;
}

// Waits, with `spin` running the caller's event loop between samples, for a
// stretch of `window` in which process `pid` used less than `share` of one
// core; the time from the call to the start of that stretch, or -1 when
// none began within `timeout` (or the process is gone).
inline qint64 quietAfter(qint64 pid, std::chrono::milliseconds window, double share,
                         std::chrono::milliseconds timeout, const std::function<void(std::chrono::milliseconds)> &spin) {
    QElapsedTimer clock;
    clock.start();
    struct Sample {
        qint64 at;
        qint64 cpu;
    };
    QList<Sample> samples;
    while (clock.elapsed() < timeout.count() + window.count()) {
        const qint64 cpu = cpuNanoseconds(pid);
        if (cpu < 0)
            return -1;
        samples.append({clock.elapsed(), cpu});
        // The newest sample at least a window after an older one: the
        // stretch from that one is judged, and those before it dropped.
        for (qsizetype i = samples.size() - 1; i >= 0; i--) {
            const qint64 span = samples.last().at - samples[i].at;
            if (span >= window.count()) {
                const double used = double(samples.last().cpu - samples[i].cpu) / 1e6 / double(span);
                if (used < share)
                    return samples[i].at <= timeout.count() ? samples[i].at : -1;
                samples.remove(0, i + 1);
                break;
            }
        }
        spin(std::chrono::milliseconds(100));
    }
    return -1;
}

}  // namespace testing_proc
