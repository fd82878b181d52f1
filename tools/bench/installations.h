#pragma once

#include "installation/installation.h"

#include <QString>
#include <QStringList>

namespace krt::bench {

// The sizes of the benchmark's stores.
struct Sizes
{
    int categories = 1000;
    int goods = 1000000;
    int stock = 1000000;
    int movements = 3000000;
    int months = 6;
    int wideCategories = 10000;
    int wideGoods = 100000;
    // Goods and stock rows of the server's store, three times as many movements: by default the
    // embedded store's sizes, which the ODBC path builds in about a minute.
    int serverGoods = 1000000;
    // The stores of the scaling part: goods and stock rows (three times as many movements) of the
    // smaller and the larger store, with the categories of both and the many categories of a
    // third store as large as the larger one.
    int scaleGoods = 100000;
    int scaleLargeGoods = 1000000;
    int scaleCategories = 1000;
    int scaleWideCategories = 10000;
};

// The installations the benchmark builds under its root, each in a folder named by its kind: the
// store of the runs ("store"), the catalog of the start-up ("wide"), the server's store
// ("server", built into a database of the benchmark's server) and the stores of the scaling part.
const QString StoreKind = QStringLiteral("store");
const QString WideKind = QStringLiteral("wide");
const QString ServerKind = QStringLiteral("server");
const QStringList ScaleKinds = {QStringLiteral("scale-small"), QStringLiteral("scale-large"),
                                QStringLiteral("scale-wide")};

QString installationRoot(const QString &root, const QString &kind);
install::Options installationOptions(const QString &root, const QString &kind, const Sizes &sizes);
// The catalog file of an installation's one database.
QString catalogOf(const QString &installation);

// Builds an installation in a child process of this program, so that the builder's page cache
// does not count in the peak memory of the measured process; the server's store into the database
// the connection text names. False, after saying why, when the build failed.
bool buildInChild(const QString &kind, const QString &serverStore = {});

// The work of the child process: builds one installation, or keeps it when keep is set and it
// holds the requested sizes; the server's store over the program's ODBC path. The exit code.
int buildInstallation(const install::Options &options, bool keep);
int buildServerStore(const install::Options &options, const QString &connectionText);

// A run installation: settings of its own, the store's, whose connection text names the run's
// database, and the data folder of its one database.
bool prepareRunInstallation(const QString &runRoot, const QString &storeRoot, const QString &connectionText);

} // namespace krt::bench
