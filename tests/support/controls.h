#pragma once

// Reaches the controls of a window by the names the family gives them: "opt_Round", or index 1 of
// the control array opt_Tax, "opt_Tax(1)". A control that is missing ends the test.

#include <QAnyStringView>
#include <QLineEdit>
#include <QRadioButton>

namespace krt::testing {

template <class T> T *control(const QWidget &window, QAnyStringView name, int index = -1)
{
    const QString text =
        index < 0 ? name.toString() : QStringLiteral("%1(%2)").arg(name.toString()).arg(index);
    T *found = window.findChild<T *>(text);
    if (!found)
        qFatal("no control %s", qPrintable(text));
    return found;
}

inline QRadioButton *opt(const QWidget &window, QAnyStringView name, int index = -1)
{
    return control<QRadioButton>(window, name, index);
}

inline QLineEdit *txt(const QWidget &window, QAnyStringView name, int index)
{
    return control<QLineEdit>(window, name, index);
}

} // namespace krt::testing
