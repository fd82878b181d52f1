#include "cli/databaselock.h"

#include <QDir>

namespace krt::cli {

DatabaseLock::DatabaseLock(const QString &dataFolder)
    : m_path(QDir(dataFolder).filePath(QStringLiteral("KRT550.lock")))
    , m_file(m_path)
{
    // Only a holder that has ended makes the lock stale, however long a conversion takes.
    m_file.setStaleLockTime(0);
}

bool DatabaseLock::take()
{
    if (m_file.tryLock(0))
        return true;
    const QString where = QDir::toNativeSeparators(m_path);
    switch (m_file.error()) {
    case QLockFile::LockFailedError: {
        qint64 pid = 0;
        QString host;
        QString program;
        if (m_file.getLockInfo(&pid, &host, &program))
            m_refusal =
                QStringLiteral("別の KRT550 がこのデータベースを変換中です（端末 %1、プロセス %2 %3、%4）。")
                    .arg(host)
                    .arg(pid)
                    .arg(program, where);
        else
            m_refusal = QStringLiteral("別の KRT550 がこのデータベースを変換中です（%1）。").arg(where);
        break;
    }
    case QLockFile::PermissionError:
        m_refusal =
            QStringLiteral("データフォルダにロックファイルを作れません（権限がありません）: %1").arg(where);
        break;
    case QLockFile::NoError:
    case QLockFile::UnknownError:
        m_refusal = QStringLiteral("ロックファイルを作れません: %1").arg(where);
        break;
    }
    return false;
}

} // namespace krt::cli
