#include "notice.h"

#include <QMessageBox>

namespace {
const char* const kNoticeName = "notice";
}

QMessageBox* showNotice(QWidget* owner, const QString& text, const QString& title)
{
    if (owner) {
        // A closed box lingers until its deferred delete; only an open one is reused.
        const auto boxes = owner->findChildren<QMessageBox*>(QLatin1String(kNoticeName), Qt::FindDirectChildrenOnly);
        for (QMessageBox* open : boxes) {
            if (!open->isVisible())
                continue;
            open->setWindowTitle(title);
            open->setText(text);
            open->raise();
            open->activateWindow();
            return open;
        }
    }
    auto* box = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok, owner);
    box->setObjectName(QLatin1String(kNoticeName));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}
