#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// A failure the user is told about. Thrown by the station file functions and caught by the
// window at the event handler boundary, which shows text() in an error box; whatever the
// handler would have done after the failing step is skipped.
class ErrorReport : public std::exception {
public:
    explicit ErrorReport(const QString& text);

    QString text() const { return m_text; }
    const char* what() const noexcept override;

private:
    QString m_text;
    QByteArray m_utf8;
};
