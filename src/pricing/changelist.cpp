#include "pricing/changelist.h"

#include "pricing/changelistfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlIndex>

#include <cmath>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace krt::pricing {

namespace {

const QByteArray JournalTag = QByteArrayLiteral("KRT550-pending");
const QByteArray Bom = QByteArrayLiteral("\xEF\xBB\xBF");

bool isPlainName(const QString &name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return plain.match(name).hasMatch();
}

// A value as stored, as text: empty for Null, a number without a binary tail. A whole number
// stored as a floating-point number (the usual price) is written as the whole number it is,
// without the exact decimal conversion's cost.
QString valueText(const QVariant &value)
{
    if (value.isNull())
        return {};
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
        const double number = value.toDouble();
        if (std::abs(number) < 1e15 && number == std::trunc(number))
            return QString::number(static_cast<qint64>(number));
        return QString::number(number, 'g', 15);
    }
    return value.toString();
}

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QStringLiteral("\""), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

void appendCsvLine(QString &lines, const QStringList &fields)
{
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            lines += QLatin1Char(',');
        lines += csvField(fields.at(i));
    }
    lines += QStringLiteral("\r\n");
}

// The goods key of a row read by the change list: its key fields, which follow the two category
// fields, as one text.
QString keyOf(const QStringList &fields, qsizetype keyColumns)
{
    QString key;
    for (qsizetype i = 2; i < 2 + keyColumns && i < fields.size(); ++i) {
        key += fields.at(i);
        key += QChar(0x1F);
    }
    return key;
}

QStringList fieldsOf(const QSqlQuery &query, int count)
{
    QStringList fields;
    fields.reserve(count);
    for (int i = 0; i < count; ++i)
        fields.append(query.isNull(i) ? QString() : valueText(query.value(i)));
    return fields;
}

// Writes what the file holds to the disk.
bool syncFile(QFile &file)
{
    if (!file.flush())
        return false;
#ifdef Q_OS_WIN
    return _commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

// Appends a block to the list at the size it had before the block, so that a block a crash
// left half-written is written once, whole.
std::optional<QString> appendAt(const QString &path, qint64 sizeBefore, const QByteArray &block)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return file.errorString();
    if (file.size() != sizeBefore && !file.resize(sizeBefore))
        return file.errorString();
    if (!file.seek(sizeBefore) || file.write(block) != block.size() || !file.flush())
        return file.errorString();
    file.close();
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    return std::nullopt;
}

struct Journal
{
    QString koushinDt;
    QString itemCd;
    int detailNo = 0;
    qint64 sizeBefore = 0;
    QByteArray block;
};

// A journal's content; nothing when it was cut short while it was written (before its category's
// commit, so that it stands for nothing). A journal of an earlier version gives no length.
std::optional<Journal> parseJournal(const QByteArray &content)
{
    const qsizetype end = content.indexOf('\n');
    const QList<QByteArray> head = content.left(end).split('\t');
    if (end < 0 || head.size() < 5 || head.size() > 6 || head[0] != JournalTag)
        return std::nullopt;
    bool numberOk = false;
    bool sizeOk = false;
    bool lengthOk = head.size() == 5;
    Journal journal{QString::fromUtf8(head[1]), QString::fromUtf8(head[2]), head[3].toInt(&numberOk),
                    head[4].toLongLong(&sizeOk), content.mid(end + 1)};
    if (head.size() == 6)
        lengthOk = head[5].toLongLong(&lengthOk) == journal.block.size() && lengthOk;
    if (!numberOk || !sizeOk || !lengthOk)
        return std::nullopt;
    return journal;
}

} // namespace

ChangeList::ChangeList(Connection &connection, Options options)
    : m_connection(connection)
    , m_options(std::move(options))
{}

QString ChangeList::path() const
{
    return m_options.folder + QLatin1Char('/') + changeListFileName(m_options.start, m_options.catalog);
}

bool ChangeList::prepare()
{
    m_key = m_options.keyColumns;
    if (m_key.isEmpty()) {
        const QSqlIndex primary = m_connection.database().primaryIndex(QStringLiteral("MGOODS"));
        for (int i = 0; i < primary.count(); ++i)
            m_key.append(primary.fieldName(i));
    }
    for (const QString &name : m_key + QStringList(m_options.nameColumn)) {
        if (!name.isEmpty() && !isPlainName(name)) {
            m_why = QStringLiteral("変更一覧の列名 '%1' は使えません（英数字と _ だけの名前）").arg(name);
            return false;
        }
    }
    if (!QDir().mkpath(m_options.folder)) {
        m_why = QStringLiteral("変更一覧のフォルダを作れません: ") + m_options.folder;
        return false;
    }
    return true;
}

QString ChangeList::headerLine() const
{
    QStringList fields{QStringLiteral("分類コード"), QStringLiteral("中分類コード")};
    fields += m_key;
    if (!m_options.nameColumn.isEmpty())
        fields.append(m_options.nameColumn);
    for (const PriceColumn &column : MGoodsColumns)
        fields << QLatin1String(column.name) + QStringLiteral("_旧")
               << QLatin1String(column.name) + QStringLiteral("_新");
    fields.append(QStringLiteral("変更"));
    QString line;
    appendCsvLine(line, fields);
    return line;
}

QString ChangeList::selectSql(const QString &itemCd, int detailNo, const ExpressionOf &expression) const
{
    QStringList columns{QStringLiteral("DAI_BUNRUI_CD"), QStringLiteral("CHU_BUNRUI_CD")};
    columns += m_key;
    if (!m_options.nameColumn.isEmpty())
        columns.append(m_options.nameColumn);
    for (const PriceColumn &column : MGoodsColumns)
        columns.append(QLatin1String(column.name));
    if (expression)
        for (const PriceColumn &column : MGoodsColumns)
            columns.append(expression(column));
    QString sql = QStringLiteral("SELECT ") + columns.join(QStringLiteral(", ")) +
                  QStringLiteral(" FROM MGOODS WHERE ") + categoryCondition(itemCd, detailNo);
    if (!m_key.isEmpty())
        sql += QStringLiteral(" ORDER BY ") + m_key.join(QStringLiteral(", "));
    return sql;
}

bool ChangeList::readBefore(const QString &itemCd, int detailNo, const ExpressionOf &expression)
{
    m_pendingItemCd = itemCd;
    m_pendingDetailNo = detailNo;
    m_before.clear();
    const int prices = static_cast<int>(MGoodsColumns.size());
    const int fields = 2 + static_cast<int>(m_key.size()) + (m_options.nameColumn.isEmpty() ? 0 : 1) +
                       (hasKey() ? prices : 2 * prices);
    return m_connection.readRows(
        selectSql(itemCd, detailNo, hasKey() ? nullptr : expression),
        [this, fields](const QSqlQuery &query) { m_before.append(fieldsOf(query, fields)); });
}

bool ChangeList::readAfter()
{
    const int prices = static_cast<int>(MGoodsColumns.size());
    const int ahead = 2 + static_cast<int>(m_key.size()) + (m_options.nameColumn.isEmpty() ? 0 : 1);
    QList<QStringList> pairs; // the leading fields, then old and new price by price
    if (hasKey()) {
        QHash<QString, qsizetype> beforeAt;
        beforeAt.reserve(m_before.size());
        for (qsizetype i = 0; i < m_before.size(); ++i)
            beforeAt.insert(keyOf(m_before[i], m_key.size()), i);
        pairs.reserve(m_before.size());
        const auto pair = [&](const QSqlQuery &query) {
            const QStringList after = fieldsOf(query, ahead + prices);
            const qsizetype at = beforeAt.value(keyOf(after, m_key.size()), -1);
            // A row another writer added meanwhile has no price before: its old prices stay empty.
            const QStringList before = at >= 0 ? m_before[at] : QStringList();
            QStringList row = after.mid(0, ahead);
            row.reserve(ahead + 2 * prices + 1);
            for (int p = 0; p < prices; ++p)
                row << before.value(ahead + p) << after.value(ahead + p);
            pairs.append(row);
        };
        if (!m_connection.readRows(selectSql(m_pendingItemCd, m_pendingDetailNo, nullptr), pair))
            return false;
    } else {
        for (const QStringList &read : m_before) {
            QStringList row = read.mid(0, ahead);
            for (int p = 0; p < prices; ++p)
                row << read.value(ahead + p) << read.value(ahead + prices + p);
            pairs.append(row);
        }
    }
    if (m_blockRows == 0 && !pairs.isEmpty()) {
        m_blockItemCd = m_pendingItemCd;
        m_blockDetailNo = m_pendingDetailNo;
    }
    QString lines;
    for (QStringList &row : pairs) {
        bool changed = false;
        for (int p = 0; p < prices; ++p)
            changed = changed || row[ahead + 2 * p] != row[ahead + 2 * p + 1];
        row.append(changed ? QStringLiteral("1") : QStringLiteral("0"));
        appendCsvLine(lines, row);
        ++m_blockRows;
        m_blockChanged += changed ? 1 : 0;
    }
    m_block += lines.toUtf8();
    m_before.clear();
    return true;
}

bool ChangeList::stage(const QString &koushinDt)
{
    if (m_blockRows == 0)
        return true;
    const QFileInfo list(path());
    m_sizeBefore = list.exists() ? list.size() : 0;
    if (m_sizeBefore == 0)
        m_block.prepend(Bom + headerLine().toUtf8());
    // The journal names a category whose goods the block holds: their time tells later whether
    // the transaction committed. It is whole before the commit, in the system's file cache, which
    // a killed program leaves behind; a journal cut short (the program killed while writing it,
    // before the commit) is told by the length its first line gives.
    QFile journal(path() + QStringLiteral(".pending"));
    if (!journal.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray head = JournalTag + '\t' + koushinDt.toUtf8() + '\t' + m_blockItemCd.toUtf8() + '\t' +
                            QByteArray::number(m_blockDetailNo) + '\t' + QByteArray::number(m_sizeBefore) +
                            '\t' + QByteArray::number(m_block.size()) + '\n';
    return journal.write(head) == head.size() && journal.write(m_block) == m_block.size() && journal.flush();
}

std::optional<QString> ChangeList::appendStaged()
{
    if (m_blockRows == 0)
        return std::nullopt;
    std::optional<QString> failure = appendAt(path(), m_sizeBefore, m_block);
    if (!failure) {
        QFile::remove(path() + QStringLiteral(".pending"));
        m_rows += m_blockRows;
        m_changed += m_blockChanged;
    }
    discardStaged();
    return failure;
}

std::optional<QString> ChangeList::syncToDisk()
{
    QFile file(path());
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadWrite) || !syncFile(file))
        return file.errorString();
    return std::nullopt;
}

void ChangeList::discardStaged()
{
    QFile::remove(path() + QStringLiteral(".pending"));
    m_block.clear();
    m_blockRows = 0;
    m_blockChanged = 0;
    m_before.clear();
}

std::optional<QStringList> ChangeList::recover(Connection &connection, const QString &folder,
                                               const QString &catalog)
{
    QStringList completed;
    const QDir dir(folder);
    for (const QString &name :
         dir.entryList({QStringLiteral("*-") + catalog + QStringLiteral(".csv.pending")}, QDir::Files)) {
        const QString journalPath = dir.filePath(name);
        QFile file(journalPath);
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        const std::optional<Journal> journal = parseJournal(file.readAll());
        file.close();
        if (!journal) {
            QFile::remove(journalPath);
            continue;
        }
        // The category's goods carry the run's time once its transaction has committed.
        const std::optional<Recordset> done = connection.openRecordset(
            QStringLiteral("SELECT COUNT(*) AS CNT FROM MGOODS WHERE UPDATE_DT = '") +
            QString(journal->koushinDt).replace(QStringLiteral("'"), QStringLiteral("''")) +
            QStringLiteral("' AND ") + categoryCondition(journal->itemCd, journal->detailNo));
        if (!done)
            return std::nullopt;
        const QString listPath = journalPath.chopped(int(qstrlen(".pending")));
        if (!done->eof() && done->field(0).toLongLong() > 0) {
            if (appendAt(listPath, journal->sizeBefore, journal->block))
                return std::nullopt;
            completed.append(listPath);
        }
        QFile::remove(journalPath);
    }
    return completed;
}

namespace {

// The options of a run's change list from the settings' texts: the goods key columns separated by
// commas and the name column.
ChangeList::Options changeListOptions(const QString &folder, const QString &catalog, const QDateTime &start,
                                      const QString &keyColumns, const QString &nameColumn)
{
    ChangeList::Options options{folder, catalog, start, {}, nameColumn.trimmed()};
    for (const QString &name : keyColumns.split(QLatin1Char(',')))
        if (!name.trimmed().isEmpty())
            options.keyColumns.append(name.trimmed());
    return options;
}

} // namespace

PreparedChangeList prepareChangeList(Connection &connection, const QString &folder, const QString &catalog,
                                     const QDateTime &start,
                                     const std::function<QString(const QString &)> &setting)
{
    PreparedChangeList prepared;
    if (!ChangeList::recover(connection, folder, catalog)) {
        prepared.recoveryFailure =
            DbErrors{programError(QStringLiteral("前回の変更一覧の書き残しを処理できません: ") + folder)} +
            connection.errors();
        return prepared;
    }
    if (setting(QStringLiteral("ChangeList")).trimmed() == QLatin1String("0"))
        return prepared;
    prepared.list = std::make_unique<ChangeList>(
        connection, changeListOptions(folder, catalog, start, setting(QStringLiteral("GoodsKeyColumns")),
                                      setting(QStringLiteral("GoodsNameColumn"))));
    if (!prepared.list->prepare()) {
        prepared.why = prepared.list->why();
        prepared.list.reset();
    }
    return prepared;
}

QString changeListNote(const ChangeList *changes)
{
    if (!changes)
        return QStringLiteral("変更一覧: 書きません（設定 ChangeList=0）");
    return QStringLiteral("変更一覧: ") + QDir::toNativeSeparators(changes->path()) +
           (changes->hasKey() ? QString()
                              : QStringLiteral("（商品キーがないため、分類と売価だけを記録します）"));
}

QString changeListSummary(const ChangeList &changes)
{
    return QStringLiteral("変更一覧: %1（商品 %2 行、うち売価が変わった商品 %3 行）")
        .arg(QDir::toNativeSeparators(changes.path()))
        .arg(changes.rows())
        .arg(changes.changed());
}

} // namespace krt::pricing
