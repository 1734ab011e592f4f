#pragma once

#include <QString>

class QMessageBox;

// Shows `text` in a parentless information box with one OK button, without a
// nested event loop: the caller's state must already be settled, and the
// link goes on while the box is open. The box deletes itself when closed.
QMessageBox* showNotice(const QString& text, const QString& title = QString());
