#pragma once

// The ground of the robustness trials: an installation with one catalog, the catalog as it was
// built (pristine) and as one uninterrupted run of the real program left it (reference), the
// program itself started as a child process (krt550-runchild), and the inspection that tells
// whether a catalog after a trial is sound.

#include "installation/installation.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace krt::robustness {

// The program in a process of its own, on an installation, with a settings folder of its own.
class Child
{
public:
    Child(const QString &configFolder, const QString &drivesFolder, const QString &runtimeFolder,
          const QStringList &arguments);

    // Waits until the child wrote a line beginning with prefix; false when it ended first or the
    // time ran out.
    bool waitFor(const QString &prefix, int milliseconds);
    // Writes one line to the child's standard input.
    void send(const QByteArray &line);
    // Ends the child at once (SIGKILL).
    void kill();
    // Waits for the end; false when the child did not end in time (it goes on running).
    bool endsWithin(int milliseconds);
    // Waits for the end; false when the child did not end in time (it is then killed).
    bool finish(int milliseconds);

    bool killed() const { return m_process.exitStatus() == QProcess::CrashExit; }
    int exitCode() const { return m_process.exitCode(); }
    // The message boxes the child showed during the run, in order.
    QStringList boxes() const;
    // The values after "done ", or -1 when the run did not end.
    int runMilliseconds() const { return doneValue(1); }
    int runStatements() const { return doneValue(2); }
    int runMillisecondsToLastStatement() const { return doneValue(4); }
    // The record statements sent: the categories of the work list the run tried.
    int runRecords() const { return doneValue(3); }

    QStringList lines() const { return m_lines; }

private:
    void readLines();
    int doneValue(int position) const;

    QProcess m_process;
    QByteArray m_pending;
    QStringList m_lines;
};

// How a catalog stands against the pristine and the reference catalog.
struct CatalogState
{
    QString integrity;      // the first line of PRAGMA integrity_check
    int converted = 0;      // categories recorded and with every price row as the reference has it
    int recorded = 0;       // deferred mode: inventory categories recorded, prices not converted yet
    int untouched = 0;      // categories without a record and with every price row as built
    QStringList violations; // anything else, one line each

    bool sound() const { return integrity == QStringLiteral("ok") && violations.isEmpty(); }
    bool finished() const { return sound() && recorded == 0 && untouched == 0; }
    QString describe() const;
};

// A store of the given size for the trials: as many stock rows as goods, twice as many stock
// movements, over two months.
inline install::Options trialOptions(int categories, int goods)
{
    install::Options options;
    options.categories = categories;
    options.goods = goods;
    options.stock = goods;
    options.movements = 2 * goods;
    options.months = 2;
    return options;
}

// An installation with one catalog and its pristine and reference copies. The reference comes
// from one uninterrupted run of the child with the trials' conditions.
class TrialStore
{
public:
    // stockMode: system parameter 1200 of the catalog (1 direct, 0 deferred).
    TrialStore(install::Options options, int stockMode);

    // Empty when the store was built and the reference run completed, otherwise what failed.
    const QString &error() const { return m_error; }

    QString catalog() const;
    // Puts the pristine catalog back in place of the installation's catalog.
    bool reset() const;

    // Starts the child on the installation; operator > 0 gives it a settings folder of its own.
    std::unique_ptr<Child> start(const QStringList &arguments = {}, int operatorNo = 0) const;
    // Runs the child to its end; true when the run completed with "10009".
    bool runToEnd(QString *why = nullptr) const;

    // The catalog's state now.
    CatalogState inspect() const;
    // What is wrong with the change lists of the runs since the last reset: every goods row a
    // run converted must be listed exactly once, with its price as built and as it is now. Empty
    // when they are right.
    QString checkChangeLists() const;

    // How long the reference run took, and how many statements it sent.
    int referenceMilliseconds() const { return m_referenceMs; }
    // From the reference run's start to its last statement: where a kill finds it under way.
    int referenceConversionMilliseconds() const { return m_referenceConversionMs; }
    int referenceStatements() const { return m_referenceStatements; }
    int categories() const { return m_categories; }
    bool deferred() const { return m_stockMode == 0; }

private:
    QString configFolder(int operatorNo) const;
    QString changeListFolder() const;

    QTemporaryDir m_dir;
    install::Options m_options;
    int m_stockMode;
    QString m_pristine;
    QString m_reference;
    QString m_error;
    int m_referenceMs = 0;
    int m_referenceConversionMs = 0;
    int m_referenceStatements = 0;
    int m_categories = 0;
};

// The path of the child program.
QString childProgram();

} // namespace krt::robustness
