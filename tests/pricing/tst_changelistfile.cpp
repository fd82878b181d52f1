#include "pricing/changelistfile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace krt::pricing;

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestChangeListFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A change list reads back field for field whatever its quoting, line ends and mark; a file
    // cut inside a quoted field or a row that does not fit the header is refused with the row.
    // The records are written here with their fields between '|'.
    void aChangeListReadsBackFieldForField_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QString>("error");
        const QString header = QStringLiteral("分類コード|名前|変更");
        QTest::newRow("mark, CRLF") << QByteArray("\xEF\xBB\xBF分類コード,名前,変更\r\nA,x,1\r\n")
                                    << QStringList{header, QStringLiteral("A|x|1")} << QString();
        QTest::newRow("quoted comma, quote and line ends")
            << QByteArray("分類コード,名前,変更\r\nA,\"x,\"\"y\"\"\r\nz\",1\r\nB,\"\",0\r\n")
            << QStringList{header, QStringLiteral("A|x,\"y\"\r\nz|1"), QStringLiteral("B||0")} << QString();
        QTest::newRow("LF, empty fields, no last line end")
            << QByteArray("分類コード,名前,変更\nA,,\n,,1")
            << QStringList{header, QStringLiteral("A||"), QStringLiteral("||1")} << QString();
        QTest::newRow("cut inside a quote")
            << QByteArray("分類コード,名前,変更\r\nA,\"x,1\r\n") << QStringList()
            << QStringLiteral("2 行目の引用符が閉じていません");
        QTest::newRow("a row short of the header")
            << QByteArray("分類コード,名前,変更\r\nA,x,1\r\nB,y\r\n") << QStringList()
            << QStringLiteral("3 行目の項目数 2 が見出しの 3 と違います");
        QTest::newRow("empty") << QByteArray("\xEF\xBB\xBF") << QStringList()
                               << QStringLiteral("空のファイルです");
    }
    void aChangeListReadsBackFieldForField()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, records);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("list.csv"));
        QVERIFY(writeFile(path, bytes));
        const ChangeListContent content = readChangeList(path);
        QCOMPARE(content.error, error);
        QStringList read;
        if (!content.header.isEmpty())
            read.append(content.header.join(QLatin1Char('|')));
        for (const QStringList &row : content.rows)
            read.append(row.join(QLatin1Char('|')));
        QCOMPARE(read, records);
    }

    // The runs of one catalog, newest first, with a killed run's list marked; other catalogs'
    // lists, journals and foreign files are no runs.
    void theRunsOfACatalogAreListedNewestFirst()
    {
        QTemporaryDir dir;
        for (const char *name : {"20301231-235959-TMCS00.csv", "20310101-120000-TMCS00.csv",
                                 "20310101-120000-TMCS00.csv.pending", "20310101-090000-TMCS00.csv",
                                 "20310102-080000-TMCS01.csv", "notes-TMCS00.csv"})
            QVERIFY(writeFile(dir.filePath(QString::fromLatin1(name)), "x"));
        QStringList listed;
        for (const ChangeListRun &run : changeListFiles(dir.path(), QStringLiteral("TMCS00")))
            listed.append(run.path.mid(dir.path().size() + 1) + QLatin1Char(' ') +
                          run.start.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")) +
                          (run.incomplete ? QStringLiteral(" incomplete") : QString()));
        QCOMPARE(listed,
                 QStringList({QStringLiteral("20310101-120000-TMCS00.csv 2031/01/01 12:00:00 incomplete"),
                              QStringLiteral("20310101-090000-TMCS00.csv 2031/01/01 09:00:00"),
                              QStringLiteral("20301231-235959-TMCS00.csv 2030/12/31 23:59:59")}));
        QVERIFY(changeListFiles(dir.filePath(QStringLiteral("missing")), QStringLiteral("TMCS00")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestChangeListFile)
#include "tst_changelistfile.moc"
