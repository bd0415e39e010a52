#include "session/FuelPart.h"

#include "db/GroupManager.h"
#include "reports/FuelComputations.h"
#include "session/SessionTypes.h"

TFuelPart::TFuelPart(db::TDatabase &database, TOptions &options, TDialogs &dialogs,
                     TFManager &fmngr, const TSelection &selection)
    : m_db(database), m_options(options), m_dialogs(dialogs), m_fmngr(fmngr),
      m_selection(selection) {}

int TFuelPart::calibrationObject() const {
    const int n = m_selection.number;
    return m_registry && n > 0 && m_registry->FindObject(n) ? n : 0;
}

int TFuelPart::fuelChargesObject() const {
    if (!m_registry)
        return 0;
    const int n = m_selection.number;
    if (n > 0 && m_registry->FindObject(n))
        return n;
    return m_registry->FDispObjects.empty() ? 0 : m_registry->FDispObjects.front()->Number;
}

TFuelComputations TFuelPart::fuelComputations() {
    return TFuelComputations(m_db, m_options, m_registry, m_fmngr);
}
