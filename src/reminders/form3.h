#pragma once

#include "reminders/broadcast.h"

#include <QByteArray>
#include <QWidget>

class GlowButton;
class QLabel;

// The reminder window: pops up, always on top, when the reminder keyword turns up in a title
// on air, or ahead of a programme that will be. "Schowaj" hides it; a later reminder fills it anew
// and raises it again. Like the program's other windows it stays off the taskbar.
class Form3 : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 351;
    static constexpr int kHeight = 175;

    explicit Form3(QWidget* parent = nullptr);

    // Fills the three labels and shows the window in front, not modally.
    void showReminder(const QByteArray& keyword, const QByteArray& title,
                      const QByteArray& station);
    // The same for a broadcast still to come, or on since a moment: its start time stands in
    // the first label.
    void showBroadcast(const Broadcast& broadcast);
    void GlowButton1Click();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* Label4;
    QLabel* Label1;
    QLabel* a; // the keyword
    QLabel* b; // the title
    QLabel* c; // the station
    GlowButton* GlowButton1;
};
