#include "platform/clock.h"
#include "platform/settingsstore.h"
#include "platform/singleinstance.h"
#include "widgets/functionkeybar.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

using namespace krt;

// The function-key bar, the settings store and the single-instance guard.
class TestShellParts : public QObject
{
    Q_OBJECT

    // The user's own run-time folder, where the single-instance guard keeps its socket.
    QTemporaryDir m_runtime;

private Q_SLOTS:
    void init() { qputenv("XDG_RUNTIME_DIR", m_runtime.path().toUtf8()); }

    void keysRaiseTheirNumberOnlyWhenEnabled()
    {
        Clock clock;
        QWidget window;
        auto *bar = new QLB347U1(clock, &window);
        bar->resize(1000, 700);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        bar->setFKeyCaption(6, QStringLiteral("06 分類ﾁｪｯｸ"));
        bar->setFKeyEnabled(6, true);
        QCOMPARE(bar->FKeyCaption(6), QStringLiteral("06 分類ﾁｪｯｸ"));
        QSignalSpy spy(bar, &QLB347U1::FKeyClick);

        QTest::keyClick(&window, Qt::Key_F6);
        QTest::mouseClick(bar->keyButton(6), Qt::LeftButton);
        QTest::keyClick(&window, Qt::Key_F1); // disabled
        QTest::mouseClick(bar->keyButton(1), Qt::LeftButton);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0).value<short>(), short(6));
        QCOMPARE(spy.at(1).at(0).value<short>(), short(6));
        QVERIFY(!bar->FKeyEnabled(0));
        QVERIFY(!bar->FKeyEnabled(13));
    }

    void businessDateIsTodayUnlessFixed()
    {
        Clock clock;
        clock.setFixed(QDateTime(QDate(2026, 9, 30), QTime(23, 59)));
        QLB347U1 bar(clock);
        QCOMPARE(bar.BusinessDate(), QDate(2026, 9, 30));
        bar.setFixedBusinessDate(QDate(2026, 10, 1));
        QCOMPARE(bar.BusinessDate(), QDate(2026, 10, 1));
    }

    void settingsComeFromTheFamilyIniFile()
    {
        QTemporaryDir dir;
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        QCOMPARE(settings::storeLocation(), dir.filePath(QStringLiteral("VELD/TMCS.ini")));
        QCOMPARE(settings::GetSetting(settings::Common, QStringLiteral("area"), QStringLiteral("x")),
                 QStringLiteral("x"));
        settings::SaveSetting(settings::Common, QStringLiteral("DBPARMS"),
                              QStringLiteral("Provider=SQLite;Initial Catalog=TMCS00;Data Source=/d;"));
        settings::SaveSetting(settings::Version, QStringLiteral("Invent"), QStringLiteral("Ver1.00 R12"));
        QCOMPARE(settings::GetSetting(settings::Common, QStringLiteral("DBPARMS")),
                 QStringLiteral("Provider=SQLite;Initial Catalog=TMCS00;Data Source=/d;"));
        QCOMPARE(settings::GetSetting(settings::Version, QStringLiteral("Invent")),
                 QStringLiteral("Ver1.00 R12"));
        QCOMPARE(settings::GetSetting(settings::Version, QStringLiteral("DBPARMS")), QString());

        QFile ini(dir.filePath(QStringLiteral("VELD/TMCS.ini")));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray text = ini.readAll();
        QVERIFY(text.contains("[Common]"));
        QVERIFY(text.contains("[Version]"));
    }

    // Connection texts written by the family's tools or by hand are unquoted and hold ";", ","
    // and "="; Qt's own quoted form must keep working beside them.
    void connectionTextsAreReadWholeQuotedOrNot_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("expected");
        const QString text = QStringLiteral("Provider=SQLOLEDB;Initial Catalog=TMCS00;Data Source=srv,1433;");
        QTest::newRow("unquoted") << QByteArray("DBPARMS=Provider=SQLOLEDB;Initial Catalog=TMCS00;"
                                                "Data Source=srv,1433;")
                                  << text;
        QTest::newRow("unquoted, blanks around")
            << QByteArray("DBPARMS = Provider=SQLOLEDB;Initial Catalog=TMCS00;"
                          "Data Source=srv,1433;  ")
            << text;
        QTest::newRow("quoted") << QByteArray("DBPARMS=\"Provider=SQLOLEDB;Initial Catalog=TMCS00;"
                                              "Data Source=srv,1433;\"")
                                << text;
        QTest::newRow("named instance, unquoted")
            << QByteArray("DBPARMS=Provider=SQLOLEDB;Initial Catalog=TMCS00;Data Source=srv\\SQLEXPRESS;")
            << QStringLiteral("Provider=SQLOLEDB;Initial Catalog=TMCS00;Data Source=srv\\SQLEXPRESS;");
        QTest::newRow("named instance, quoted by Qt")
            << QByteArray(
                   "DBPARMS=\"Provider=SQLOLEDB;Initial Catalog=TMCS00;Data Source=srv\\\\SQLEXPRESS;\"")
            << QStringLiteral("Provider=SQLOLEDB;Initial Catalog=TMCS00;Data Source=srv\\SQLEXPRESS;");
        QTest::newRow("password with comma and equals, unquoted")
            << QByteArray("DBPARMS=Provider=SQLOLEDB;Initial Catalog=TMCS00;Data Source=s;Password=a,b=c;")
            << QStringLiteral("Provider=SQLOLEDB;Initial Catalog=TMCS00;Data Source=s;Password=a,b=c;");
        QTest::newRow("Japanese, unquoted") << QByteArray("DBPARMS=Provider=SQLite;Initial Catalog=TMCS00;"
                                                          "Data Source=/データ;")
                                            << QStringLiteral("Provider=SQLite;Initial Catalog=TMCS00;"
                                                              "Data Source=/データ;");
    }

    void connectionTextsAreReadWholeQuotedOrNot()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("VELD")));
        QFile ini(dir.filePath(QStringLiteral("VELD/TMCS.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        // The same key in another section must not be taken.
        ini.write("[Version]\nDBPARMS=wrong\nInvent=Ver1.00 R12\n\n[Common]\narea=\n" + line +
                  "\nDBPARMC=Provider=x;Initial Catalog=TMCS01;Data Source=y;\n");
        ini.close();
        QCOMPARE(settings::GetSetting(settings::Common, QStringLiteral("DBPARMS")), expected);
        QCOMPARE(settings::GetSetting(settings::Common, QStringLiteral("DBPARMC")),
                 QStringLiteral("Provider=x;Initial Catalog=TMCS01;Data Source=y;"));
        QCOMPARE(settings::GetSetting(settings::Version, QStringLiteral("Invent")),
                 QStringLiteral("Ver1.00 R12"));
        QCOMPARE(settings::GetSetting(settings::Common, QStringLiteral("area"), QStringLiteral("x")),
                 QString());
        QCOMPARE(settings::GetSetting(settings::Common, QStringLiteral("missing"), QStringLiteral("d")),
                 QStringLiteral("d"));
    }

    // A line appended to a file such as the run log is there whole, in UTF-8, or the caller
    // learns the system's reason: on a full device the write itself succeeds into a buffer.
    void aLineIsAppendedWholeOrTheReasonIsGiven()
    {
        const QString line = QStringLiteral("2031/10/01 21:30:00\tTMCS00\t結果=正常終了");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("VELD/KRT550.log"));
        const std::optional<QString> written = settings::appendLine(path, line);
        QVERIFY2(!written, qPrintable(written.value_or(QString())));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray(u8"2031/10/01 21:30:00\tTMCS00\t結果=正常終了\n"));

        if (!QFileInfo(QStringLiteral("/dev/full")).isWritable())
            QSKIP("this system has no /dev/full");
        const std::optional<QString> full = settings::appendLine(QStringLiteral("/dev/full"), line);
        QVERIFY(full);
        QCOMPARE(*full, QStringLiteral("No space left on device"));
    }

    void aSecondInstanceFindsTheFirstAndAsksItToComeForward()
    {
        QTemporaryDir dir;
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        SingleInstance first;
        QVERIFY(!first.previousInstanceRunning());
        QVERIFY(first.listen());
        QSignalSpy activated(&first, &SingleInstance::activationRequested);

        SingleInstance second;
        QCOMPARE(second.serverName(), first.serverName());
        QVERIFY(second.previousInstanceRunning());
        QVERIFY(!second.requestActivation());
        QTRY_COMPARE(activated.count(), 1);
    }

    void anotherUsersStoreIsAnotherInstance()
    {
        QTemporaryDir a;
        QTemporaryDir b;
        qputenv("XDG_CONFIG_HOME", a.path().toUtf8());
        SingleInstance first;
        QVERIFY(first.listen());
        qputenv("XDG_CONFIG_HOME", b.path().toUtf8());
        SingleInstance other;
        QVERIFY(!other.previousInstanceRunning());
        const auto failure = other.requestActivation();
        QVERIFY(failure);
        QVERIFY(!failure->description.isEmpty());
    }

    // Only an instance that answers the guard's requests keeps a start from running: the guard is
    // taken over whatever else sits on its name, and a later start finds it and brings it forward.
    void onlyAnAnsweringInstanceStopsTheStart_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::newRow("silent listener on the guard's socket") << QStringLiteral("silent");
        QTest::newRow("echoing listener on the guard's socket") << QStringLiteral("echo");
        QTest::newRow("plain file on the guard's socket") << QStringLiteral("file");
    }
    void onlyAnAnsweringInstanceStopsTheStart()
    {
        QFETCH(QString, obstacle);
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        SingleInstance first;
        QLocalServer foreign;
        QFile file(first.serverName());
        if (obstacle == QStringLiteral("file")) {
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else {
            QVERIFY(foreign.listen(first.serverName()));
        }
        if (obstacle == QStringLiteral("echo"))
            connect(&foreign, &QLocalServer::newConnection, &foreign, [&foreign] {
                while (QLocalSocket *peer = foreign.nextPendingConnection())
                    connect(peer, &QLocalSocket::readyRead, peer, [peer] { peer->write(peer->readAll()); });
            });

        QVERIFY(!first.previousInstanceRunning());
        QVERIFY(first.listen());
        QSignalSpy activated(&first, &SingleInstance::activationRequested);
        SingleInstance second;
        QVERIFY(second.previousInstanceRunning());
        QVERIFY(!second.requestActivation());
        QTRY_COMPARE(activated.count(), 1);
    }

    void theGuardsSocketIsTheUsersAlone()
    {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        SingleInstance guard;
        QVERIFY(guard.listen());
        const QFileInfo socket(guard.serverName());
        QVERIFY(socket.exists());
        QCOMPARE(socket.absolutePath(), m_runtime.path());
        const QFileInfo folder(socket.absolutePath());
        QCOMPARE(folder.ownerId(), QFileInfo(config.path()).ownerId());
        constexpr QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                              QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
        QCOMPARE((folder.permissions() & others).toInt(), 0);
        QCOMPARE((socket.permissions() & others).toInt(), 0);
    }

    // When the guard cannot be taken the program still starts, without it, and says why.
    void anUntakableGuardLetsTheStartGoOnWithANote_data()
    {
        QTest::addColumn<bool>("folderInTheWay");
        QTest::newRow("a folder where the socket belongs") << true;
        QTest::newRow("no run-time folder of the user's own") << false;
    }
    void anUntakableGuardLetsTheStartGoOnWithANote()
    {
        QFETCH(bool, folderInTheWay);
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        QTemporaryDir open;
        QTemporaryFile notAFolder;
        QVERIFY(notAFolder.open());
        const QByteArray temp = qgetenv("TMPDIR");
        const auto restore = qScopeGuard([&temp] { qputenv("TMPDIR", temp); });
        if (!folderInTheWay) {
            // The given folder is open to all, and the fallback under the temporary folder cannot
            // be made.
            QVERIFY(QFile::setPermissions(open.path(), QFile::Permissions(0x7777)));
            qputenv("XDG_RUNTIME_DIR", open.path().toUtf8());
            qputenv("TMPDIR", notAFolder.fileName().toUtf8());
        }
        SingleInstance guard;
        if (folderInTheWay)
            QVERIFY(QDir().mkpath(guard.serverName()));
        QVERIFY(!guard.previousInstanceRunning());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(
                                               "^running without the single-instance guard: .")));
        QVERIFY(!guard.listen());
    }
};

QTEST_MAIN(TestShellParts)
#include "tst_shell_parts.moc"
