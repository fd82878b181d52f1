#include "installation/installation.h"

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

// Starts the real program as the operator's desktop does.
class TestStartup : public QObject
{
    Q_OBJECT

private:
    QProcessEnvironment environment(const QString &root) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), krt::install::configFolder(root));
        env.insert(QStringLiteral("TMCS_DRIVE_ROOT"), krt::install::drivesFolder(root));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("krt.instance.info=true"));
        return env;
    }

    void start(QProcess &process, const QString &root) const
    {
        process.setProcessEnvironment(environment(root));
        process.setProgram(QStringLiteral(KRT550_EXECUTABLE));
        process.start();
    }

    bool install(const QString &root, bool dupApi) const
    {
        krt::install::Options options;
        options.root = root;
        options.databases = 1;
        options.categories = 6;
        options.goods = 50;
        options.stock = 50;
        options.movements = 50;
        if (!krt::install::createInstallation(options).error.isEmpty())
            return false;
        if (dupApi) {
            QSettings ini(krt::install::settingsFile(root), QSettings::IniFormat);
            ini.setValue(QStringLiteral("Common/DupAPI"), QStringLiteral("1"));
        }
        return true;
    }

private Q_SLOTS:
    void aSecondStartEndsAndBringsTheFirstForward_data()
    {
        QTest::addColumn<bool>("dupApi");
        QTest::newRow("DupAPI absent") << false;
        QTest::newRow("DupAPI 1") << true;
    }
    void aSecondStartEndsAndBringsTheFirstForward()
    {
        QFETCH(bool, dupApi);
        QTemporaryDir root;
        QVERIFY(install(root.path(), dupApi));

        QProcess first;
        first.setProcessChannelMode(QProcess::MergedChannels);
        start(first, root.path());
        QVERIFY(first.waitForStarted());
        // Give the first instance the time to load its database and show its form.
        QTest::qWait(1500);
        QVERIFY(first.state() == QProcess::Running);

        QProcess second;
        second.setProcessChannelMode(QProcess::MergedChannels);

        start(second, root.path());
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(!second.readAll().contains("activation"));

        QTest::qWait(1000);
        const QByteArray firstOutput = first.readAll();
        QCOMPARE(firstOutput.contains("activation requested"), !dupApi);
        QVERIFY(first.state() == QProcess::Running);
        first.terminate();
        QVERIFY(first.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
