#pragma once

#include "tervancore.h"

#include <QHash>
#include <QStringList>
#include <QWidget>

class QLineEdit;
class QRadioButton;

// The "ProductInformation" tab: the device's identity and manufacturing data,
// read once after the device is found and never written.
class UI_ProductV3 : public QWidget
{
    Q_OBJECT

public:
    explicit UI_ProductV3(QWidget* parent = nullptr);
    ~UI_ProductV3() override;

    QStringList readList();
    void mfc_ack(TervanCore::mfc_reg_t reg);

private:
    void buildUi();

    QStringList m_regList;
    QHash<QString, QLineEdit*> m_fields; // register name -> its field
    QRadioButton* m_ncRadio = nullptr;
    QRadioButton* m_noRadio = nullptr;
};
