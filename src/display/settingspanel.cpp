#include "display/settingspanel.h"

#include "display/form2.h"
#include "widgets/look.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>

namespace {

constexpr int kCompactHeight = 83; // four whole rows, more scroll
constexpr int kTallHeight = 600;   // 43 whole rows

template <class Button>
Button* makeButton(QWidget* parent, const char* name, const QString& caption, QRect place,
                   bool checked)
{
    auto* button = named(new Button(caption, parent), name);
    button->setGeometry(place);
    // A stand-in font a little wider than the laid-out one must not cut the caption off.
    button->resize(std::max(place.width(), button->sizeHint().width()), place.height());
    button->setChecked(checked);
    return button;
}

} // namespace

SettingsPanel::SettingsPanel(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("acset"));
    setFrameShape(QFrame::NoFrame);
    setBackground(this, Qt::white);

    Label2 = named(makeLabel(this, QStringLiteral("radudovorozu - ustawienia"), 77, 0,
                             layoutFont(QStringLiteral("Trebuchet MS"), 16), kAccent),
                   "Label2");
    Label2->resize(std::max(179, Label2->width()), 22);

    // The states at start agree with the widget's: clock and progress line shown, keyed on
    // black, light texts, no frame.
    const Options start;
    CheckBox1 = makeButton<QCheckBox>(this, "CheckBox1", QStringLiteral("Pokaż dzień i godzine"),
                                      {31, 28, 137, 17}, start.clock);
    CheckBox2 =
        makeButton<QCheckBox>(this, "CheckBox2", QStringLiteral("Pokaż potęp aktualizacji "),
                              {31, 43, 170, 17}, start.progressLine);
    abc =
        makeButton<QCheckBox>(this, "abc", QStringLiteral("Pasek przewijania jeśli dużo programów"),
                              {31, 66, 217, 17}, start.compact);
    ramka = makeButton<QCheckBox>(this, "ramka", QStringLiteral("Obramowanie RadudoVorozu"),
                                  {31, 89, 162, 17}, start.frame);
    transp = makeButton<QCheckBox>(this, "transp", QStringLiteral("Przeźroczystość RadudoVorozu"),
                                   {31, 103, 176, 17}, start.keying);
    const bool dark = start.scheme == Form2::Scheme::DarkText;
    a1 = makeButton<QRadioButton>(this, "a1", QStringLiteral("Czarny"), {95, 126, 58, 17}, dark);
    a2 = makeButton<QRadioButton>(this, "a2", QStringLiteral("Biały"), {159, 126, 66, 17}, !dark);
    auto* scheme = new QButtonGroup(this);
    scheme->addButton(a1);
    scheme->addButton(a2);

    connect(CheckBox1, &QCheckBox::clicked, this, &SettingsPanel::CheckBox1Click);
    connect(CheckBox2, &QCheckBox::clicked, this, &SettingsPanel::CheckBox2Click);
    connect(abc, &QCheckBox::clicked, this, &SettingsPanel::abcClick);
    connect(ramka, &QCheckBox::clicked, this, &SettingsPanel::ramkaClick);
    connect(transp, &QCheckBox::clicked, this, &SettingsPanel::transpClick);
    // A radio button acts only when it becomes the chosen one.
    connect(a1, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            a1Click();
    });
    connect(a2, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            a2Click();
    });
    setTabOrder(CheckBox1, CheckBox2);
    setTabOrder(CheckBox2, abc);
    setTabOrder(abc, ramka);
    setTabOrder(ramka, transp);
    setTabOrder(transp, a1);
    setTabOrder(a1, a2);
}

// The boxes flip the widget's state rather than copy their own into it; both start alike and
// nothing else changes those states, so they stay in step.
void SettingsPanel::CheckBox1Click()
{
    if (m_widget)
        m_widget->flipClock();
    emit optionsChanged();
}

void SettingsPanel::CheckBox2Click()
{
    if (m_widget)
        m_widget->flipProgressLine();
    emit optionsChanged();
}

void SettingsPanel::abcClick()
{
    if (m_widget)
        m_widget->setHeight(abc->isChecked() ? kCompactHeight : kTallHeight);
    emit optionsChanged();
}

void SettingsPanel::ramkaClick()
{
    if (m_widget)
        m_widget->repaintFrame();
    emit optionsChanged();
}

// The key colour is chosen here only, from the scheme chosen at this moment: white under dark
// texts, black under light ones.
void SettingsPanel::transpClick()
{
    if (m_widget) {
        m_widget->setColorKeying(!m_widget->colorKeying());
        m_widget->setKeyColor(a1->isChecked() ? Qt::white : Qt::black);
    }
    emit optionsChanged();
}

void SettingsPanel::a1Click()
{
    if (m_widget)
        m_widget->applyScheme(Form2::Scheme::DarkText);
    emit optionsChanged();
}

void SettingsPanel::a2Click()
{
    if (m_widget)
        m_widget->applyScheme(Form2::Scheme::LightText);
    emit optionsChanged();
}

SettingsPanel::Options SettingsPanel::options() const
{
    return {.clock = CheckBox1->isChecked(),
            .progressLine = CheckBox2->isChecked(),
            .compact = abc->isChecked(),
            .frame = ramka->isChecked(),
            .keying = transp->isChecked(),
            .scheme = a1->isChecked() ? Form2::Scheme::DarkText : Form2::Scheme::LightText,
            .keyColor = m_widget ? m_widget->keyColor() : Options().keyColor};
}

void SettingsPanel::setOptions(const Options& options)
{
    {
        // The scheme goes to the widget below, with the rest.
        const QSignalBlocker quiet1(a1);
        const QSignalBlocker quiet2(a2);
        (options.scheme == Form2::Scheme::DarkText ? a1 : a2)->setChecked(true);
    }
    CheckBox1->setChecked(options.clock);
    CheckBox2->setChecked(options.progressLine);
    abc->setChecked(options.compact);
    ramka->setChecked(options.frame);
    transp->setChecked(options.keying);
    if (!m_widget)
        return;
    m_widget->setClockShown(options.clock);
    m_widget->setProgressLineShown(options.progressLine);
    // Compact is the widget's height at start already; only a tall one changes.
    if (!options.compact)
        m_widget->setHeight(kTallHeight);
    else if (m_widget->height() == kTallHeight)
        m_widget->setHeight(kCompactHeight);
    m_widget->applyScheme(options.scheme);
    m_widget->setKeyColor(options.keyColor);
    m_widget->setColorKeying(options.keying);
    m_widget->repaintFrame();
}
