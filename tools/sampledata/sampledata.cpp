#include "sampledata/sampledata.h"

#include "catalog/catalogfile.h"
#include "sampledata/inserter.h"

#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <array>
#include <functional>
#include <initializer_list>
#include <vector>

namespace krt::install {

namespace {

const std::array MajorNames = {
    "食品",   "日用品",     "衣料",     "文具", "酒類", "飲料",   "菓子",     "冷凍食品",
    "日配品", "青果",       "鮮魚",     "精肉", "惣菜", "調味料", "家電",     "化粧品",
    "医薬品", "ペット用品", "園芸用品", "寝具", "玩具", "書籍",   "台所用品", "履物",
};
const std::array TaxFreeNames = {"商品券", "切手・はがき", "収入印紙", "プリペイドカード"};
const std::array SubNames = {
    "国産",       "輸入",         "定番",     "季節",   "特売",     "ギフト",   "大容量", "小分け",
    "業務用",     "自社ブランド", "限定",     "新商品", "詰替用",   "徳用",     "お試し", "地域限定",
    "贈答",       "有機",         "低価格",   "高級",   "子供向け", "家族向け", "単品",   "セット",
    "まとめ買い", "季節限定",     "店内加工", "取寄せ", "催事",     "常温",     "冷蔵",   "冷凍",
};
const std::array GoodsWords = {
    "しょうゆ",     "みそ",     "食用油",  "即席めん",   "精米",         "ティッシュペーパー",
    "洗濯用洗剤",   "歯ブラシ", "Tシャツ", "靴下",       "ボールペン",   "ノート",
    "ビール",       "日本酒",   "緑茶",    "天然水",     "チョコレート", "せんべい",
    "冷凍ギョーザ", "牛乳",     "鶏卵",    "りんご",     "さけ切身",     "豚こま",
    "幕の内弁当",   "乾電池",   "化粧水",  "かぜ薬",     "ドッグフード", "培養土",
    "まくら",       "積み木",   "文庫本",  "フライパン", "スニーカー",
};
const std::array GoodsSizes = {"500ml", "1kg", "12個入", "Mサイズ", "徳用", "3本組", "小", "大", "2L", "6缶"};
// Prices without tax; the stored prices include 8 % of tax on top.
const std::array NetPrices = {98,  100, 120,  150,  180,  198,  200,  250,  298,  300,  398,  450,  500,  680,
                              798, 980, 1000, 1280, 1480, 1980, 2000, 2980, 3000, 4980, 5000, 9800, 10000};
const std::array AddOnPrices = {54, 108, 216, 324, 540};
const std::array MovementKinds = {"1", "2", "3", "4"}; // receipt, sale, return, transfer

const QString OldTimestamp = QStringLiteral("2014/04/01 00:00:00");

class Random
{
public:
    explicit Random(quint32 seed)
        : m_gen(seed)
    {}
    int below(int n) { return static_cast<int>(m_gen.bounded(static_cast<quint32>(n))); }
    int between(int low, int high) { return low + below(high - low + 1); }
    bool chance(double p) { return m_gen.generateDouble() < p; }
    double unit() { return m_gen.generateDouble(); }
    template <typename T, std::size_t N> const T &pick(const std::array<T, N> &items)
    {
        return items[static_cast<std::size_t>(below(static_cast<int>(N)))];
    }

private:
    QRandomGenerator m_gen;
};

struct Major
{
    QString code;
    QString name;
    bool taxFree = false;
    bool inventory = false;
    int subs = 0; // sub-categories of kind '71', numbered 1..subs
};

// A category key of the price tables: a major category and a sub-category number, 0 for the
// major category as a whole.
struct Slot
{
    int major;
    int sub;
};

struct Good
{
    int slot;
    bool nullSub; // CHU_BUNRUI_CD Null instead of 0 on a major-category good
    std::array<int, 3> prices;
};

// A 13-digit JAN code: prefix 49, a running number and the check digit.
QString janCode(qint64 number)
{
    QString digits = QStringLiteral("49%1").arg(number, 10, 10, QLatin1Char('0'));
    int sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += digits.at(i).digitValue() * (i % 2 == 0 ? 1 : 3);
    digits += QString::number((10 - sum % 10) % 10);
    return digits;
}

int monthsBefore(int yyyymm, int months)
{
    const int index = yyyymm / 100 * 12 + yyyymm % 100 - 1 - months;
    return index / 12 * 100 + index % 12 + 1;
}

int currentYearMonth()
{
    const QDate today = QDate::currentDate();
    return today.year() * 100 + today.month();
}

// Prepared INSERTs with bound values that take many rows per statement: the rows are
// collected and sent in groups, which spares most of the per-statement work for large tables.

const QVariant NullNumber = QVariant(QMetaType::fromType<int>());

class CatalogWriter
{
public:
    CatalogWriter(const QSqlDatabase &db, const Options &options, quint32 seed)
        : m_db(db)
        , m_options(options)
        , m_random(seed)
        , m_sysYm(options.sysYm != 0 ? options.sysYm : currentYearMonth())
        , m_stockTake(options.stockTake.isValid() ? options.stockTake : QDate::currentDate())
    {}

    QString write(CatalogFigures &figures)
    {
        makeCategories();
        QString error = writeParameters();
        if (error.isEmpty())
            error = writeCategories();
        if (error.isEmpty())
            error = writeGoods();
        if (error.isEmpty())
            error = writeStock();
        if (error.isEmpty())
            error = writeMovements();
        if (error.isEmpty())
            error = writeStockTakes();
        figures.workList = m_workList;
        figures.goods = static_cast<qint64>(m_goods.size()) + m_options.unmatched;
        figures.stock = m_options.stock;
        figures.movements = m_options.movements;
        return error;
    }

private:
    // Major categories in code order: the ones the work list takes, with an eighth of tax-free
    // ones among them, and the categories' sub-categories spread unevenly.
    void makeCategories()
    {
        const int listed = std::max(1, (m_options.categories + 4) / 5);
        const int taxFree = std::max(1, listed / 8);
        const int width = std::max(3, static_cast<int>(QString::number(listed + taxFree).size()));
        int placedListed = 0;
        int placedTaxFree = 0;
        for (int k = 1; placedListed < listed || placedTaxFree < taxFree; ++k) {
            Major major;
            major.code = QStringLiteral("%1").arg(k, width, 10, QLatin1Char('0'));
            major.taxFree = placedTaxFree < taxFree && (k % 8 == 0 || placedListed == listed);
            if (major.taxFree) {
                major.name = nameFrom(TaxFreeNames, placedTaxFree++);
                major.subs = 2;
            } else {
                major.name = nameFrom(MajorNames, placedListed);
                major.inventory = placedListed % 3 == 1;
                ++placedListed;
            }
            m_majors.push_back(major);
        }
        std::vector<int> listedMajors;
        for (int i = 0; i < static_cast<int>(m_majors.size()); ++i)
            if (!m_majors[static_cast<std::size_t>(i)].taxFree)
                listedMajors.push_back(i);
        const int subs = m_options.categories - listed;
        for (int s = 0; s < subs; ++s)
            ++m_majors[static_cast<std::size_t>(listedMajors[static_cast<std::size_t>(
                           m_random.below(static_cast<int>(listedMajors.size())))])]
                  .subs;
        m_workList = listed + std::max(0, subs);
    }

    template <std::size_t N> static QString nameFrom(const std::array<const char *, N> &names, int index)
    {
        const QString name = QString::fromUtf8(names[static_cast<std::size_t>(index) % N]);
        const int round = index / static_cast<int>(N);
        return round == 0 ? name : name + QString::number(round + 1);
    }

    QString writeParameters()
    {
        const Schema &schema = m_options.schema;
        Inserter parms(m_db, schema.sysParmTable, {schema.sysParmNoColumn, schema.sysParmValueColumn});
        if (!parms.insert({1200, QString::number(m_options.stockMode)}) ||
            !parms.insert({3080, m_options.tax}))
            return parms.error();
        Inserter dates(m_db, QStringLiteral("GDATECTL"),
                       {QStringLiteral("CTL_KEY"), QStringLiteral("SYS_YM1")});
        if (!dates.insert({1, m_sysYm}))
            return dates.error();
        return finishAll({&parms, &dates});
    }

    QString writeCategories()
    {
        Inserter majors(m_db, QStringLiteral("MITEMCD"),
                        {QStringLiteral("ITEM_CD"), QStringLiteral("ITEM_NM"), QStringLiteral("TAX_FREE_FLG"),
                         QStringLiteral("INV_FLG")});
        Inserter details(m_db, QStringLiteral("MITEMDTL"),
                         {QStringLiteral("D_BUNRUI_CD"), QStringLiteral("D_ITEM_NO"),
                          QStringLiteral("D_DETAIL_NO"), QStringLiteral("D_DETAIL_NM")});
        const QString whole = QStringLiteral("（全体）");
        for (std::size_t i = 0; i < m_majors.size(); ++i) {
            const Major &major = m_majors[i];
            if (!majors.insert({major.code, major.name,
                                major.taxFree ? QStringLiteral("1") : QStringLiteral("0"),
                                major.inventory ? QStringLiteral("1") : QStringLiteral("0")}))
                return majors.error();
            // Rows the work list never takes: number 0 of kind '71', and other kinds of detail.
            if (i % 4 == 0 && !details.insert({major.code, QStringLiteral("71"), 0, whole}))
                return details.error();
            if (i % 3 == 0) {
                for (int n = 1; n <= 2; ++n)
                    if (!details.insert({major.code, QStringLiteral("72"), n,
                                         QStringLiteral("販売区分") + QString::number(n)}))
                        return details.error();
            }
            for (int n = 1; n <= major.subs; ++n) {
                const QString name =
                    QString::fromUtf8(SubNames[(i * 7 + static_cast<std::size_t>(n) - 1) % SubNames.size()]);
                if (!details.insert({major.code, QStringLiteral("71"), n, name}))
                    return details.error();
            }
        }
        return finishAll({&majors, &details});
    }

    // Goods of known categories, spread unevenly over every category key, in category order.
    void makeGoods()
    {
        std::vector<Slot> keys;
        std::vector<double> cumulative;
        double total = 0;
        for (int m = 0; m < static_cast<int>(m_majors.size()); ++m) {
            for (int sub = 0; sub <= m_majors[static_cast<std::size_t>(m)].subs; ++sub) {
                keys.push_back({m, sub});
                total += 1 + m_random.below(10);
                cumulative.push_back(total);
            }
        }
        std::vector<int> counts(keys.size(), 0);
        for (int g = 0; g < m_options.goods; ++g) {
            const double at = m_random.unit() * total;
            const auto slot = std::upper_bound(cumulative.begin(), cumulative.end(), at) - cumulative.begin();
            ++counts[static_cast<std::size_t>(
                std::min<std::ptrdiff_t>(slot, static_cast<std::ptrdiff_t>(keys.size()) - 1))];
        }
        m_slots = std::move(keys);
        m_goods.reserve(static_cast<std::size_t>(m_options.goods));
        for (std::size_t s = 0; s < m_slots.size(); ++s) {
            const int count = counts[s];
            // On a major category's own goods a third carry no sub-category at all (Null), the
            // rest 0; Null sorts first.
            const int nulls = m_slots[s].sub == 0 ? count / 3 : 0;
            for (int g = 0; g < count; ++g) {
                const int net = m_random.pick(NetPrices);
                const bool taxFree = m_majors[static_cast<std::size_t>(m_slots[s].major)].taxFree;
                const int standard = taxFree ? net : net * 108 / 100;
                const int retail =
                    m_random.chance(0.7) ? standard : (taxFree ? net * 9 / 10 : net * 9 / 10 * 108 / 100);
                const int wholesale = taxFree ? net * 7 / 10 : net * 7 / 10 * 108 / 100;
                m_goods.push_back({static_cast<int>(s), g < nulls, {standard, retail, wholesale}});
            }
        }
    }

    QVariant subOf(const Good &good) const
    {
        return good.nullSub ? NullNumber : QVariant(m_slots[static_cast<std::size_t>(good.slot)].sub);
    }

    const QString &majorOf(const Good &good) const
    {
        return m_majors[static_cast<std::size_t>(m_slots[static_cast<std::size_t>(good.slot)].major)].code;
    }

    QString goodsName()
    {
        return QString::fromUtf8(m_random.pick(GoodsWords)) + QLatin1Char(' ') +
               QString::fromUtf8(m_random.pick(GoodsSizes));
    }

    // Add-on prices: none for most goods, a fee for some, unknown (Null) for a few.
    std::array<QVariant, 3> addOn(double share)
    {
        if (m_random.chance(0.03))
            return {NullNumber, NullNumber, NullNumber};
        if (!m_random.chance(share))
            return {0, 0, 0};
        const int fee = m_random.pick(AddOnPrices);
        return {fee, fee, fee * 7 / 10};
    }

    QString writeGoods()
    {
        makeGoods();
        Inserter goods(
            m_db, QStringLiteral("MGOODS"),
            {m_options.schema.goodsKey, QStringLiteral("GOODS_NM"), QStringLiteral("DAI_BUNRUI_CD"),
             QStringLiteral("CHU_BUNRUI_CD"), QStringLiteral("HYOJYUN_PRC"), QStringLiteral("KOURI_PRC"),
             QStringLiteral("OROSI_PRC"), QStringLiteral("H_ADD1_PRC"), QStringLiteral("K_ADD1_PRC"),
             QStringLiteral("O_ADD1_PRC"), QStringLiteral("H_ADD2_PRC"), QStringLiteral("K_ADD2_PRC"),
             QStringLiteral("O_ADD2_PRC"), QStringLiteral("UPDATE_DT")});
        qint64 number = 0;
        for (const Good &good : m_goods) {
            const std::array<QVariant, 3> add1 = addOn(0.25);
            const std::array<QVariant, 3> add2 = addOn(0.08);
            if (!goods.insert({janCode(++number), goodsName(), majorOf(good), subOf(good), good.prices[0],
                               good.prices[1], good.prices[2], add1[0], add1[1], add1[2], add2[0], add2[1],
                               add2[2], OldTimestamp}))
                return goods.error();
        }
        // Goods whose major category the masters lack; the category check reports them.
        const int unknownCodes = std::min(m_options.unmatched, 3);
        for (int u = 0; u < m_options.unmatched; ++u) {
            const QString code = QStringLiteral("X%1").arg(u * unknownCodes / m_options.unmatched + 1, 2, 10,
                                                           QLatin1Char('0'));
            const int net = m_random.pick(NetPrices);
            if (!goods.insert({janCode(++number), goodsName(), code, NullNumber, net * 108 / 100,
                               net * 108 / 100, net * 7 / 10 * 108 / 100, 0, 0, 0, 0, 0, 0, OldTimestamp}))
                return goods.error();
        }
        // A few goods saved by an earlier price maintenance, which the category clear empties.
        Inserter saved(m_db, QStringLiteral("IZSELL_MENT"),
                       {m_options.schema.goodsKey, QStringLiteral("DAI_BUNRUI_CD"),
                        QStringLiteral("CHU_BUNRUI_CD"), QStringLiteral("HYOJYUN_PRC"),
                        QStringLiteral("KOURI_PRC"), QStringLiteral("OROSI_PRC"), QStringLiteral("MENT_DT")});
        for (std::size_t g = 0; g < std::min<std::size_t>(m_goods.size(), 20); ++g) {
            const Good &good = m_goods[g];
            if (!saved.insert({janCode(static_cast<qint64>(g) + 1), majorOf(good), subOf(good),
                               good.prices[0], good.prices[1], good.prices[2], QStringLiteral("2014/03/31")}))
                return saved.error();
        }
        return finishAll({&goods, &saved});
    }

    int stores() const
    {
        const qint64 goods = static_cast<qint64>(m_goods.size());
        if (goods == 0)
            return 1;
        return static_cast<int>(std::max<qint64>(3, (m_options.stock + goods - 1) / goods));
    }

    QString store(int index) const { return QStringLiteral("%1").arg(index + 1, 4, 10, QLatin1Char('0')); }

    // Exactly the requested number of stock rows, chosen evenly among every (goods, store) pair
    // and written in goods order, that is in category order.
    QString writeStock()
    {
        Inserter stock(m_db, QStringLiteral("IZAIKO"),
                       {QStringLiteral("TENPO_CD"), m_options.schema.goodsKey,
                        QStringLiteral("DAI_BUNRUI_CD"), QStringLiteral("CHU_BUNRUI_CD"),
                        QStringLiteral("ZAIKO_QTY"), QStringLiteral("JYUTAKU_QTY"),
                        QStringLiteral("HYOJYUN_PRC"), QStringLiteral("KOURI_PRC"),
                        QStringLiteral("OROSI_PRC"), QStringLiteral("KOUSHIN_DT")});
        const int storeCount = stores();
        qint64 needed = m_options.stock;
        qint64 remaining = static_cast<qint64>(m_goods.size()) * storeCount;
        for (std::size_t g = 0; g < m_goods.size() && needed > 0; ++g) {
            const Good &good = m_goods[g];
            for (int s = 0; s < storeCount; ++s, --remaining) {
                if (m_random.unit() * static_cast<double>(remaining) >= static_cast<double>(needed))
                    continue;
                --needed;
                const double kind = m_random.unit();
                const int onHand = kind < 0.6   ? m_random.between(1, 50)
                                   : kind < 0.9 ? 0
                                                : -m_random.between(1, 5);
                const int consigned = m_random.chance(0.25) ? m_random.between(1, 20) : 0;
                if (!stock.insert({store(s), janCode(static_cast<qint64>(g) + 1), majorOf(good), subOf(good),
                                   onHand, consigned, good.prices[0], good.prices[1], good.prices[2],
                                   OldTimestamp}))
                    return stock.error();
            }
        }
        return finishAll({&stock});
    }

    // The movements of each goods item, months ascending, ending with the system month.
    QString writeMovements()
    {
        Inserter moves(m_db, QStringLiteral("IIODATA"),
                       {QStringLiteral("IO_YM"), QStringLiteral("TENPO_CD"), m_options.schema.goodsKey,
                        QStringLiteral("IO_KBN"), QStringLiteral("IO_SEQ"), QStringLiteral("DAI_BUNRUI_CD"),
                        QStringLiteral("CHU_BUNRUI_CD"), QStringLiteral("IO_QTY"),
                        QStringLiteral("HYOJYUN_PRC"), QStringLiteral("KOURI_PRC"),
                        QStringLiteral("OROSI_PRC")});
        if (m_goods.empty())
            return {};
        const qint64 goods = static_cast<qint64>(m_goods.size());
        const qint64 each = m_options.movements / goods;
        qint64 extra = m_options.movements % goods;
        const int storeCount = stores();
        qint64 sequence = 0;
        for (qint64 g = 0; g < goods; ++g) {
            const Good &good = m_goods[static_cast<std::size_t>(g)];
            qint64 count = each;
            if (extra > 0 && m_random.unit() * static_cast<double>(goods - g) < static_cast<double>(extra)) {
                ++count;
                --extra;
            }
            std::vector<int> monthsBack;
            for (qint64 j = 0; j < count; ++j)
                monthsBack.push_back(m_random.below(m_options.months));
            std::sort(monthsBack.begin(), monthsBack.end(), std::greater<>());
            for (const int back : monthsBack) {
                const int month = monthsBefore(m_sysYm, back);
                const QString kind = QString::fromUtf8(m_random.pick(MovementKinds));
                const int quantity = kind == QStringLiteral("2") || kind == QStringLiteral("4")
                                         ? -m_random.between(1, 12)
                                         : m_random.between(1, 48);
                if (!moves.insert({month, store(m_random.below(storeCount)), janCode(g + 1), kind, ++sequence,
                                   majorOf(good), subOf(good), quantity, good.prices[0], good.prices[1],
                                   good.prices[2]}))
                    return moves.error();
            }
        }
        return finishAll({&moves});
    }

    // Price-tag stock-takes of every store, monthly, the latest on the stock-take date.
    QString writeStockTakes()
    {
        Inserter takes(m_db, QStringLiteral("INEFUDA_CNT"),
                       {QStringLiteral("TENPO_CD"), QStringLiteral("ZAIKOMENT_DT")});
        for (int s = 0; s < std::min(stores(), 20); ++s)
            for (int back = 2; back >= 0; --back)
                if (!takes.insert({store(s), m_stockTake.addMonths(-back).toString(Qt::ISODate)}))
                    return takes.error();
        return finishAll({&takes});
    }

    QSqlDatabase m_db;
    const Options &m_options;
    Random m_random;
    int m_sysYm;
    QDate m_stockTake;
    std::vector<Major> m_majors;
    std::vector<Slot> m_slots;
    std::vector<Good> m_goods;
    qint64 m_workList = 0;
};

QString runPragmas(const QSqlDatabase &db, std::initializer_list<const char *> pragmas)
{
    QSqlQuery query(db);
    for (const char *pragma : pragmas)
        if (!query.exec(QString::fromLatin1(pragma)))
            return query.lastError().text() + QStringLiteral(": ") + QString::fromLatin1(pragma);
    return {};
}

} // namespace

QString writeSampleData(const QSqlDatabase &db, const Options &options, quint32 seed, CatalogFigures &figures)
{
    return CatalogWriter(db, options, seed).write(figures);
}

QString fillCatalog(const QString &file, const Options &options, quint32 seed, CatalogFigures &figures)
{
    const CatalogConnection connection(file);
    if (!connection.error().isEmpty())
        return connection.error();
    QSqlDatabase db = connection.db();
    // The file is new: should the process die while filling, it is thrown away, so the fill
    // needs neither a journal on disk nor waits for the disk.
    QString error =
        runPragmas(db, {"PRAGMA journal_mode=MEMORY", "PRAGMA synchronous=OFF", "PRAGMA cache_size=-262144"});
    if (!error.isEmpty())
        return error;
    if (!db.transaction())
        return db.lastError().text();
    error = writeSampleData(db, options, seed, figures);
    if (!error.isEmpty()) {
        db.rollback();
        return error;
    }
    if (!db.commit())
        return db.lastError().text();
    // Readers and the one writer of a running program do not block each other in WAL mode. The
    // statistics let the planner choose the category indexes for the price statements; they are
    // taken from every index entry (a sample underrates how many rows one major category holds,
    // and the statements of a major category's own goods then read every row of the major,
    // sub-categories included), which reads only the indexes.
    return runPragmas(db, {"PRAGMA journal_mode=WAL", "ANALYZE"});
}

} // namespace krt::install
