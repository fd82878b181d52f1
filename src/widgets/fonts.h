#pragma once

#include <QFont>
#include <QStringList>

namespace krt {

// The family's screen font, "ＭＳ ゴシック", with Japanese fonts found on other platforms behind it.
inline QFont familyFont(qreal pointSize = 10.5)
{
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"),
                      QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("Noto Sans CJK JP")});
    font.setPointSizeF(pointSize);
    return font;
}

} // namespace krt
