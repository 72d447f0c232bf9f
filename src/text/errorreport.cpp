#include "text/errorreport.h"

ErrorReport::ErrorReport(const QString& text) : m_text(text), m_utf8(text.toUtf8()) {}

const char* ErrorReport::what() const noexcept
{
    return m_utf8.constData();
}
