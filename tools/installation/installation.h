#pragma once

#include "sampledata/sampledata.h"

#include <QList>
#include <QString>

namespace krt::install {

// What an existing installation folder does to a new creation.
enum class Existing {
    Refuse,  // fail and leave everything as it is
    Keep,    // leave a complete installation as it is and report it kept
    Replace, // remove the installation's own files and folders first
};

struct Result
{
    QString error;        // empty on success
    bool existed = false; // an installation, complete or not, was found and left as it is
    bool kept = false;    // ... and it was complete
    QList<CatalogFigures> catalogs;
};

// Paths of an installation under its root folder.
QString configFolder(const QString &root);   // XDG_CONFIG_HOME of the installation
QString settingsFile(const QString &root);   // <config>/VELD/TMCS.ini
QString drivesFolder(const QString &root);   // TMCS_DRIVE_ROOT of the installation
QString catalogFolder(const QString &root);  // the Data Source of the connection text
QString connectionText(const QString &root); // DBPARMS of the installation

// Checks the options; an empty text when they describe an installation that can be built.
QString validate(const Options &options);

// Builds an installation: the catalogs with data, the data folders on drive C under
// drivesFolder(), and last the settings file, which marks the installation complete.
Result createInstallation(const Options &options, Existing existing = Existing::Refuse);

// Creates a catalog file with every table and the data of an installation's catalog made from
// the given seed; MITEMCNT stays empty, as the program fills it. The result holds one catalog.
Result createPopulatedCatalog(const QString &file, const Options &options, quint32 seed);

} // namespace krt::install
