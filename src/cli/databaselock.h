#pragma once

#include <QLockFile>
#include <QString>

namespace krt::cli {

// One conversion of a database at a time: a lock file in the database's data folder (DATn),
// which every workstation of the installation shares, held from before the database is opened
// until its run is logged. A lock left by a process of this computer that has ended (killed, or
// the computer restarted) is taken over; one held by a running process, here or on another
// workstation, refuses the conversion, naming who holds it.
class DatabaseLock
{
public:
    explicit DatabaseLock(const QString &dataFolder);

    // Takes the lock without waiting; false when it is held or cannot be made, and refusal() says
    // why.
    bool take();
    QString refusal() const { return m_refusal; }

private:
    QString m_path;
    QLockFile m_file;
    QString m_refusal;
};

} // namespace krt::cli
