#include "display/settingspanel.h"

#include "display/widgetlookmodel.h"
#include "widgets/look.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>

namespace {

template <class Button>
Button* makeButton(QWidget* parent, const char* name, const QString& caption, QRect place)
{
    auto* button = named(new Button(caption, parent), name);
    button->setGeometry(place);
    // A stand-in font a little wider than the laid-out one must not cut the caption off.
    button->resize(std::max(place.width(), button->sizeHint().width()), place.height());
    return button;
}

} // namespace

SettingsPanel::SettingsPanel(WidgetLookModel* look, QWidget* parent) : QFrame(parent), m_look(look)
{
    setObjectName(QStringLiteral("acset"));
    setFrameShape(QFrame::NoFrame);
    setBackground(this, Qt::white);

    Label2 = named(makeLabel(this, tr("radudovorozu - ustawienia"), 77, 0,
                             layoutFont(QStringLiteral("Trebuchet MS"), 16), kAccent),
                   "Label2");
    Label2->resize(std::max(179, Label2->width()), 22);

    CheckBox1 =
        makeButton<QCheckBox>(this, "CheckBox1", tr("Pokaż dzień i godzine"), {31, 28, 137, 17});
    CheckBox2 = makeButton<QCheckBox>(this, "CheckBox2", tr("Pokaż potęp aktualizacji "),
                                      {31, 43, 170, 17});
    abc = makeButton<QCheckBox>(this, "abc", tr("Pasek przewijania jeśli dużo programów"),
                                {31, 66, 217, 17});
    ramka = makeButton<QCheckBox>(this, "ramka", tr("Obramowanie RadudoVorozu"), {31, 89, 162, 17});
    transp = makeButton<QCheckBox>(this, "transp", tr("Przeźroczystość RadudoVorozu"),
                                   {31, 103, 176, 17});
    next = makeButton<QCheckBox>(this, "next", tr("Następny program"), {176, 28, 120, 17});
    a1 = makeButton<QRadioButton>(this, "a1", tr("Czarny"), {95, 126, 58, 17});
    a2 = makeButton<QRadioButton>(this, "a2", tr("Biały"), {159, 126, 66, 17});
    auto* scheme = new QButtonGroup(this);
    scheme->addButton(a1);
    scheme->addButton(a2);
    showLook(m_look->look());

    connect(CheckBox1, &QCheckBox::clicked, this, &SettingsPanel::CheckBox1Click);
    connect(CheckBox2, &QCheckBox::clicked, this, &SettingsPanel::CheckBox2Click);
    connect(abc, &QCheckBox::clicked, this, &SettingsPanel::abcClick);
    connect(ramka, &QCheckBox::clicked, this, &SettingsPanel::ramkaClick);
    connect(transp, &QCheckBox::clicked, this, &SettingsPanel::transpClick);
    connect(next, &QCheckBox::clicked, this, &SettingsPanel::nextClick);
    // A radio button acts only when it becomes the chosen one.
    connect(a1, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            a1Click();
    });
    connect(a2, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            a2Click();
    });
    connect(m_look, &WidgetLookModel::changed, this, &SettingsPanel::showLook);
    setTabOrder(CheckBox1, next);
    setTabOrder(next, CheckBox2);
    setTabOrder(CheckBox2, abc);
    setTabOrder(abc, ramka);
    setTabOrder(ramka, transp);
    setTabOrder(transp, a1);
    setTabOrder(a1, a2);
}

QList<QWidget*> SettingsPanel::dragHandles()
{
    return {this, Label2};
}

void SettingsPanel::showLook(const WidgetLook& look)
{
    CheckBox1->setChecked(look.clock);
    CheckBox2->setChecked(look.progressLine);
    abc->setChecked(look.compact);
    ramka->setChecked(look.frame);
    transp->setChecked(look.keying);
    next->setChecked(look.next);
    // Shown, not chosen: the look has the scheme already.
    const QSignalBlocker quiet1(a1);
    const QSignalBlocker quiet2(a2);
    (look.scheme == WidgetLook::Scheme::DarkText ? a1 : a2)->setChecked(true);
}

void SettingsPanel::edit(const std::function<void(WidgetLook&)>& change)
{
    WidgetLook look = m_look->look();
    change(look);
    m_look->setLook(look);
}

void SettingsPanel::CheckBox1Click()
{
    edit([this](WidgetLook& look) { look.clock = CheckBox1->isChecked(); });
}

void SettingsPanel::CheckBox2Click()
{
    edit([this](WidgetLook& look) { look.progressLine = CheckBox2->isChecked(); });
}

void SettingsPanel::abcClick()
{
    edit([this](WidgetLook& look) { look.compact = abc->isChecked(); });
}

void SettingsPanel::ramkaClick()
{
    edit([this](WidgetLook& look) { look.frame = ramka->isChecked(); });
}

// The key colour is chosen here only, from the scheme chosen at this moment: white under dark
// texts, black under light ones.
void SettingsPanel::transpClick()
{
    edit([this](WidgetLook& look) {
        look.keying = transp->isChecked();
        look.keyColor = a1->isChecked() ? Qt::white : Qt::black;
    });
}

void SettingsPanel::a1Click()
{
    edit([](WidgetLook& look) { look.scheme = WidgetLook::Scheme::DarkText; });
}

void SettingsPanel::a2Click()
{
    edit([](WidgetLook& look) { look.scheme = WidgetLook::Scheme::LightText; });
}

void SettingsPanel::nextClick()
{
    edit([this](WidgetLook& look) { look.next = next->isChecked(); });
}
