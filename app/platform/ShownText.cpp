// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ShownText.h"

namespace {

// Invisible characters that change how the rest of a line reads.
bool hidden(char32_t code) {
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) ||      // C0, DEL, C1 (NEL among them)
           (code >= 0xD800 && code <= 0xDFFF) ||                 // half of a pair, alone
           code == 0x2028 || code == 0x2029 ||                   // line and paragraph separators
           code == 0x061C || code == 0x200E || code == 0x200F || // direction marks
           (code >= 0x202A && code <= 0x202E) ||                 // embeddings and overrides
           (code >= 0x2066 && code <= 0x2069);                   // isolates
}

QString escaped(char32_t code) {
    switch (code) {
    case u'\n':
        return QStringLiteral("\\n");
    case u'\r':
        return QStringLiteral("\\r");
    case u'\t':
        return QStringLiteral("\\t");
    default:
        break;
    }
    const QString hex = QString::number(uint(code), 16).toUpper();
    return code < 0x100 ? QStringLiteral("\\x") + hex.rightJustified(2, u'0')
                        : QStringLiteral("\\u{") + hex + u'}';
}

} // namespace

QString ShownText(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
        } else if (hidden(c.unicode())) {
            out += escaped(c.unicode());
        } else {
            out += c;
        }
    }
    return out;
}
