#pragma once

#include <QString>

// The form of a text that searching compares: lower case, and the Polish letters with
// diacritics (ą ć ę ł ń ó ś ź ż, either case) as their plain letters, so "lodz" finds "Łódź".
// Other letters stay as they are, apart from the case: a search typed on a Polish keyboard
// without its AltGr letters must find Polish names, but "é" is not "e" for anyone here.
QString foldForSearch(const QString& text);

// Whether `text` holds `query`, both folded; an empty query is found everywhere.
bool searchFinds(const QString& text, const QString& query);
