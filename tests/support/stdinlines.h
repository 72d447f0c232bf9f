#pragma once

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QString>
#include <QStringList>
#include <functional>
#include <unistd.h>

// Hands each line a test script writes to this program's standard input to `command`, from the
// event loop; the program ends when its input closes. For the helper programs the end-to-end
// scripts drive.
inline void takeCommandsFromStdin(QObject* owner, std::function<void(const QString&)> command)
{
    auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, owner);
    QObject::connect(input, &QSocketNotifier::activated, owner, [input, command] {
        char buffer[512];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input->setEnabled(false);
            QCoreApplication::quit();
            return;
        }
        for (const QString& line :
             QString::fromUtf8(buffer, int(n)).split(u'\n', Qt::SkipEmptyParts))
            command(line);
    });
}
