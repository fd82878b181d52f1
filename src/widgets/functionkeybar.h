#pragma once

#include <QDate>
#include <QWidget>

#include <array>

class QLabel;
class QPushButton;

namespace krt {

class Clock;

// The family's function-key bar (QLB347.QLB347U1): the program title, a guidance line, the
// business date and twelve command keys. F1 to F12 on the keyboard and a click on a key raise
// FKeyClick with the key number; a disabled key raises nothing.
class QLB347U1 : public QWidget
{
    Q_OBJECT

public:
    static constexpr int KeyCount = 12;

    explicit QLB347U1(const Clock &clock, QWidget *parent = nullptr);

    void setProgramTitle(const QString &title);
    QString ProgramTitle() const;

    // With the clock shown, the business date line also carries the time of day.
    void setShowClock(bool show);
    bool showClock() const { return m_showClock; }

    void setFKeyEnabled(int keyNo, bool enabled);
    bool FKeyEnabled(int keyNo) const;
    void setFKeyCaption(int keyNo, const QString &caption);
    QString FKeyCaption(int keyNo) const;
    QPushButton *keyButton(int keyNo) const;

    void setGuideMessage(const QString &text);
    QString GuideMessage() const;

    // The business date of the system: the date fixed for the workstation when one is set,
    // otherwise today's date of the clock.
    void setFixedBusinessDate(const QDate &date);
    QDate BusinessDate() const;

Q_SIGNALS:
    void FKeyClick(short KeyNo);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void raiseKey(int keyNo);
    void refreshDate();

    const Clock &m_clock;
    QLabel *m_title;
    QLabel *m_guide;
    QLabel *m_date;
    std::array<QPushButton *, KeyCount> m_keys{};
    QDate m_fixedDate;
    bool m_showClock = true;
};

} // namespace krt
