#include "cli/commandline.h"

#include "cli/console.h"
#include "cli/convertoptions.h"
#include "cli/databaseconversion.h"
#include "platform/dblist.h"

#include <QCoreApplication>

#include <atomic>
#include <csignal>
#include <optional>

namespace krt::cli {

namespace {

// Set by SIGINT and SIGTERM; the run reads it before each category.
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set inside a signal handler");

extern "C" void requestStop(int)
{
    stopRequested.store(true);
}

void installStopHandlers()
{
#ifdef Q_OS_UNIX
    struct sigaction action = {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#else
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
#endif
}

int badArguments(const QString &error)
{
    writeErr(QStringLiteral("krt550: ") + error + QStringLiteral("\n\n") + usageText());
    return BadArguments;
}

// The databases asked for, found in the installation's database list before any is opened; nothing
// when the settings or the data folders do not allow it, and error says why.
std::optional<QList<Database>> listedDatabases(const ConvertOptions &options, QString &error)
{
    const QString drive = prfn_FindDataDrive();
    if (drive.isEmpty()) {
        error = QStringLiteral("データフォルダ（C:～Z:\\TMCS\\DAT\\DAT1～DAT5）が見つかりません。");
        return std::nullopt;
    }
    const QString connectionText = storedConnectionText();
    if (const SpliceResult split = splitConnectionText(connectionText); !split.parts) {
        error = QStringLiteral("設定の接続文字列（DBPARMS、area が 1 のときは DBPARMC）を使えません: ") +
                split.error;
        return std::nullopt;
    }
    const DbList list = buildDbList(drive, currentCatalog(connectionText));
    QList<Database> databases;
    for (const QString &entry : options.allDatabases ? list.entries : options.databases) {
        const qsizetype position = list.entries.indexOf(entry);
        if (position < 0) {
            error = QStringLiteral("%1 はＤＢ選択の一覧にありません（一覧: %2）。")
                        .arg(entry, list.entries.join(QStringLiteral(", ")));
            return std::nullopt;
        }
        databases.append({entry, static_cast<int>(position), databaseFolder(drive, entry.mid(3).toInt())});
    }
    return databases;
}

} // namespace

bool isCommandLine(int argc, char *argv[])
{
    if (argc < 2)
        return false;
    const QByteArray first(argv[1]);
    return !first.startsWith('-') || first.startsWith("--") || first == "-h";
}

int runCommandLine(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("KRT550"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KRT_VERSION));

    const ParsedCommand command = parseCommand(QCoreApplication::arguments());
    switch (command.action) {
    case ParsedCommand::Help:
        writeOut(usageText());
        return Converted;
    case ParsedCommand::Version:
        writeOut(QStringLiteral("krt550 ") + QCoreApplication::applicationVersion());
        return Converted;
    case ParsedCommand::Error:
        return badArguments(command.error);
    case ParsedCommand::Convert:
        break;
    }
    QString error;
    const std::optional<QList<Database>> databases = listedDatabases(command.options, error);
    if (!databases)
        return badArguments(error);

    installStopHandlers();
    // Each database on its own; a refusal, a failure or a stop ends the command before the next.
    for (qsizetype i = 0; i < databases->size(); ++i) {
        if (stopRequested.load())
            return Stopped;
        if (i > 0)
            writeOut(QString());
        DatabaseConversion conversion(command.options, databases->at(i), stopRequested);
        if (const ExitStatus status = conversion.run(); status != Converted)
            return status;
    }
    return Converted;
}

} // namespace krt::cli
