#pragma once

#include <QString>

#include <functional>

class QTextDocument;
class QWidget;

namespace krt {

// The print preview of a run's change list, from which the operator prints it or saves it as
// PDF: the goods whose prices the run changed, category by category, with their standard and
// retail prices before and after.
class ChangeListPreview
{
public:
    // Receives the change list's document instead of the modal print preview (tests).
    using PreviewSeam = std::function<void(const QTextDocument &)>;
    static void setPreviewSeam(PreviewSeam seam);

    // The change lists of a catalog in their folder; the list entry names the database as the
    // operator knows it (DAT1).
    ChangeListPreview(QString folder, QString catalog, QString entry);

    // Previews the last run's list, or, when the folder holds several runs, the one the operator
    // chooses among them (newest first). A box says so when there is none or when the file
    // cannot be read.
    void show(QWidget *parent);

private:
    QString m_folder;
    QString m_catalog;
    QString m_entry;
};

} // namespace krt
