#pragma once

#include "app/krt550f1.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace krt::bench {

// Drives the real main form as the operator does: every confirmation answered Yes, every other
// box acknowledged and kept, through the message boxes' responder while the driver lives.
class FormDriver
{
public:
    FormDriver();
    ~FormDriver();
    FormDriver(const FormDriver &) = delete;
    FormDriver &operator=(const FormDriver &) = delete;

    // Loads the form on an installation as the start-up routine does (Form_Load with the first
    // database switch, the category check and the marking of every category, then showing it),
    // timed to the ready state; nothing, after saying why, when it does not get there.
    std::unique_ptr<KRT550F1> load(const QString &installation, double &seconds);
    // Enters the conditions (method 1 from 8 % to 10 %, goods prices rounded half up and add-on
    // prices rounded down at the ones, the digit position a rounding method selects first) and
    // gives the Execute command, timed to the box that ends a successful run.
    bool convert(KRT550F1 &form, double &seconds);
    // Of the last run's time, the time from each COMMIT to the run's next statement: what its
    // categories' commits cost (on a server that commits durably, the wait for the disk).
    double commitSeconds() const { return m_commits; }

    // A control of the main form by the name the family gives it.
    template <class T> static T *control(const KRT550F1 &form, const char *name)
    {
        return form.findChild<T *>(QString::fromLatin1(name));
    }

private:
    QStringList m_boxes;
    double m_commits = 0;
};

} // namespace krt::bench
