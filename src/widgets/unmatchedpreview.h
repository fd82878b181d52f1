#pragma once

#include "category/categorycheck.h"

#include <functional>

class QTextDocument;

namespace krt {

// The family's category check component (QLM522.QLM522C1) as the form uses it: the check of
// CategoryCheck and the print preview of the unmatched list.
class QLM522C1 : public CategoryCheck
{
public:
    // Receives the unmatched list's document instead of the modal print preview (tests).
    using PreviewSeam = std::function<void(const QTextDocument &)>;
    static void setPreviewSeam(PreviewSeam seam);

    using CategoryCheck::CategoryCheck;

    // Shows the unmatched list in a modal print preview from which the operator prints it: a
    // heading with the database (its catalog), the date and time of the check and the numbers of
    // unmatched keys, goods and stock rows, then one line per key (major category code,
    // sub-category number, number of goods and of stock rows). The argument is the family's
    // output mode; the preview is the only one this component offers, so every value opens it.
    void PrintUnMutch(short mode);
};

} // namespace krt
