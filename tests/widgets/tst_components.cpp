#include "support/testcatalog.h"
#include "widgets/unmatchedpreview.h"

#include <QApplication>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

using namespace krt;

namespace {

// Masters with one sub-category of kind '71' under A01, one of another kind, and one under B02.
const QString Masters = QStringLiteral(R"(
INSERT INTO MITEMCD VALUES ('A01', '衣料', '0', '1');
INSERT INTO MITEMCD VALUES ('B02', '食品', '1', '0');
INSERT INTO MITEMDTL VALUES ('A01', '71', 1, 'シャツ');
INSERT INTO MITEMDTL VALUES ('A01', '72', 2, '別の種類');
INSERT INTO MITEMDTL VALUES ('B02', '71', 3, '菓子');
)");

// Goods of known keys only: the major category alone (no or 0 sub-category), a known
// sub-category, a tax-free category; stock and movements of known keys.
const QString MatchedGoods = QStringLiteral(R"(
INSERT INTO MGOODS (JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD) VALUES ('G1', 'A01', NULL);
INSERT INTO MGOODS (JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD) VALUES ('G2', 'A01', 0);
INSERT INTO MGOODS (JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD) VALUES ('G3', 'A01', 1);
INSERT INTO MGOODS (JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD) VALUES ('G4', 'B02', 3);
INSERT INTO IZAIKO (TENPO_CD, JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD) VALUES ('T1', 'G3', 'A01', 1);
INSERT INTO IIODATA (IO_YM, TENPO_CD, JAN_CD, IO_KBN, IO_SEQ, DAI_BUNRUI_CD, CHU_BUNRUI_CD)
  VALUES (201403, 'T1', 'G9', '1', 1, 'D55', 9);
)");

// Goods whose keys the masters lack: a sub-category of another kind, one of another major
// category, a major category without a master row (twice, with and without 0); in stock only, a
// further unknown key held by two stores.
const QString UnmatchedGoods = QStringLiteral(R"(
INSERT INTO MGOODS (JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD) VALUES ('U1', 'A01', 2);
INSERT INTO MGOODS (JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD) VALUES ('U2', 'A01', 2);
INSERT INTO MGOODS (JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD) VALUES ('U3', 'A01', 3);
INSERT INTO MGOODS (JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD) VALUES ('U4', 'Z99', NULL);
INSERT INTO MGOODS (JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD) VALUES ('U5', 'Z99', 0);
INSERT INTO IZAIKO (TENPO_CD, JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD) VALUES ('T1', 'U1', 'A01', 2);
INSERT INTO IZAIKO (TENPO_CD, JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD) VALUES ('T1', 'S1', 'C77', 4);
INSERT INTO IZAIKO (TENPO_CD, JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD) VALUES ('T2', 'S1', 'C77', 4);
)");

} // namespace

class TestComponents : public QObject
{
    Q_OBJECT

private:
    testing::OpenCatalog m_db;

    bool open(const QString &script = {}) { return m_db.open(script); }

    // The text lines of the unmatched list the component prints.
    QStringList printedLines(QLM522C1 &check)
    {
        QStringList lines;
        QLM522C1::setPreviewSeam([&lines](const QTextDocument &document) {
            lines = document.toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        });
        check.PrintUnMutch(1);
        QLM522C1::setPreviewSeam({});
        return lines;
    }

private Q_SLOTS:
    void cleanup()
    {
        QLM522C1::setPreviewSeam({});
        m_db.reset();
    }

    void knownCategoriesPassTheCheckInBothModes_data()
    {
        QTest::addColumn<int>("honShiten");
        QTest::newRow("stock converted later") << 0;
        QTest::newRow("stock converted directly") << 1;
    }
    void knownCategoriesPassTheCheckInBothModes()
    {
        QFETCH(int, honShiten);
        QVERIFY(open(Masters + MatchedGoods));
        QLM522C1 check(&m_db.conn());
        check.setHonShiten(honShiten);
        QCOMPARE(check.GetUnMutch(), short(0));
    }

    // Goods are counted per key with the category key columns alone (a family database need not
    // have a goods code column of any particular name); with the stock checked, stock rows too.
    void unknownKeysAreListedWithTheirRowCounts_data()
    {
        QTest::addColumn<int>("honShiten");
        QTest::addColumn<short>("expected");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("goods only") << 0 << short(3)
                                    << QStringList(
                                           {QStringLiteral("大分類コード"), QStringLiteral("中分類番号"),
                                            QStringLiteral("商品数"), QStringLiteral("A01"),
                                            QStringLiteral("2"), QStringLiteral("2"), QStringLiteral("A01"),
                                            QStringLiteral("3"), QStringLiteral("1"), QStringLiteral("Z99"),
                                            QStringLiteral("0"), QStringLiteral("2")});
        // The stock adds one key; U1 is in stock too, and S1 is one good in two stores.
        QTest::newRow("goods and stock") << 1 << short(4)
                                         << QStringList({QStringLiteral("大分類コード"),
                                                         QStringLiteral("中分類番号"),
                                                         QStringLiteral("商品数"),
                                                         QStringLiteral("在庫数"),
                                                         QStringLiteral("A01"),
                                                         QStringLiteral("2"),
                                                         QStringLiteral("2"),
                                                         QStringLiteral("1"),
                                                         QStringLiteral("A01"),
                                                         QStringLiteral("3"),
                                                         QStringLiteral("1"),
                                                         QStringLiteral("0"),
                                                         QStringLiteral("C77"),
                                                         QStringLiteral("4"),
                                                         QStringLiteral("0"),
                                                         QStringLiteral("2"),
                                                         QStringLiteral("Z99"),
                                                         QStringLiteral("0"),
                                                         QStringLiteral("2"),
                                                         QStringLiteral("0")});
    }
    void unknownKeysAreListedWithTheirRowCounts()
    {
        QFETCH(int, honShiten);
        QFETCH(short, expected);
        QFETCH(QStringList, listed);
        QVERIFY(open(Masters + MatchedGoods + UnmatchedGoods));
        QLM522C1 check(&m_db.conn());
        check.setHonShiten(honShiten);
        QCOMPARE(check.GetUnMutch(), expected);

        const QStringList lines = printedLines(check);
        QVERIFY(!lines.isEmpty());
        QCOMPARE(lines.first(), QStringLiteral("分類不一致リスト"));
        const qsizetype headings = lines.indexOf(QStringLiteral("大分類コード"));
        QVERIFY(headings > 0);
        QCOMPARE(lines.mid(headings, listed.size()), listed);
    }

    // The heading: the database's catalog, the moment of the check and the totals of the list.
    void theListsHeadingNamesTheDatabaseTheMomentAndTheTotals_data()
    {
        QTest::addColumn<int>("honShiten");
        QTest::addColumn<QString>("totals");
        // U1 to U5 under three keys; with the stock, C77 joins with its two stock rows and U1's one.
        QTest::newRow("goods only") << 0 << QStringLiteral("不一致分類 3 件、商品 5 件");
        QTest::newRow("goods and stock") << 1 << QStringLiteral("不一致分類 4 件、商品 5 件、在庫 3 件");
    }
    void theListsHeadingNamesTheDatabaseTheMomentAndTheTotals()
    {
        QFETCH(int, honShiten);
        QFETCH(QString, totals);
        QVERIFY(open(Masters + MatchedGoods + UnmatchedGoods));
        QLM522C1 check(&m_db.conn());
        check.setHonShiten(honShiten);
        const QDateTime before = QDateTime::currentDateTime().addMSecs(-1000);
        QVERIFY(check.GetUnMutch() != 0);
        const QDateTime after = QDateTime::currentDateTime();
        QTest::qWait(1100); // printing later keeps the moment of the check
        const QStringList lines = printedLines(check);
        QVERIFY(lines.size() > 4);
        QCOMPARE(lines[0], QStringLiteral("分類不一致リスト"));
        QCOMPARE(lines[1], QStringLiteral("データベース TMCS00"));
        QVERIFY2(lines[2].startsWith(QStringLiteral("チェック日時 ")), qPrintable(lines[2]));
        const QDateTime checkedAt =
            QDateTime::fromString(lines[2].mid(7), QStringLiteral("yyyy/MM/dd HH:mm:ss"));
        QVERIFY2(checkedAt >= before && checkedAt <= after, qPrintable(lines[2]));
        QCOMPARE(lines[3], totals);
    }

    void theListFollowsAChangedMode()
    {
        QVERIFY(open(Masters + MatchedGoods + UnmatchedGoods));
        QLM522C1 check(&m_db.conn());
        QCOMPARE(check.GetUnMutch(), short(3));
        check.setHonShiten(1);
        QVERIFY(printedLines(check).contains(QStringLiteral("C77")));
        QCOMPARE(check.GetUnMutch(), short(4));
    }

    void anUnreadableDatabaseThrows()
    {
        QVERIFY(open(Masters + QStringLiteral("DROP TABLE IZAIKO;")));
        QLM522C1 check(&m_db.conn());
        QCOMPARE(check.GetUnMutch(), short(0));
        check.setHonShiten(1);
        try {
            check.GetUnMutch();
            QFAIL("no failure reported");
        } catch (const ComponentError &error) {
            QVERIFY(error.number != 0);
            QCOMPARE(error.source, QStringLiteral("QLM522.QLM522C1"));
            QVERIFY2(error.description.contains(QStringLiteral("IZAIKO")), qPrintable(error.description));
        }
        QVERIFY_THROWS_EXCEPTION(ComponentError, check.PrintUnMutch(1));

        QLM522C1 unconnected(nullptr);
        QVERIFY_THROWS_EXCEPTION(ComponentError, unconnected.GetUnMutch());
        Connection closed;
        QLM522C1 onClosed(&closed);
        QVERIFY_THROWS_EXCEPTION(ComponentError, onClosed.GetUnMutch());
    }

    void theListOpensInAModalPrintPreview()
    {
        QVERIFY(open(Masters + UnmatchedGoods));
        QLM522C1 check(&m_db.conn());
        QString title;
        bool wasPreview = false;
        int pages = 0;
        QTimer closer;
        closer.setInterval(50);
        connect(&closer, &QTimer::timeout, &closer, [&] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                title = modal->windowTitle();
                wasPreview = qobject_cast<QPrintPreviewDialog *>(modal) != nullptr;
                if (const auto *pagesShown = modal->findChild<QPrintPreviewWidget *>())
                    pages = pagesShown->pageCount();
                modal->close();
            }
        });
        closer.start();
        check.PrintUnMutch(1);
        closer.stop();
        QVERIFY(wasPreview);
        QCOMPARE(pages, 1);
        QCOMPARE(title, QStringLiteral("分類不一致リスト"));
    }
};

QTEST_MAIN(TestComponents)
#include "tst_components.moc"
