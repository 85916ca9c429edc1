#pragma once
// What a key press types, for controls that filter characters. Shortcuts (keys held with Ctrl,
// Alt or Meta) and keys that type nothing (arrows, Home, Delete) are not characters; Backspace
// is, as "\b". Enter, Escape and Tab are the form's keys, not text, and count as none too.
#include <QChar>
#include <QString>

#include <optional>

class QKeyEvent;

std::optional<QChar> TypedChar(const QKeyEvent& AEvent);
// The locale's decimal separator (QLocale's default locale).
QString DecimalSeparator();
// Refuses a key audibly.
void Beep();
