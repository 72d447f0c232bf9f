#pragma once

#include <QtGlobal>

// What the XML scanner holds and spends on one document, all in one place. A listings source
// is input from outside: these keep a hostile or broken one from taking the portal's memory or
// time, and are far above what any real XMLTV file needs. Going past one ends the reading with
// an error that names it; only an element's text is cut instead (see kMaxElementText).
namespace xmllimits {

// The replacement text of declared entities that one document may have expanded, wherever it
// is expanded (text, attribute values each time they are asked for, entity values built from
// earlier entities): at most kEntityAmplification times the document's bytes up to the
// reference, plus kEntityAllowance characters. A few bytes of references would otherwise stand
// for gigabytes of text (the "billion laughs"). Checked before each expansion, so the memory is
// never taken. Counted up to the reference rather than up to what happens to have been read,
// so that a document gives the same result however it arrives. A document turned into UTF-8
// as it is read (UTF-16, GBK, ...) counts a third of its UTF-8 bytes: no byte read becomes more
// than three.
constexpr qint64 kEntityAmplification = 10;
constexpr qint64 kEntityAllowance = 1 << 20;

// A declared entity's text, in characters: enough for any real one.
constexpr qsizetype kMaxEntityLength = 1024;

// Longer than any entity name anyone writes; an "&" followed by more is text, not a reference.
constexpr qsizetype kMaxReference = 256;

// How deep elements nest. XMLTV needs four levels; the name of every open element is kept, so
// the names take at most kMaxDepth times kMaxMarkup.
constexpr int kMaxDepth = 64;

// Any one piece of markup the scanner must hold whole to read: a tag with its name and
// attributes, a comment, a processing instruction, the document type declaration with its
// internal subset. Text and CDATA sections are read in pieces and are not bound by it.
constexpr qsizetype kMaxMarkup = 1 << 20;

// The characters of an element's text kept by readElementText(); the rest is passed over
// without being decoded or held. A title or a name is never near it.
constexpr qsizetype kMaxElementText = 64 * 1024;

} // namespace xmllimits
