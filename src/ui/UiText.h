#pragma once

#include <QString>

#include "platform/Translate.h"

// A text of the window in the chosen language, as a QString. The Chinese texts in the sources are
// the catalog's message ids (the catalog's extraction knows this function by name).
inline QString UiText(const char* text) {
    return QString::fromUtf8(platform::Tr(text));
}
