#include "platform/clock.h"
#include "platform/settingsstore.h"
#include "platform/singleinstance.h"
#include "widgets/functionkeybar.h"

#include <QDir>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace krt;

// The function-key bar, the settings store and the single-instance guard.
class TestShellParts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
};

QTEST_MAIN(TestShellParts)
#include "tst_shell_parts.moc"
