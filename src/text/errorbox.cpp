#include "text/errorbox.h"

#include <QDebug>

namespace {

ErrorBox& Installed()
{
    static ErrorBox box;
    return box;
}

} // namespace

void SetErrorBox(ErrorBox box)
{
    Installed() = std::move(box);
}

void ShowErrorBox(const QString& text)
{
    if (Installed())
        Installed()(text);
    else
        qWarning().noquote() << text;
}
