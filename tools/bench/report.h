#pragma once

#include "bench/measures.h"

#include <QList>
#include <QString>
#include <QTextStream>

#include <optional>

namespace krt::bench {

// One engine's figures with its name and what its store holds.
struct EngineReport
{
    QString label;
    QString description;
    EngineFigures figures;
};

// One size of the scaling part: the direct run and its floor on a store of the embedded engine.
struct ScalePoint
{
    int goods = 0;
    int categories = 0;
    qint64 rows = 0; // the rows the run converts
    double run = 0;
    double floor = 0;
    double roundRatio = 0; // the median of the rounds' run to floor
};

// Everything the benchmark measured.
struct Findings
{
    int repeat = 1;
    bool verified = false;
    EngineReport embedded;
    std::optional<EngineReport> server;
    QString serverSkip; // why there is no server figure
    StartUpFigures startUp;
    int startUpGoods = 0;
    QList<ScalePoint> scaling; // the smaller store, the larger one, the larger one with many categories
    QString scalingSkip;       // why there is no scaling figure
};

// The report: the figures of each engine, the costs of the exact reading and of the change
// list, the scaling, the start-up and the memory, and last each target with "met" or "MISSED".
void printReport(QTextStream &out, const Findings &findings);

} // namespace krt::bench
