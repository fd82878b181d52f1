#include "pricing/changelist.h"

#include "pricing/changelistfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlIndex>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

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

// Appends a whole number to a line of the list.
void appendWhole(std::string &line, qint64 number)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    line.append(digits, std::size_t(end - digits));
}

// Appends a value as stored to a line of the list: nothing for Null, a number without a binary
// tail. A whole number stored as a floating-point number (the usual price) is written as the whole
// number it is, without the exact decimal conversion's cost; a text is quoted when it holds a
// comma, a quote or a line end. The line is a plain byte string and a double is taken from the
// value as it stands: a goods row has some twenty values, and a run can list a million rows.
void appendValue(std::string &line, const QVariant &value)
{
    if (value.isNull())
        return;
    double number = 0;
    switch (value.typeId()) {
    case QMetaType::Double:
        number = *static_cast<const double *>(value.constData());
        break;
    case QMetaType::Float:
        number = value.toDouble();
        break;
    case QMetaType::Int:
    case QMetaType::LongLong:
        appendWhole(line, value.toLongLong());
        return;
    default: {
        const QByteArray text = value.toString().toUtf8();
        if (std::none_of(text.cbegin(), text.cend(),
                         [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; })) {
            line.append(text.constData(), std::size_t(text.size()));
            return;
        }
        line += '"';
        for (const char c : text) {
            if (c == '"')
                line += '"';
            line += c;
        }
        line += '"';
        return;
    }
    }
    if (std::abs(number) < 1e15 && number == std::trunc(number)) {
        appendWhole(line, static_cast<qint64>(number));
        return;
    }
    const QByteArray text = QByteArray::number(number, 'g', 15);
    line.append(text.constData(), std::size_t(text.size()));
}

// The goods key of a row read by the change list, from its key fields starting at first, as one
// text.
QString keyOf(const QSqlQuery &query, int first, int keyColumns)
{
    if (keyColumns == 1)
        return query.value(first).toString();
    QString key;
    for (int i = first; i < first + keyColumns; ++i) {
        key += query.value(i).toString();
        key += QChar(0x1F);
    }
    return key;
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

QString ChangeList::journalPath() const
{
    return path() + QStringLiteral(".pending");
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
    m_leading = QStringList{QStringLiteral("DAI_BUNRUI_CD"), QStringLiteral("CHU_BUNRUI_CD")} + m_key;
    if (!m_options.nameColumn.isEmpty())
        m_leading.append(m_options.nameColumn);
    return true;
}

QByteArray ChangeList::headerLine() const
{
    QStringList fields =
        QStringList{QStringLiteral("分類コード"), QStringLiteral("中分類コード")} + m_leading.mid(2);
    for (const PriceColumn &column : MGoodsColumns)
        fields << QLatin1String(column.name) + QStringLiteral("_旧")
               << QLatin1String(column.name) + QStringLiteral("_新");
    fields.append(QStringLiteral("変更"));
    std::string line;
    for (const QString &field : fields) {
        if (!line.empty())
            line += ',';
        appendValue(line, field);
    }
    line += "\r\n";
    return QByteArray(line.data(), qsizetype(line.size()));
}

QString ChangeList::selectSql(QStringList columns, const QString &itemCd, int detailNo,
                              const ExpressionOf &expression) const
{
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
    m_beforeKeys.clear();
    m_before.clear();
    const int prices = static_cast<int>(MGoodsColumns.size());
    if (!hasKey()) {
        // The leading fields, the prices and the database's evaluation of the expressions.
        const int fields = static_cast<int>(m_leading.size()) + 2 * prices;
        return m_connection.readRows(selectSql(m_leading, itemCd, detailNo, expression),
                                     [this, fields](const QSqlQuery &query) {
                                         for (int i = 0; i < fields; ++i)
                                             m_before.push_back(query.value(i));
                                     });
    }
    // The key and the prices only: the leading fields are read after the statement.
    const int keyColumns = static_cast<int>(m_key.size());
    return m_connection.readRows(selectSql(m_key, itemCd, detailNo, nullptr),
                                 [this, keyColumns, prices](const QSqlQuery &query) {
                                     m_beforeKeys.append(keyOf(query, 0, keyColumns));
                                     for (int p = 0; p < prices; ++p)
                                         m_before.push_back(query.value(keyColumns + p));
                                 });
}

void ChangeList::appendRow(const QSqlQuery *after, const QVariant *leading, const QVariant *before,
                           const QVariant *afterPrices)
{
    const int ahead = static_cast<int>(m_leading.size());
    std::string &line = m_line;
    line.clear();
    for (int i = 0; i < ahead; ++i) {
        appendValue(line, after ? after->value(i) : leading[i]);
        line += ',';
    }
    bool changed = false;
    for (int p = 0; p < static_cast<int>(MGoodsColumns.size()); ++p) {
        const std::size_t oldAt = line.size();
        if (before)
            appendValue(line, before[p]);
        const std::size_t oldSize = line.size() - oldAt;
        line += ',';
        const std::size_t newAt = line.size();
        appendValue(line, after ? after->value(ahead + p) : afterPrices[p]);
        const std::size_t newSize = line.size() - newAt;
        changed = changed || oldSize != newSize || line.compare(oldAt, oldSize, line, newAt, newSize) != 0;
        line += ',';
    }
    line += changed ? "1\r\n" : "0\r\n";
    m_block.append(line.data(), qsizetype(line.size()));
    ++m_blockRows;
    m_blockChanged += changed ? 1 : 0;
}

bool ChangeList::readAfter()
{
    const int prices = static_cast<int>(MGoodsColumns.size());
    const qint64 rowsBefore = m_blockRows;
    if (hasKey()) {
        // Both reads give the goods in key order, so that a row's old prices are mostly those of
        // the row read at the same place; where another writer added or removed a row meanwhile,
        // they are looked up by the key.
        const int keyColumns = static_cast<int>(m_key.size());
        QHash<QString, qsizetype> beforeAt;
        qsizetype next = 0;
        const auto pair = [&](const QSqlQuery &query) {
            const QString key = keyOf(query, 2, keyColumns);
            qsizetype at = next;
            if (at >= m_beforeKeys.size() || m_beforeKeys.at(at) != key) {
                if (beforeAt.isEmpty())
                    for (qsizetype i = 0; i < m_beforeKeys.size(); ++i)
                        beforeAt.insert(m_beforeKeys.at(i), i);
                at = beforeAt.value(key, -1);
            }
            // A row another writer added meanwhile has no price before: its old prices stay empty.
            appendRow(&query, nullptr, at >= 0 ? &m_before[std::size_t(at) * prices] : nullptr, nullptr);
            if (at >= 0)
                next = at + 1;
        };
        if (!m_connection.readRows(selectSql(m_leading, m_pendingItemCd, m_pendingDetailNo, nullptr), pair))
            return false;
    } else {
        const int ahead = static_cast<int>(m_leading.size());
        const std::size_t width = std::size_t(ahead + 2 * prices);
        for (std::size_t row = 0; row + width <= m_before.size(); row += width) {
            const QVariant *fields = &m_before[row];
            appendRow(nullptr, fields, fields + ahead, fields + ahead + prices);
        }
    }
    if (rowsBefore == 0 && m_blockRows > 0) {
        m_blockItemCd = m_pendingItemCd;
        m_blockDetailNo = m_pendingDetailNo;
    }
    m_beforeKeys.clear();
    m_before.clear();
    return true;
}

bool ChangeList::stage(const QString &koushinDt)
{
    // A committed category whose rows could not be appended is appended first: its journal is the
    // only one a list keeps, and the next category's would take its place.
    if (m_unappended && appendUnappended())
        return false;
    if (m_blockRows == 0)
        return true;
    const QFileInfo list(path());
    m_sizeBefore = list.exists() ? list.size() : 0;
    if (m_sizeBefore == 0)
        m_block.prepend(Bom + headerLine());
    // The journal names a category whose goods the block holds: their time tells later whether
    // the transaction committed. It is whole before the commit, in the system's file cache, which
    // a killed program leaves behind; a journal cut short (the program killed while writing it,
    // before the commit) is told by the length its first line gives.
    QFile journal(journalPath());
    m_journalWritten = true;
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
    // The category is committed: its rows and their journal stay until they are appended, by now,
    // by the next category of the run or by the next start.
    m_unappended = Unappended{m_sizeBefore, std::move(m_block), m_blockRows, m_blockChanged};
    m_journalWritten = false;
    discardStaged();
    return appendUnappended();
}

std::optional<QString> ChangeList::appendUnappended()
{
    if (std::optional<QString> failure = appendAt(path(), m_unappended->sizeBefore, m_unappended->block))
        return failure;
    QFile::remove(journalPath());
    m_rows += m_unappended->rows;
    m_changed += m_unappended->changed;
    m_unappended.reset();
    return std::nullopt;
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
    if (m_journalWritten)
        QFile::remove(journalPath());
    m_journalWritten = false;
    m_block.clear();
    m_blockRows = 0;
    m_blockChanged = 0;
    m_beforeKeys.clear();
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
