#pragma once

#include <QDialog>

#include <functional>
#include <utility>
#include <vector>

#include "db/ObjectRegistry.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class TErrorGuard;
class TRegistryEdits;

// The object form: every registry field of one object. "Сохранить" hands the values to onSave;
// the form closes when they were saved and gives the number field the focus when the number
// was refused.
class TfmAddObject : public QDialog {
    Q_OBJECT
public:
    using TGroupChoices = std::vector<std::pair<QString, QString>>; // (path, GRP_ID)

    explicit TfmAddObject(QWidget *parent = nullptr);

    // "Добавление объекта" with the defaults of a new object.
    void showNew(const TGroupChoices &groups);
    // "Редактирование объекта №N" with the object's values; the number cannot change.
    void showEdit(const TObjectRecord &r, const QString &groupId, const TGroupChoices &groups);
    TObjectForm values() const;

    std::function<TRegistrySave(const TObjectForm &)> onSave;

    struct Controls {
        QLineEdit *number, *name, *shortName, *timeZone, *tankVolume;
        QComboBox *group, *depType;
        QCheckBox *engineForPark, *tankSensor, *engineSensor;
        QSpinBox *fuelW, *fuelS, *delta;
        // The object's own drain rule; 0 ("общая") takes the settings' general one.
        QSpinBox *drainLitres, *drainWindow, *drainMedian;
        QPushButton *save, *exit;
    };
    Controls ui{};

    void btnSaveClick();

private:
    void fill(const TObjectForm &f, const TGroupChoices &groups);
};

// The registry window ("База данных" -> "Объекты"): the registered objects and the commands that
// add, edit, delete, export and import them. Closing it re-runs the state grid's display filter.
class TfmDateBase : public QDialog {
    Q_OBJECT
public:
    TfmDateBase(TRegistryEdits &edits, TErrorGuard &guard, QWidget *parent = nullptr);

    // Reads the list again and selects the object (or keeps the current row).
    void reload(int selectNumber = 0);
    int selectedNumber() const;
    TfmAddObject *objectForm() const { return m_form; }

    struct Controls {
        QTableWidget *list;
        QPushButton *add, *edit, *remove, *exportButton, *importButton, *exit;
    };
    Controls ui{};

    void btnAddClick();
    void btnEditClick();
    void btnDeleteClick();
    void btnExportClick();
    void btnImportClick();

    void done(int r) override;

private:
    void showRows(int selectNumber);

    TRegistryEdits &m_edits;
    TErrorGuard &m_guard;
    std::vector<TObjectRecord> m_rows;
    TfmAddObject *m_form;
};
