#include "text/searchfold.h"

namespace {

// The lower-case Polish letters with diacritics and their plain letters. "ł" is in here because
// Unicode gives it no decomposition, so no normalisation would take its stroke off.
char16_t plainPolishLetter(char16_t c)
{
    switch (c) {
    case u'ą':
        return u'a';
    case u'ć':
        return u'c';
    case u'ę':
        return u'e';
    case u'ł':
        return u'l';
    case u'ń':
        return u'n';
    case u'ó':
        return u'o';
    case u'ś':
        return u's';
    case u'ź':
    case u'ż':
        return u'z';
    default:
        return c;
    }
}

} // namespace

QString foldForSearch(const QString& text)
{
    QString folded = text.toLower();
    for (QChar& c : folded)
        c = QChar(plainPolishLetter(c.unicode()));
    return folded;
}

bool searchFinds(const QString& text, const QString& query)
{
    return foldForSearch(text).contains(foldForSearch(query));
}
