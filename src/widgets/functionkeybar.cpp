#include "widgets/functionkeybar.h"

#include "platform/clock.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>

namespace krt {

namespace {
constexpr int KeyHeight = 44;
constexpr int KeyGap = 4;
constexpr int GroupGap = 12;
} // namespace

QLB347U1::QLB347U1(const Clock &clock, QWidget *parent)
    : QWidget(parent)
    , m_clock(clock)
    , m_title(new QLabel(this))
    , m_guide(new QLabel(this))
    , m_date(new QLabel(this))
{
    setObjectName(QStringLiteral("QLB347U11"));
    QFont titleFont = font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_title->setObjectName(QStringLiteral("title"));
    m_guide->setObjectName(QStringLiteral("guide"));
    m_guide->setStyleSheet(QStringLiteral("color: #b00000;"));
    m_date->setObjectName(QStringLiteral("businessDate"));
    m_date->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    for (int keyNo = 1; keyNo <= KeyCount; ++keyNo) {
        auto *button = new QPushButton(this);
        button->setObjectName(QStringLiteral("fkey%1").arg(keyNo));
        button->setFocusPolicy(Qt::NoFocus);
        QFont keyFont = button->font();
        keyFont.setPointSizeF(keyFont.pointSizeF() * 0.85);
        button->setFont(keyFont);
        button->setEnabled(false);
        connect(button, &QPushButton::clicked, this, [this, keyNo] { raiseKey(keyNo); });
        auto *shortcut = new QShortcut(QKeySequence(Qt::Key_F1 + (keyNo - 1)), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, keyNo] { raiseKey(keyNo); });
        m_keys[static_cast<std::size_t>(keyNo - 1)] = button;
    }
    refreshDate();
}

void QLB347U1::raiseKey(int keyNo)
{
    if (!FKeyEnabled(keyNo))
        return;
    Q_EMIT FKeyClick(static_cast<short>(keyNo));
}

void QLB347U1::setProgramTitle(const QString &title)
{
    m_title->setText(title);
}

QString QLB347U1::ProgramTitle() const
{
    return m_title->text();
}

void QLB347U1::setShowClock(bool show)
{
    m_showClock = show;
    refreshDate();
}

QPushButton *QLB347U1::keyButton(int keyNo) const
{
    if (keyNo < 1 || keyNo > KeyCount)
        return nullptr;
    return m_keys[static_cast<std::size_t>(keyNo - 1)];
}

void QLB347U1::setFKeyEnabled(int keyNo, bool enabled)
{
    if (QPushButton *key = keyButton(keyNo))
        key->setEnabled(enabled);
}

bool QLB347U1::FKeyEnabled(int keyNo) const
{
    const QPushButton *key = keyButton(keyNo);
    return key && key->isEnabled();
}

void QLB347U1::setFKeyCaption(int keyNo, const QString &caption)
{
    if (QPushButton *key = keyButton(keyNo))
        key->setText(caption);
}

QString QLB347U1::FKeyCaption(int keyNo) const
{
    const QPushButton *key = keyButton(keyNo);
    return key ? key->text() : QString();
}

void QLB347U1::setGuideMessage(const QString &text)
{
    m_guide->setText(text);
}

QString QLB347U1::GuideMessage() const
{
    return m_guide->text();
}

void QLB347U1::setFixedBusinessDate(const QDate &date)
{
    m_fixedDate = date;
    refreshDate();
}

QDate QLB347U1::BusinessDate() const
{
    return m_fixedDate.isValid() ? m_fixedDate : m_clock.today();
}

void QLB347U1::refreshDate()
{
    QString text = QStringLiteral("業務日付  ") + BusinessDate().toString(QStringLiteral("yyyy/MM/dd"));
    if (m_showClock)
        text += QStringLiteral("  ") + m_clock.now().toString(QStringLiteral("HH:mm"));
    m_date->setText(text);
}

void QLB347U1::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int w = width();
    const int h = height();
    m_title->setGeometry(24, 10, w / 2, 40);
    m_date->setGeometry(w - 24 - 280, 14, 280, 28);
    m_guide->setGeometry(24, 56, w - 48, 28);
    // Four groups of three keys, as on the keyboard.
    const int available = w - 2 * 16 - 3 * GroupGap - (KeyCount - 4) * KeyGap;
    const int keyWidth = available / KeyCount;
    int x = 16;
    for (int i = 0; i < KeyCount; ++i) {
        m_keys[static_cast<std::size_t>(i)]->setGeometry(x, h - KeyHeight - 8, keyWidth, KeyHeight);
        x += keyWidth + ((i % 3 == 2) ? GroupGap : KeyGap);
    }
}

void QLB347U1::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.setPen(palette().mid().color());
    painter.drawLine(16, 90, width() - 16, 90);
    painter.drawLine(16, height() - KeyHeight - 16, width() - 16, height() - KeyHeight - 16);
}

} // namespace krt
