#include "reminders/okienko.h"

#include "reminders/reminderschedule.h"
#include "stations/stationentry.h"
#include "text/win1250.h"
#include "widgets/glowbutton.h"
#include "widgets/look.h"
#include "widgets/roundedframe.h"
#include "widgets/windowdragger.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>

Okienko::Okienko(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setWindowTitle(tr("okienko"));
    setFixedSize(311, 126);
    setMask(roundedWindowShape(size()));
    setFont(layoutFont(QStringLiteral("Tahoma"), 11));
    setBackground(this, Qt::white);

    Label4 = named(makeLabel(this, tr("ekranik - informacja"), 85, 0,
                             layoutFont(QStringLiteral("Trebuchet MS"), 16), kAccent),
                   "Label4");
    d = named(
        makeLabel(this, QString(), 85, 20, layoutFont(QStringLiteral("Tahoma"), 11, true), kAccent),
        "d");
    a = named(makeLabel(this, QStringLiteral("cc"), 8, kPromptTop,
                        layoutFont(QStringLiteral("Tahoma"), 11), Qt::black),
              "a");
    why = named(makeLabel(this, QString(), 8, 36, layoutFont(QStringLiteral("Tahoma"), 11),
                          QColor(128, 0, 0)),
                "why");
    why->setFixedWidth(width() - 16);
    why->hide();

    b = named(new QLineEdit(this), "b");
    b->setGeometry(8, 63, kInputWidth, 19);
    // Flat: a plain one-pixel line instead of a sunken frame.
    b->setFrame(false);
    b->setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid rgb(102, 110, 105); }"));
    // Any edit answers a refusal: the prompt comes back.
    connect(b, &QLineEdit::textEdited, this, [this] {
        why->hide();
        a->show();
    });
    connect(b, &QLineEdit::returnPressed, this, &Okienko::okbutClick);

    // Beside the input box, which gives it room when a reminder is asked for.
    kiedy = named(new QComboBox(this), "kiedy");
    kiedy->setGeometry(kWhenLeft, 62, b->x() + b->width() - kWhenLeft, 21);
    for (int minutes : ReminderSchedule::kMinutesChoices) {
        kiedy->addItem(minutes == 0 ? tr("gdy leci") : tr("%1 min przed").arg(minutes), minutes);
    }
    kiedy->hide();

    abc = named(new QLabel(this), "abc");
    abc->move(8, 88);
    abc->hide();

    okbut = named(new GlowButton(this), "okbut");
    okbut->setText(QStringLiteral("OK"));
    okbut->setGeometry(64, 88, 169, 33);
    connect(okbut, &GlowButton::clicked, this, &Okienko::okbutClick);

    m_dragger = new WindowDragger(this);
    for (QWidget* handle : {static_cast<QWidget*>(Label4), static_cast<QWidget*>(a),
                            static_cast<QWidget*>(d), static_cast<QWidget*>(why)})
        m_dragger->addHandle(handle);
}

void Okienko::openWith(const QString& prompt, const QString& purpose, const QString& input)
{
    // A prompt breaks into lines at CR as well; QLabel breaks only at LF, and would run one
    // long line past the dialog's edge. Two lines move up far enough to clear the input box.
    QString lines = prompt;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    a->setText(lines);
    a->adjustSize();
    a->move(a->x(), std::min(kPromptTop, b->y() - a->height()));
    a->show();
    why->hide();
    m_purpose = purpose;
    d->setText(purposeCaption(purpose));
    d->adjustSize();
    const bool reminder = purpose == kAddReminder;
    kiedy->setVisible(reminder);
    b->setFixedWidth(reminder ? kiedy->x() - kWhenGap - b->x() : kInputWidth);
    b->setText(input);
    b->setFocus();

    // Centred on the main window each time it opens.
    const QWidget* owner = parentWidget();
    const QRect around =
        owner && owner->isVisible() ? owner->frameGeometry() : screen()->availableGeometry();
    move(around.center() - rect().center());
    exec();
}

void Okienko::okbutClick()
{
    const QString input = b->text();
    const QString& purpose = m_purpose;
    if (purpose == kAddStation) {
        if (input == kDebugAccessWord) {
            emit debugAccessWordEntered();
            return; // stays open with the word in the box
        }
        if (!input.isEmpty() && !addStation(input))
            return; // refused: stays open with the user's text and the reason
    }
    if (purpose == kAddReminder && !input.isEmpty() && !armReminder(input))
        return;
    close();
}

// The keyword is compared with titles in Windows-1250; a letter that code page lacks could
// never be found, so such a keyword is not armed and the dialog says why.
bool Okienko::armReminder(const QString& input)
{
    const std::optional<QByteArray> keyword = unicodeToWin1250(input);
    if (!keyword) {
        refuse(tr("Słowo zawiera znaki, których nie ma w polskich tytułach "
                  "(Windows-1250), więc nigdy nie zostałoby znalezione."));
        return false;
    }
    m_reminderKeyword = *keyword;
    abc->setText(input);
    emit reminderArmed(m_reminderKeyword, minutesBefore());
    return true;
}

int Okienko::minutesBefore() const
{
    return kiedy->currentData().toInt();
}

void Okienko::setMinutesBefore(int minutes)
{
    kiedy->setCurrentIndex(std::max(0, kiedy->findData(minutes)));
}

bool Okienko::addStation(const QString& input)
{
    const std::optional<QByteArray> entry = unicodeToWin1250(input);
    if (!entry) {
        refuse(tr("Tekst zawiera znaki, których nie da się zapisać w liście stacji "
                  "(Windows-1250)."));
        return false;
    }
    if (!entry->contains('|')) {
        refuse(tr("Brakuje znaku „|” między nazwą stacji a adresem "
                  "(nazwa.stacji.tv|http://adres.do.stacji)."));
        return false;
    }
    StationNameProblem problem = checkStationName(EntryName(*entry));
    if (problem == StationNameProblem::None &&
        std::any_of(entry->begin(), entry->end(), [](char c) { return uchar(c) < 0x20; }))
        problem = StationNameProblem::ControlChar;
    if (problem != StationNameProblem::None) {
        refuse(stationNameProblemText(problem));
        return false;
    }
    emit stationEntered(*entry);
    return true;
}

QString Okienko::purposeCaption(const QString& purpose)
{
    if (purpose == kAddStation)
        return tr("Dodaj stację");
    if (purpose == kShowAddress)
        return tr("Program TV na dziś");
    if (purpose == kAddReminder)
        return tr("Dodaj przypomnienie");
    return purpose;
}

void Okienko::refuse(const QString& reason)
{
    why->setText(reason);
    why->setWordWrap(true);
    why->adjustSize();
    a->hide();
    why->show();
    b->setFocus();
}

void Okienko::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    paintRoundedFrame(painter, size());
}

// Enter in the edit box is OK (handled by the box itself); it must not reach the dialog's
// default-button handling. Escape still closes the dialog without acting.
void Okienko::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
