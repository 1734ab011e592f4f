#include "notice.h"

#include <QMessageBox>

QMessageBox* showNotice(const QString& text, const QString& title)
{
    auto* box = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}
