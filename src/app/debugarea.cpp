#include "app/debugarea.h"

#include "text/win1250.h"
#include "widgets/debuglog.h"
#include "widgets/look.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>

DebugArea::DebugArea(QAbstractItemModel* nowPlaying, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("debugArea"));
    // The controls' places are those of the main window's layout, less the area's top.
    const auto place = [](QWidget* control, int x, int y, int w, int h) {
        control->setGeometry(x, y - kTop, w, h);
    };
    xxx = named(makeLabel(this, QString(), 216, 308 - kTop, layoutFont(QStringLiteral("Tahoma"), 9),
                          Qt::black),
                "xxx");
    Label1 = named(makeLabel(this, QStringLiteral(".mrowka"), 137, 311 - kTop,
                             layoutFont(QStringLiteral("Trebuchet MS"), 21, true), Qt::black),
                   "Label1");
    Memo2 = named(new DebugLog(this), "Memo2");
    place(Memo2, 17, 335, 313, 155);
    Memo2->setFont(layoutFont(QStringLiteral("Trebuchet MS"), 8));
    ilosc = named(new QListView(this), "ilosc");
    place(ilosc, 17, 496, 313, 80);
    Edit1 = named(new QLineEdit(this), "Edit1");
    place(Edit1, 17, 583, 313, 24);
    Button1 = named(new QPushButton(tr("kasuj"), this), "Button1");
    place(Button1, 17, 607, 105, 17);
    Button2 = named(new QPushButton(tr("dodaj fake"), this), "Button2");
    place(Button2, 129, 607, 129, 17);

    ilosc->setModel(nowPlaying);
    connect(ilosc->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &DebugArea::iloscClick);
    connect(ilosc, &QListView::clicked, this, &DebugArea::iloscClick);
    connect(Button1, &QPushButton::clicked, this, &DebugArea::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &DebugArea::Button2Click);
}

void DebugArea::iloscClick()
{
    // With no line selected there is nothing to copy.
    if (const QModelIndex current = ilosc->currentIndex(); current.isValid())
        Edit1->setText(current.data().toString());
}

void DebugArea::Button1Click()
{
    emit clearChosen();
}

void DebugArea::Button2Click()
{
    emit testLineChosen(QByteArrayLiteral("Fake program ;]"));
}

void DebugArea::appendLog(const QStringList& lines)
{
    Memo2->appendLines(lines);
}

void DebugArea::showDownloadProgress(const QByteArray& station, int readed, int total)
{
    // One arg() for all three: a station called "tv%1" must not take the numbers' places.
    xxx->setText(
        tr("Aktualizuje %1 %2/%3")
            .arg(win1250ToUnicode(station), QString::number(readed), QString::number(total)));
    xxx->adjustSize();
}
