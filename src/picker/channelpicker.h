#pragma once

#include "stations/portalchannels.h"

#include <QByteArray>
#include <QDialog>
#include <QList>
#include <QStringList>

class ChannelFilter;
class ChannelModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QTreeView;

// The channel picker "Wybierz kanały": where the listings come from, and which of the portal's
// channels are stations. It shows what it is given (the station list, the portal's answers)
// and says what the user wants as signals; it fetches and changes nothing itself.
//
// Typing anywhere in it searches, Space ticks the current row, arrows move in the list, Enter
// confirms and Escape cancels.
class ChannelPicker : public QDialog {
    Q_OBJECT
public:
    explicit ChannelPicker(QWidget* parent = nullptr);

    // The station list: the channels it has checked come ticked.
    void setStations(const QList<QByteArray>& entries, const QList<bool>& checks);
    // The kept sources, shown in the source field. None: the picker asks for one first, says
    // what belongs there and offers the made-up demo listings.
    void setSources(const QStringList& sources);
    // The file of the made-up listings that "Program przykładowy" loads.
    void setDemoListings(const QString& path);

    // The portal's answer: "reading" says so, problems are listed with their reasons, and the
    // rows follow a ready answer only, so a failure leaves the list as it was.
    void showChannels(const PortalChannels& channels);
    // The answer could not be had: the reason, the list untouched.
    void showFailure(const QString& reason);

signals:
    // "Wczytaj" or "Program przykładowy": the portal should read these sources.
    void loadWanted(const QStringList& sources);
    // OK: the station lines (Windows-1250) ticked that the station list lacks or has unchecked,
    // and those it has checked that were unticked.
    void picked(const QList<QByteArray>& addedOrChecked, const QList<QByteArray>& unchecked);

public slots:
    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildLayout();
    void browseClick();
    void loadClick();
    void demoClick();
    void searchChanged(const QString& text);
    void showState(const QString& text);
    bool typesIntoSearch(QKeyEvent* event) const;

    QLineEdit* source;
    QToolButton* browse;
    QPushButton* load;
    QLabel* hint;
    QPushButton* demo;
    QLabel* state;
    QLineEdit* search;
    QTreeView* channels;
    QPushButton* ok;
    QPushButton* cancel;
    ChannelModel* m_model;
    ChannelFilter* m_filter;
    QString m_demoPath;
    bool m_noSources = false;
};
