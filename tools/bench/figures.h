#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QTextStream>

#include <sys/resource.h>

#include <algorithm>

namespace krt::bench {

inline double secondsOf(const QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// The shortest of the times measured for one figure so far.
inline double best(double sofar, double measured)
{
    return sofar == 0 ? measured : std::min(sofar, measured);
}

// The middle of the values, the mean of the two in the middle of an even count; 0 for none.
inline double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The largest resident set of this process so far, in MiB.
inline double peakMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

inline QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

// Says on standard output what stopped the benchmark; false, for the caller to return.
inline bool fail(const QString &what)
{
    QTextStream(stdout) << "krt550-bench: " << what << "\n";
    return false;
}

} // namespace krt::bench
