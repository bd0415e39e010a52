// The session's part in fuel accounting: which object the calibration and refuelling windows
// open with, and the report computations bound to the session's connection and files.

#include "db/DatabaseController.h"
#include "db/GroupManager.h"
#include "reports/FuelComputations.h"
#include "session/ClientSession.h"

int TClientSession::calibrationObject() const {
    if (!m_registry || m_selectedNumber <= 0 || !m_registry->FindObject(m_selectedNumber))
        return 0;
    return m_selectedNumber;
}

int TClientSession::fuelChargesObject() const {
    if (!m_registry)
        return 0;
    if (m_selectedNumber > 0 && m_registry->FindObject(m_selectedNumber))
        return m_selectedNumber;
    return m_registry->FDispObjects.empty() ? 0 : m_registry->FDispObjects.front()->Number;
}

TFuelComputations TClientSession::fuelComputations() {
    return TFuelComputations(m_db->Database(), m_options, m_registry.get(), *m_fmngr);
}
