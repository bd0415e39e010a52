#pragma once

// The session's part in fuel accounting: which object the calibration and refuelling windows
// open with, and the report computations bound to the main connection and the track files.

struct TOptions;
struct TSelection;
class TDialogs;
class TFManager;
class TFuelComputations;
class TManager;
namespace db {
class TDatabase;
}

class TFuelPart {
public:
    TFuelPart(db::TDatabase &database, TOptions &options, TDialogs &dialogs, TFManager &fmngr,
              const TSelection &selection);

    void setRegistry(TManager *registry) { m_registry = registry; }
    TManager *registry() const { return m_registry; }
    // The connection the fuel windows edit through.
    db::TDatabase &database() { return m_db; }
    TDialogs &dialogs() { return m_dialogs; }

    // The object the calibration commands act on: the grid's selected one when it is
    // registered, else 0.
    int calibrationObject() const;
    // The object the refuelling window opens with: the selected row's, else the first row's;
    // 0 when the grid shows no object.
    int fuelChargesObject() const;
    TFuelComputations fuelComputations();

private:
    db::TDatabase &m_db;
    TOptions &m_options;
    TDialogs &m_dialogs;
    TFManager &m_fmngr;
    const TSelection &m_selection;
    TManager *m_registry = nullptr;
};
