#include "db/dialect.h"

#include <vector>

namespace krt {

namespace {

enum class Kind { Space, Comment, Word, Number, String, QuotedName, Symbol };

struct Token
{
    Kind kind;
    QString text;
    QString after = {}; // text the adapter adds behind the token, which stays what it was
};

bool isWordStart(QChar c)
{
    return c.isLetter() || c == QLatin1Char('_') || c == QLatin1Char('@') || c == QLatin1Char('#');
}

bool isWordPart(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('@') || c == QLatin1Char('#') ||
           c == QLatin1Char('$');
}

// The end of a quoted text or name that opens at from - 1 and closes with close, which stands
// doubled for itself inside; the end of the statement when it is not closed.
qsizetype quotedEnd(const QString &sql, qsizetype from, QChar close)
{
    const qsizetype n = sql.size();
    qsizetype j = from;
    while (j < n) {
        if (sql.at(j) == close) {
            if (j + 1 < n && sql.at(j + 1) == close) {
                j += 2;
                continue;
            }
            return j + 1;
        }
        ++j;
    }
    return n;
}

// The end of a comment /* ... */ that opens at from - 2; SQL Server lets such comments nest.
qsizetype blockCommentEnd(const QString &sql, qsizetype from)
{
    const qsizetype n = sql.size();
    int depth = 1;
    qsizetype j = from;
    while (j < n && depth > 0) {
        if (j + 1 < n && sql.at(j) == QLatin1Char('/') && sql.at(j + 1) == QLatin1Char('*')) {
            ++depth;
            j += 2;
        } else if (j + 1 < n && sql.at(j) == QLatin1Char('*') && sql.at(j + 1) == QLatin1Char('/')) {
            --depth;
            j += 2;
        } else {
            ++j;
        }
    }
    return depth > 0 ? n : j;
}

// Splits a statement into tokens. Quoted texts ('...' with '' inside), quoted names ("..." with
// "" inside and [...] with ]] inside) and comments (-- to the end of the line, /* ... */) are
// single tokens and pass through unchanged.
std::vector<Token> tokenize(const QString &sql)
{
    std::vector<Token> tokens;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql.at(i);
        const QChar following = i + 1 < n ? sql.at(i + 1) : QChar();
        qsizetype j = i + 1;
        Kind kind = Kind::Symbol;
        if (c.isSpace()) {
            while (j < n && sql.at(j).isSpace())
                ++j;
            kind = Kind::Space;
        } else if (c == QLatin1Char('-') && following == QLatin1Char('-')) {
            while (j < n && sql.at(j) != QLatin1Char('\n') && sql.at(j) != QLatin1Char('\r'))
                ++j;
            kind = Kind::Comment;
        } else if (c == QLatin1Char('/') && following == QLatin1Char('*')) {
            j = blockCommentEnd(sql, i + 2);
            kind = Kind::Comment;
        } else if (c == QLatin1Char('\'')) {
            j = quotedEnd(sql, j, c);
            kind = Kind::String;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('[')) {
            j = quotedEnd(sql, j, c == QLatin1Char('"') ? QLatin1Char('"') : QLatin1Char(']'));
            kind = Kind::QuotedName;
        } else if (c.isDigit() || (c == QLatin1Char('.') && i + 1 < n && sql.at(i + 1).isDigit())) {
            while (j < n && (sql.at(j).isDigit() || sql.at(j) == QLatin1Char('.')))
                ++j;
            // An exponent belongs to the number only when digits follow it.
            if (j < n && (sql.at(j) == QLatin1Char('e') || sql.at(j) == QLatin1Char('E'))) {
                qsizetype k = j + 1;
                if (k < n && (sql.at(k) == QLatin1Char('+') || sql.at(k) == QLatin1Char('-')))
                    ++k;
                if (k < n && sql.at(k).isDigit()) {
                    j = k;
                    while (j < n && sql.at(j).isDigit())
                        ++j;
                }
            }
            kind = Kind::Number;
        } else if (isWordStart(c)) {
            while (j < n && isWordPart(sql.at(j)))
                ++j;
            kind = Kind::Word;
        }
        tokens.push_back({kind, sql.mid(i, j - i)});
        i = j;
    }
    return tokens;
}

bool isWord(const Token &t, const char *word)
{
    return t.kind == Kind::Word && t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

bool isSymbol(const Token &t, char symbol)
{
    return t.kind == Kind::Symbol && t.text.size() == 1 && t.text.at(0) == QLatin1Char(symbol);
}

// Index of the next token that is neither white space nor a comment, from index i on.
std::size_t nextSolid(const std::vector<Token> &tokens, std::size_t i)
{
    while (i < tokens.size() && (tokens[i].kind == Kind::Space || tokens[i].kind == Kind::Comment))
        ++i;
    return i;
}

// UPDATE T SET T.col = ... : SQLite takes only bare column names as assignment targets, and an
// UPDATE whose FROM names only its own target reads as a self-join there.
void rewriteUpdate(std::vector<Token> &tokens)
{
    const std::size_t first = nextSolid(tokens, 0);
    if (first >= tokens.size() || !isWord(tokens[first], "UPDATE"))
        return;
    const std::size_t targetAt = nextSolid(tokens, first + 1);
    if (targetAt >= tokens.size() || tokens[targetAt].kind != Kind::Word)
        return;
    const QString target = tokens[targetAt].text;
    auto isTarget = [&](const Token &t) {
        return t.kind == Kind::Word && t.text.compare(target, Qt::CaseInsensitive) == 0;
    };

    int depth = 0;
    bool inSet = false;
    bool expectColumn = false;
    for (std::size_t i = targetAt + 1; i < tokens.size(); ++i) {
        Token &t = tokens[i];
        if (isSymbol(t, '(')) {
            ++depth;
        } else if (isSymbol(t, ')')) {
            --depth;
        } else if (depth == 0 && isWord(t, "SET")) {
            inSet = true;
            expectColumn = true;
            continue;
        } else if (depth == 0 && inSet && isSymbol(t, ',')) {
            expectColumn = true;
            continue;
        } else if (depth == 0 && (isWord(t, "FROM") || isWord(t, "WHERE"))) {
            inSet = false;
            if (isWord(t, "FROM")) {
                const std::size_t name = nextSolid(tokens, i + 1);
                const std::size_t after = nextSolid(tokens, name + 1);
                if (name < tokens.size() && isTarget(tokens[name]) &&
                    (after >= tokens.size() || isWord(tokens[after], "WHERE"))) {
                    // Drop "FROM T" and the blank after it.
                    for (std::size_t k = i; k < after; ++k)
                        tokens[k].text.clear();
                    i = after - 1;
                    continue;
                }
            }
        }
        if (inSet && expectColumn && t.kind != Kind::Space) {
            expectColumn = false;
            const std::size_t dot = i + 1;
            if (isTarget(t) && dot + 1 < tokens.size() && isSymbol(tokens[dot], '.') &&
                tokens[dot + 1].kind == Kind::Word) {
                t.text.clear();
                tokens[dot].text.clear();
            }
        }
    }
}

// The index of the parenthesis that closes the one at index open; tokens.size() when none does.
std::size_t matchingClose(const std::vector<Token> &tokens, std::size_t open)
{
    int depth = 0;
    for (std::size_t i = open; i < tokens.size(); ++i) {
        if (isSymbol(tokens[i], '('))
            ++depth;
        else if (isSymbol(tokens[i], ')') && --depth == 0)
            return i;
    }
    return tokens.size();
}

// What one engine does in place of SQL Server's spellings.
struct DialectRules
{
    const char *isNull;                 // ISNULL(a, b)
    const char *currentMoment;          // GETDATE()
    const char *exactDecimal = nullptr; // CAST(x AS DECIMAL(p, s)): the type named instead, if any
    bool integerPower = false;          // POWER of a whole-number base stays a whole number
};

QString rewrite(const QString &sql, const DialectRules &rules)
{
    std::vector<Token> tokens = tokenize(sql);
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        Token &t = tokens[i];
        const std::size_t next = i + 1;
        // SQL Server allows blanks between a function's name and its parentheses.
        const std::size_t open = nextSolid(tokens, next);
        const bool callFollows = open < tokens.size() && isSymbol(tokens[open], '(');
        const std::size_t close = callFollows ? nextSolid(tokens, open + 1) : tokens.size();
        if (callFollows && isWord(t, "ISNULL")) {
            t.text = QLatin1String(rules.isNull);
        } else if (callFollows && isWord(t, "GETDATE") && close < tokens.size() &&
                   isSymbol(tokens[close], ')')) {
            t.text = QLatin1String(rules.currentMoment);
            for (std::size_t k = next; k <= close; ++k)
                tokens[k].text.clear();
        } else if (rules.integerPower && callFollows && isWord(t, "POWER") && close < tokens.size() &&
                   tokens[close].kind == Kind::Number && !tokens[close].text.contains(QLatin1Char('.'))) {
            // SQL Server's POWER takes the type of its base, so that POWER(10, n) is an integer;
            // elsewhere it can be a floating-point number, which would make the price
            // arithmetic around it inexact.
            const std::size_t end = matchingClose(tokens, open);
            if (end < tokens.size()) {
                t.text.prepend(QStringLiteral("CAST("));
                tokens[end].after = QStringLiteral(" AS INTEGER)");
            }
        } else if (rules.exactDecimal && isWord(t, "AS")) {
            const std::size_t type = nextSolid(tokens, next);
            if (type < tokens.size() &&
                (isWord(tokens[type], "DECIMAL") || isWord(tokens[type], "NUMERIC"))) {
                tokens[type].text = QLatin1String(rules.exactDecimal);
                const std::size_t args = nextSolid(tokens, type + 1);
                if (args < tokens.size() && isSymbol(tokens[args], '(')) {
                    const std::size_t end = matchingClose(tokens, args);
                    for (std::size_t k = type + 1; k <= end && k < tokens.size(); ++k)
                        tokens[k].text.clear();
                }
            }
        } else if (t.kind == Kind::Number && next < tokens.size() && tokens[next].kind == Kind::Word) {
            // SQL Server reads "0FROM" as 0 and FROM.
            t.text += QLatin1Char(' ');
        }
    }
    rewriteUpdate(tokens);
    QString out;
    out.reserve(sql.size() + 16);
    for (const Token &t : tokens)
        out += t.text + t.after;
    return out;
}

} // namespace

QString toSqliteDialect(const QString &sql)
{
    // SQLite has no exact decimal type: a value cast to DECIMAL keeps a whole number as an
    // integer, and integers divide without their fraction. Its REAL holds every whole price
    // exactly, and the price arithmetic's quotients are floored far from their rounding errors.
    return rewrite(sql, {"IFNULL", "DATETIME('now', 'localtime')", "REAL", false});
}

QString toPostgresDialect(const QString &sql)
{
    return rewrite(sql, {"COALESCE", "LOCALTIMESTAMP", nullptr, true});
}

QString toSqlServerDialect(const QString &sql)
{
    const std::vector<Token> tokens = tokenize(sql);
    QString out;
    out.reserve(sql.size() + 16);
    const Token *previous = nullptr;
    for (const Token &t : tokens) {
        if (t.kind == Kind::String && !(previous && isWord(*previous, "N"))) {
            // A word or number run straight into the literal would take the N as its own.
            if (previous && (previous->kind == Kind::Word || previous->kind == Kind::Number))
                out += QLatin1Char(' ');
            out += QLatin1Char('N');
        }
        out += t.text;
        previous = &t;
    }
    return out;
}

namespace {

// Stands for a literal in a statement's shape: a character of Unicode's private use area, which
// no statement of the program holds.
constexpr QChar LiteralMark(0xE000);
constexpr qsizetype MaxShapes = 256;

QString markedLiteral()
{
    return QLatin1Char('\'') + LiteralMark + QLatin1Char('\'');
}

// Whether a character may open a literal, a quoted name or a comment.
constexpr bool opensSomething(char16_t c)
{
    return c == u'\'' || c == u'"' || c == u'[' || c == u'-' || c == u'/';
}

// The shape of a statement and its string literals, quotes included. Quoted names and comments
// stay in the shape as they are, so that a quote inside them opens no literal.
QString shapeOf(const QString &sql, std::vector<QStringView> &literals)
{
    QString shape;
    shape.reserve(sql.size());
    const qsizetype n = sql.size();
    qsizetype plain = 0; // start of the text not yet copied
    qsizetype i = 0;
    const QChar *text = sql.constData();
    while (i < n) {
        // Most of a statement opens nothing: skipped at the pace of a plain loop.
        while (i < n && !opensSomething(text[i].unicode()))
            ++i;
        if (i == n)
            break;
        const QChar c = sql.at(i);
        const QChar following = i + 1 < n ? sql.at(i + 1) : QChar();
        if (c == QLatin1Char('\'')) {
            const qsizetype end = quotedEnd(sql, i + 1, QLatin1Char('\''));
            shape.append(QStringView(sql).mid(plain, i - plain));
            shape.append(markedLiteral());
            literals.push_back(QStringView(sql).mid(i, end - i));
            plain = i = end;
        } else if (c == QLatin1Char('"')) {
            i = quotedEnd(sql, i + 1, QLatin1Char('"'));
        } else if (c == QLatin1Char('[')) {
            i = quotedEnd(sql, i + 1, QLatin1Char(']'));
        } else if (c == QLatin1Char('-') && following == QLatin1Char('-')) {
            const qsizetype end = sql.indexOf(QLatin1Char('\n'), i);
            i = end < 0 ? n : end;
        } else if (c == QLatin1Char('/') && following == QLatin1Char('*')) {
            i = blockCommentEnd(sql, i + 2);
        } else {
            ++i;
        }
    }
    shape.append(QStringView(sql).mid(plain));
    return shape;
}

// The statements whose literals may go as bound values: other statements (DDL, the engine's own
// settings) take no parameters on some engines.
bool takesParameters(const QString &shape)
{
    qsizetype start = 0;
    while (start < shape.size() && shape.at(start).isSpace())
        ++start;
    qsizetype end = start;
    while (end < shape.size() && shape.at(end).isLetter())
        ++end;
    const QStringView word = QStringView(shape).mid(start, end - start);
    for (const char *kind : {"SELECT", "INSERT", "UPDATE", "DELETE"})
        if (word.compare(QLatin1String(kind), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// The adapted shape with the parameter marker in place of each literal; empty when the shape goes
// as text. Qt finds the markers by its own scan, which knows quotes but not comments and takes a
// colon before a name for a named marker, and the engines take a ? for a marker: a shape holding
// any of these beside the literals goes as text.
QString boundShape(const QString &shape, const QString &adapted, DialectCache::Binding binding)
{
    const QString mark = markedLiteral();
    const qsizetype literals = shape.count(mark);
    if (binding == DialectCache::Binding::None || literals == 0 || !takesParameters(shape) ||
        adapted.contains(QLatin1Char('?')) || adapted.contains(QLatin1Char(':')) ||
        adapted.contains(QStringLiteral("--")) || adapted.contains(QStringLiteral("/*")))
        return {};
    QString out;
    out.reserve(adapted.size());
    qsizetype from = 0;
    qsizetype found = 0;
    for (qsizetype at = adapted.indexOf(mark); at >= 0; at = adapted.indexOf(mark, from), ++found) {
        qsizetype start = at;
        const bool national =
            at > 0 && (adapted.at(at - 1) == QLatin1Char('N') || adapted.at(at - 1) == QLatin1Char('n')) &&
            (at == 1 || !isWordPart(adapted.at(at - 2)));
        if (national) {
            // N'...' is a text of another type than a bound text except where bound texts go as
            // Unicode texts themselves.
            if (binding != DialectCache::Binding::National)
                return {};
            start = at - 1;
        }
        out.append(QStringView(adapted).mid(from, start - from));
        out.append(QLatin1Char('?'));
        from = at + mark.size();
    }
    if (found != literals)
        return {};
    out.append(QStringView(adapted).mid(from));
    return out;
}

// The text a closed literal stands for; nothing when the literal is not closed (its quotes, the
// opening one and the doubled ones inside, are then odd in number).
std::optional<QString> literalValue(QStringView literal)
{
    if (literal.size() < 2 || !literal.endsWith(QLatin1Char('\'')) ||
        literal.count(QLatin1Char('\'')) % 2 != 0)
        return std::nullopt;
    QString value = literal.mid(1, literal.size() - 2).toString();
    value.replace(QStringLiteral("''"), QStringLiteral("'"));
    // An empty literal is an empty text, which a null string would bind as Null.
    return value.isNull() ? QStringLiteral("") : value;
}

} // namespace

DialectCache::DialectCache(Adapter adapter, Binding binding)
    : m_adapter(adapter)
    , m_binding(adapter ? binding : Binding::None)
{}

const DialectCache::Shape &DialectCache::cached(const QString &shape)
{
    auto found = m_shapes.constFind(shape);
    if (found == m_shapes.constEnd()) {
        if (m_shapes.size() >= MaxShapes)
            m_shapes.clear();
        const QString adapted = m_adapter(shape);
        found = m_shapes.insert(shape, {adapted, boundShape(shape, adapted, m_binding)});
    }
    return *found;
}

QString DialectCache::adapt(const QString &sql)
{
    if (!m_adapter)
        return sql;
    if (sql.contains(LiteralMark))
        return m_adapter(sql);
    std::vector<QStringView> literals;
    const QString &text = cached(shapeOf(sql, literals)).adapted;
    const QString mark = markedLiteral();
    QString out;
    out.reserve(sql.size() + 16);
    qsizetype from = 0;
    for (const QStringView literal : literals) {
        const qsizetype at = text.indexOf(mark, from);
        if (at < 0)
            return m_adapter(sql);
        out.append(QStringView(text).mid(from, at - from));
        out.append(literal);
        from = at + mark.size();
    }
    if (text.indexOf(mark, from) >= 0)
        return m_adapter(sql);
    out.append(QStringView(text).mid(from));
    return out;
}

// The longest text the ODBC driver binds as nvarchar: 254 bytes of UTF-16.
constexpr qsizetype MaxNationalValue = 127;

std::optional<BoundStatement> DialectCache::bind(const QString &sql)
{
    if (m_binding == Binding::None || sql.contains(LiteralMark) || sql.contains(QLatin1Char('?')))
        return std::nullopt;
    std::vector<QStringView> literals;
    const QString &shape = cached(shapeOf(sql, literals)).bound;
    if (shape.isEmpty())
        return std::nullopt;
    BoundStatement statement{shape, {}};
    statement.values.reserve(static_cast<qsizetype>(literals.size()));
    for (const QStringView literal : literals) {
        std::optional<QString> value = literalValue(literal);
        // SQL Server's driver takes a bound text of more than 127 characters as a long text (ntext),
        // which compares and joins with nothing: such a statement goes with its literals.
        if (!value || (m_binding == Binding::National && value->size() > MaxNationalValue))
            return std::nullopt;
        statement.values.append(std::move(*value));
    }
    return statement;
}

} // namespace krt
