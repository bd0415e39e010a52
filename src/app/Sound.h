#pragma once

#include <QString>

// Plays a ".wav" file once, asynchronously; a machine without sound (or without the file)
// stays silent.
void PlaySound(const QString &fileName);
