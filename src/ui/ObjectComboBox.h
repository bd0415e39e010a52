#pragma once

#include <optional>

class QComboBox;
struct TObjectPickList;

// Fills an object pick list from the manager's entries (TManager::ObjListToComboBox): each
// item carries its object's number.
void FillObjectComboBox(QComboBox &box, const TObjectPickList &list);
// The number attached to the current item; nothing when no item is current.
std::optional<int> ComboBoxObjectNumber(const QComboBox &box);
