#include "ui/ObjectComboBox.h"

#include "db/GroupManager.h"

#include <QComboBox>

void FillObjectComboBox(QComboBox &box, const TObjectPickList &list) {
    box.clear();
    for (const TObjectPickEntry &e : list.entries)
        box.addItem(e.text, e.number);
    box.setCurrentIndex(list.selected);
}

std::optional<int> ComboBoxObjectNumber(const QComboBox &box) {
    const QVariant v = box.currentData();
    if (box.currentIndex() < 0 || !v.isValid())
        return std::nullopt;
    return v.toInt();
}
