#include "picker/channelpicker.h"

#include "picker/channelfilter.h"
#include "picker/channelmodel.h"
#include "widgets/look.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>

ChannelPicker::ChannelPicker(QWidget* parent)
    : QDialog(parent), m_model(new ChannelModel(this)), m_filter(new ChannelFilter(this))
{
    setObjectName(QStringLiteral("ChannelPicker"));
    setWindowTitle(tr("Wybierz kanały"));
    m_filter->setSourceModel(m_model);
    buildLayout();
    resize(640, 480);
}

void ChannelPicker::buildLayout()
{
    source = named(new QLineEdit(this), "source");
    source->setPlaceholderText(tr("plik XMLTV albo adres http(s)://…"));
    browse = named(new QToolButton(this), "browse");
    browse->setText(QStringLiteral("…"));
    browse->setToolTip(tr("Wybierz plik z programem XMLTV"));
    load = named(new QPushButton(tr("Wczytaj"), this), "load");
    hint = named(new QLabel(tr("Plik XMLTV (np. z tv_grab_pl) albo jego adres; "
                               "program przykładowy jest zmyślony."),
                            this),
                 "hint");
    hint->setWordWrap(true);
    demo = named(new QPushButton(tr("Program przykładowy"), this), "demo");
    demo->setToolTip(tr("Zmyślony program kilku stacji, do wypróbowania ekranika"));
    state = named(new QLabel(this), "state");
    state->setWordWrap(true);
    state->hide();
    search = named(new QLineEdit(this), "search");
    search->setPlaceholderText(tr("Szukaj kanału"));
    search->setClearButtonEnabled(true);
    channels = named(new QTreeView(this), "channels");
    channels->setModel(m_filter);
    channels->setRootIsDecorated(false);
    channels->setUniformRowHeights(true);
    channels->setAllColumnsShowFocus(true);
    channels->setSelectionBehavior(QAbstractItemView::SelectRows);
    channels->header()->setStretchLastSection(false);
    channels->header()->setSectionResizeMode(ChannelModel::Name, QHeaderView::Stretch);
    channels->header()->setSectionResizeMode(ChannelModel::OnAir, QHeaderView::Stretch);
    channels->header()->setSectionResizeMode(ChannelModel::Reach, QHeaderView::ResizeToContents);
    auto* buttons = named(
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this), "buttons");
    ok = named(buttons->button(QDialogButtonBox::Ok), "ok");
    cancel = named(buttons->button(QDialogButtonBox::Cancel), "cancel");
    ok->setDefault(true);
    // Enter confirms the dialog wherever the focus is, except in the source field.
    for (QPushButton* button : {load, demo})
        button->setAutoDefault(false);
    buttons->addButton(demo, QDialogButtonBox::ActionRole);

    auto* sourceRow = new QHBoxLayout;
    sourceRow->addWidget(new QLabel(tr("Źródło programu:"), this));
    sourceRow->addWidget(source, 1);
    sourceRow->addWidget(browse);
    sourceRow->addWidget(load);
    auto* column = new QVBoxLayout(this);
    column->addLayout(sourceRow);
    column->addWidget(hint);
    column->addWidget(state);
    column->addWidget(search);
    column->addWidget(channels, 1);
    column->addWidget(buttons);

    connect(browse, &QToolButton::clicked, this, &ChannelPicker::browseClick);
    connect(load, &QPushButton::clicked, this, &ChannelPicker::loadClick);
    connect(demo, &QPushButton::clicked, this, &ChannelPicker::demoClick);
    connect(search, &QLineEdit::textChanged, this, &ChannelPicker::searchChanged);
    connect(buttons, &QDialogButtonBox::accepted, this, &ChannelPicker::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ChannelPicker::reject);
    for (QWidget* watched : {static_cast<QWidget*>(source), static_cast<QWidget*>(search),
                             static_cast<QWidget*>(channels)})
        watched->installEventFilter(this);
    setSources({});
}

void ChannelPicker::setStations(const QList<QByteArray>& entries, const QList<bool>& checks)
{
    m_model->setStations(entries, checks);
}

void ChannelPicker::setSources(const QStringList& sources)
{
    // One source per field: the first is shown, the rest kept in the portal's own list.
    source->setText(sources.value(0));
    m_noSources = sources.isEmpty();
    hint->setVisible(m_noSources);
    demo->setVisible(m_noSources);
}

void ChannelPicker::setDemoListings(const QString& path)
{
    m_demoPath = path;
    demo->setEnabled(!path.isEmpty());
}

void ChannelPicker::showChannels(const PortalChannels& answer)
{
    QStringList lines;
    if (answer.state == PortalChannels::State::Reading)
        lines << tr("Wczytywanie programu…");
    // The portal's reason names the line of broken listings itself.
    for (const PortalProblem& problem : answer.problems)
        lines << QStringLiteral("%1: %2").arg(problem.source, problem.reason);
    showState(lines.join(QLatin1Char('\n')));
    if (answer.state != PortalChannels::State::Ready)
        return;
    m_model->setChannels(answer.channels, QDateTime::currentDateTime());
    searchChanged(search->text());
    // The source just read: what comes next is searching and ticking.
    if (source->hasFocus())
        channels->setFocus();
}

void ChannelPicker::showFailure(const QString& reason)
{
    showState(reason);
}

void ChannelPicker::showState(const QString& text)
{
    state->setText(text);
    state->setVisible(!text.isEmpty());
}

void ChannelPicker::accept()
{
    emit picked(m_model->added(), m_model->unchecked());
    QDialog::accept();
}

void ChannelPicker::browseClick()
{
    const QString file = QFileDialog::getOpenFileName(
        this, tr("Plik z programem XMLTV"), QString(),
        tr("Program XMLTV (*.xml *.xmltv *.gz *.xz);;Wszystkie pliki (*)"));
    if (!file.isEmpty())
        source->setText(file);
}

void ChannelPicker::loadClick()
{
    const QString wanted = source->text().trimmed();
    if (wanted.isEmpty()) {
        source->setFocus();
        return;
    }
    showState(tr("Wczytywanie programu…"));
    emit loadWanted({wanted});
}

void ChannelPicker::demoClick()
{
    source->setText(m_demoPath);
    showState(tr("Wczytywanie programu…"));
    emit loadWanted({m_demoPath});
}

// A new search puts the first channel found under the cursor, ready for Space.
void ChannelPicker::searchChanged(const QString& text)
{
    m_filter->setSearch(text);
    if (m_filter->rowCount() > 0)
        channels->setCurrentIndex(m_filter->index(0, ChannelModel::Name));
}

// Text typed outside the two fields: printable characters and Backspace, no shortcuts.
bool ChannelPicker::typesIntoSearch(QKeyEvent* event) const
{
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    if (event->key() == Qt::Key_Backspace)
        return true;
    const QString text = event->text();
    return !text.isEmpty() && text.at(0).isPrint() && event->key() != Qt::Key_Space;
}

bool ChannelPicker::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == source && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        loadClick();
        return true;
    }
    if (watched == search) {
        // The arrows go on into the list, to the row found first, where Space then ticks.
        if (key->key() != Qt::Key_Up && key->key() != Qt::Key_Down)
            return false;
        channels->setFocus();
        if (!channels->currentIndex().isValid() && m_filter->rowCount() > 0)
            channels->setCurrentIndex(m_filter->index(0, ChannelModel::Name));
        return true;
    }
    if (watched == channels) {
        if (key->key() == Qt::Key_Space) {
            const QModelIndex current = channels->currentIndex();
            if (current.isValid())
                m_model->toggle(m_filter->mapToSource(current).row());
            return true;
        }
        if (typesIntoSearch(key)) {
            QCoreApplication::sendEvent(search, event);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// Keys the buttons leave: typing goes to the search field.
void ChannelPicker::keyPressEvent(QKeyEvent* event)
{
    if (typesIntoSearch(event)) {
        search->setFocus();
        QCoreApplication::sendEvent(search, event);
        return;
    }
    QDialog::keyPressEvent(event);
}

void ChannelPicker::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_noSources)
        source->setFocus();
    else
        channels->setFocus();
}
