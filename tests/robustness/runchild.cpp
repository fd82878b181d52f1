// krt550-runchild: the real main form in a process of its own, for the robustness trials. It
// loads the form offscreen on the installation that XDG_CONFIG_HOME and TMCS_DRIVE_ROOT name,
// answers every message box OK, enters calculation method 1 from 8 % to 10 % with goods prices
// rounded half up and add-on prices rounded down at the ones through the panel's controls, and
// gives the Execute command.
//
// Options:
//   --today yyyy-MM-dd   the workstation's date (the day recorded in MITEMCNT)
//   --wait               read one line from standard input before the run, so that a trial can
//                        start several processes at the same moment
//   --fault KIND --fault-at N
//                        the storage fails just before the N-th statement of the run (1 is the
//                        first): "readonly" the database takes no more writes (SQLite's query_only),
//                        "nowrite" the file system refuses every write of the process (a file
//                        size limit of 0), "diskfull" it refuses every write beyond the present
//                        size of the write-ahead log (a file size limit at that size)
//   --kill-before N      the process ends (SIGKILL) just before the N-th statement of the run
//   --kill-after N       the N-th statement is carried out on the form's connection as the
//                        program sends it, then the process ends (SIGKILL) before the program
//                        goes on: after a COMMIT, between the category's commit and the append
//                        of its rows to the change list
//
// Lines on standard output: "ready <grid lines>", "running", "box <number or text>" for every
// message box, "kill <statement>" (its first two words) as the process ends itself,
// "done <milliseconds> <statements of the run> <record statements of the run> <milliseconds to the
// run's last statement>" (what follows it, the log's and the list's writes to the disk, is no
// longer the conversion).
// Exit code: 0 the run completed ("10009"), 1 the run reported a failure ("40275"), 2 the form
// did not reach the ready state, 3 any other ending.
#include "app/krt550f1.h"
#include "app/krt550h1.h"
#include "db/dialect.h"
#include "params/conditionpanel.h"
#include "support/controls.h"
#include "widgets/categorygrid.h"
#include "widgets/messagebox.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace {

using namespace krt;
using namespace krt::testing;

enum Exit { Completed = 0, Failed = 1, NotReady = 2, Other = 3 };

void say(const QString &line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

// Limits the size up to which this process may write any file.
void limitWrites(qint64 bytes)
{
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    setrlimit(RLIMIT_FSIZE, &limit);
}

// Makes the storage fail the way the option names.
void injectFault(const QString &kind, Connection &connection)
{
    if (kind == QStringLiteral("readonly")) {
        QSqlQuery query(connection.database());
        query.exec(QStringLiteral("PRAGMA query_only = ON"));
    } else if (kind == QStringLiteral("nowrite")) {
        limitWrites(0);
    } else if (kind == QStringLiteral("diskfull")) {
        limitWrites(QFileInfo(connection.database().databaseName() + QStringLiteral("-wal")).size());
    }
}

// Ends the process at once, as a power cut or a kill would, naming the statement it ended at.
[[noreturn]] void killSelf(const QString &sql)
{
    say(QStringLiteral("kill ") + sql.section(QLatin1Char(' '), 0, 1));
    std::raise(SIGKILL);
    std::abort();
}

// Carries out a statement of the run on the form's connection as the connection itself sends it,
// so that its effect is in the catalog before the process ends.
void carryOut(Connection &connection, const QString &sql)
{
    QSqlDatabase db = connection.database();
    if (sql == QStringLiteral("BEGIN TRANSACTION"))
        db.transaction();
    else if (sql == QStringLiteral("COMMIT TRANSACTION"))
        db.commit();
    else
        QSqlQuery(db).exec(toSqliteDialect(sql));
}

void click(QWidget *widget)
{
    QTest::mouseClick(widget, Qt::LeftButton);
}

// The conditions of every trial, entered as the operator enters them.
bool enterConditions(KRT550F1 &form)
{
    click(txt(form, "txt_Tax_From", 1));
    QTest::keyClicks(txt(form, "txt_Tax_From", 1), QStringLiteral("8"));
    click(txt(form, "txt_Tax_To", 1));
    QTest::keyClicks(txt(form, "txt_Tax_To", 1), QStringLiteral("10"));
    click(opt(form, "opt_Round"));
    click(opt(form, "opt_Keta", 0));
    click(opt(form, "opt_RoundDown_Add"));
    click(opt(form, "opt_Keta_Add", 0));
    const ConversionParams &params = control<ConditionPanel>(form, "pic_Jyoukein")->params();
    return form.selectedCalcMethod() == 1 && params.TAX_ST[1] == QStringLiteral("8") &&
           params.TAX_END[1] == QStringLiteral("10") && params.HASU_FLG[Goods] == HasuRoundHalfUp &&
           params.HASU_FLG[AddOn] == HasuRoundDown && params.HASU_ICHI[Goods] == 0 &&
           params.HASU_ICHI[AddOn] == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // A write beyond the file size limit fails with an error instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QCommandLineParser parser;
    const QCommandLineOption todayOption(QStringLiteral("today"), QStringLiteral("workstation date"),
                                         QStringLiteral("yyyy-MM-dd"));
    const QCommandLineOption waitOption(QStringLiteral("wait"), QStringLiteral("wait for a line on stdin"));
    const QCommandLineOption faultOption(QStringLiteral("fault"), QStringLiteral("storage fault"),
                                         QStringLiteral("readonly|nowrite|diskfull"));
    const QCommandLineOption faultAtOption(QStringLiteral("fault-at"), QStringLiteral("statement position"),
                                           QStringLiteral("N"));
    const QCommandLineOption killBeforeOption(
        QStringLiteral("kill-before"), QStringLiteral("end before the statement"), QStringLiteral("N"));
    const QCommandLineOption killAfterOption(QStringLiteral("kill-after"),
                                             QStringLiteral("end after the statement"), QStringLiteral("N"));
    parser.addOptions(
        {todayOption, waitOption, faultOption, faultAtOption, killBeforeOption, killAfterOption});
    parser.process(app);

    QStringList boxes;
    MessageBoxes::setResponder([&boxes](const BoxRequest &request) {
        // The operator of a trial confirms the run.
        if (request.kind == BoxRequest::Kind::Confirmation)
            return mb::IdYes;
        const QString box = request.kind == BoxRequest::Kind::Plain ? request.text : request.msgNo;
        boxes.append(box);
        say(QStringLiteral("box ") + box);
        return mb::IdOk;
    });

    FirstConnect = true;
    BunruiCheckOK = false;
    KRT550F1 form;
    if (parser.isSet(todayOption))
        form.clock().setFixed(QDateTime(
            QDate::fromString(parser.value(todayOption), QStringLiteral("yyyy-MM-dd")), QTime(12, 0)));
    form.Form_Load();
    form.show();
    form.activateWindow();
    if (!QTest::qWaitForWindowActive(&form) || form.selectedCalcMethod() != 1 || !form.connection())
        return NotReady;
    if (!enterConditions(form)) {
        say(QStringLiteral("the conditions could not be entered"));
        return NotReady;
    }
    say(QStringLiteral("ready %1").arg(control<CategoryGrid>(form, "lstTbl")->Rows()));
    if (parser.isSet(waitOption)) {
        std::string line;
        std::getline(std::cin, line);
    }

    int statements = 0;
    int records = 0;
    const QString fault = parser.value(faultOption);
    const int faultAt = parser.value(faultAtOption).toInt();
    const int killBefore = parser.value(killBeforeOption).toInt();
    const int killAfter = parser.value(killAfterOption).toInt();
    Connection &connection = *form.connection();
    QElapsedTimer timer;
    qint64 lastStatementMs = 0;
    connection.setStatementHook([&](const QString &sql) -> std::optional<QString> {
        if (sql.startsWith(QStringLiteral("UPDATE MITEMCNT SET UPDATE_DATE")))
            ++records;
        lastStatementMs = timer.isValid() ? timer.elapsed() : 0;
        if (++statements == faultAt)
            injectFault(fault, connection);
        if (statements == killBefore)
            killSelf(sql);
        if (statements == killAfter) {
            carryOut(connection, sql);
            killSelf(sql);
        }
        return std::nullopt;
    });

    boxes.clear();
    say(QStringLiteral("running"));
    timer.start();
    form.QLB347U11_FKeyClick(1);
    say(QStringLiteral("done %1 %2 %3 %4")
            .arg(timer.elapsed())
            .arg(statements)
            .arg(records)
            .arg(lastStatementMs));
    if (boxes.contains(QStringLiteral("40275")))
        return Failed;
    return boxes == QStringList{QStringLiteral("10009")} ? Completed : Other;
}
