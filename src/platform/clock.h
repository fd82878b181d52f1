#pragma once

#include <QDateTime>

#include <optional>

namespace krt {

// The workstation's clock. Tests set a fixed moment; the program reads the system time.
class Clock
{
public:
    QDateTime now() const { return m_fixed ? *m_fixed : QDateTime::currentDateTime(); }
    QDate today() const { return now().date(); }
    void setFixed(const QDateTime &moment) { m_fixed = moment; }

private:
    std::optional<QDateTime> m_fixed;
};

} // namespace krt
