#include "text/errorbox.h"

#include <QDebug>

namespace {

ErrorBox& installed()
{
    static ErrorBox box;
    return box;
}

} // namespace

void setErrorBox(ErrorBox box)
{
    installed() = std::move(box);
}

void showErrorBox(const QString& text)
{
    if (installed())
        installed()(text);
    else
        qWarning().noquote() << text;
}
