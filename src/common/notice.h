#pragma once

#include <QString>

class QMessageBox;
class QWidget;

// Shows `text` in an information box with one OK button, without a nested
// event loop: the caller's state must already be settled, and the link goes
// on while the box is open. The box deletes itself when closed.
//
// With an `owner` the box opens over the owner's window, and the owner shows
// one box at a time: a newer message replaces the text of the open one, so
// two failures in a row do not pile up boxes.
QMessageBox* showNotice(QWidget* owner, const QString& text, const QString& title = QString());
