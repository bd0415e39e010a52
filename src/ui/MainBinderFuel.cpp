// The main window's fuel commands: the calibration table and point of the grid's object, and
// the refuelling window from the statistics menu and the grid's pop-up menu.

#include <QAction>

#include <functional>

#include "session/ClientSession.h"
#include "session/FuelPart.h"
#include "ui/CalibrationForm.h"
#include "ui/DrainsForm.h"
#include "ui/FuelChargesForm.h"
#include "ui/MainBinder.h"
#include "ui/MainWindow.h"

void TMainBinder::bindFuel() {
    const TfmMain::Commands &c = m_main.commands();
    const auto bind = [this](QAction *action, std::function<void()> f) {
        connect(action, &QAction::triggered, this,
                [this, f = std::move(f)] { m_session.guard().run(f); });
    };
    bind(c.showCalibTable, [this] {
        TfmCalibration::Show(m_session.fuel(), m_session.guard(),
                             m_session.fuel().calibrationObject(), &m_main);
    });
    bind(c.createCalibPoint, [this] {
        TfmCalibrationPoint::Show(m_session.fuel(), m_session.guard(),
                                  m_session.fuel().calibrationObject(), &m_main);
    });
    // The refuellings window offers the drains of its object and period beside them.
    const TfmFuelCharges::TShowDrains drains = [this](int object, TDateTime from, TDateTime to) {
        m_session.guard().run([&] {
            TfmDrains::Open(m_session.drains(), m_session.dialogs(), m_session.guard(), object,
                            from, to, &m_main);
        });
    };
    for (QAction *a : {c.statCharges, c.showCharges})
        bind(a, [this, drains] {
            TfmFuelCharges::Open(m_session.fuel(), m_session.guard(), &m_main, drains);
        });
}
