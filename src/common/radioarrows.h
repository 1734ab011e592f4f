#pragma once

#include <QList>

class QAbstractButton;

// Arrow keys on these radio buttons (one exclusive set, in order) only move the
// focus to the previous or next one: Qt's own arrow navigation clicks the
// neighbour of a checked button, and where a click sends a write to the device
// a stray key must not. A mouse click or Space on the focused button chooses.
void moveFocusOnArrows(const QList<QAbstractButton*>& radios);
