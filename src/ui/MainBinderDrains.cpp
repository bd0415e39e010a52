// The main window's fuel drains: the events panel with the alerts, attention when one is
// raised, and the drains window from the statistics menu and the grid's pop-up menu.

#include <QAction>
#include <QApplication>
#include <QDockWidget>

#include "session/ClientSession.h"
#include "session/DrainsPart.h"
#include "session/MapInteraction.h"
#include "ui/DrainEventsPanel.h"
#include "ui/DrainsForm.h"
#include "ui/MainBinder.h"
#include "ui/MainWindow.h"

void TMainBinder::bindDrains(TDrainsPart &drains) {
    auto *panel = new TDrainEventsPanel(drains, m_session.guard());
    QDockWidget *dock = m_main.eventsDock();
    dock->setWidget(panel);
    connect(&drains, &TDrainsPart::alertRaised, this, [this, dock] {
        dock->show();
        dock->raise();
        QApplication::alert(&m_main);
    });
    // A double click on an alert shows its object on the map.
    connect(panel, &TDrainEventsPanel::objectRequested, this, [this](int number) {
        m_session.guard().run([this, number] { m_session.map().showObjectOnMap(number); });
    });

    const TfmMain::Commands &c = m_main.commands();
    for (QAction *a : {c.statDrains, c.showDrains})
        connect(a, &QAction::triggered, this, [this, &drains] {
            m_session.guard().run([this, &drains] {
                TfmDrains::Open(drains, m_session.dialogs(), m_session.guard(), &m_main);
            });
        });
}
