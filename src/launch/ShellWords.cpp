#include "ShellWords.h"

namespace vantry::launch {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

QString unclosed(QChar quote, qsizetype at)
{
    const QString name = quote == u'\'' ? QStringLiteral("single") : QStringLiteral("double");
    return QStringLiteral("the %1 quote at character %2 is not closed").arg(name).arg(at + 1);
}

} // namespace

ShellWords splitShellWords(QStringView text)
{
    ShellWords result;
    QString word;
    bool inWord = false; // a quoted empty text is a word too
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (isBlank(c)) {
            if (inWord)
                result.words << word;
            word.clear();
            inWord = false;
            continue;
        }
        if (c == u'\\') {
            if (i + 1 == n) {
                // As the shell does with a backslash at the very end: it stands for itself.
                word += c;
            } else if (text[i + 1] != u'\n') {
                word += text[++i];
            } else {
                ++i; // line continuation
                continue;
            }
            inWord = true;
            continue;
        }
        if (c == u'\'') {
            const qsizetype close = text.indexOf(u'\'', i + 1);
            if (close < 0)
                return {{}, unclosed(c, i)};
            word += text.mid(i + 1, close - i - 1);
            i = close;
            inWord = true;
            continue;
        }
        if (c == u'"') {
            const qsizetype open = i;
            for (++i; i < n && text[i] != u'"'; ++i) {
                if (text[i] == u'\\' && i + 1 < n) {
                    const QChar e = text[i + 1];
                    if (e == u'"' || e == u'\\' || e == u'$' || e == u'`') {
                        word += e;
                        ++i;
                        continue;
                    }
                    if (e == u'\n') {
                        ++i;
                        continue;
                    }
                }
                word += text[i];
            }
            if (i >= n)
                return {{}, unclosed(c, open)};
            inWord = true;
            continue;
        }
        word += c;
        inWord = true;
    }
    if (inWord)
        result.words << word;
    return result;
}

} // namespace vantry::launch
