// The setpoint schedule of the normal page: three daily nodes, each writing its
// target flow as the digital setpoint at its time of day.
#include "ui_normalv3.h"

#include "languagedictionary.h"

#include <QDebug>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

void UI_NormalV3::buildScheduleWindow()
{
    m_scheduleWindow = new QGroupBox();
    m_scheduleWindow->setObjectName(QStringLiteral("scheduleWindow"));
    // A tool-like window: title bar, system menu and close button, no minimise or maximise.
    m_scheduleWindow->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                                     | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    auto* layout = new QVBoxLayout(m_scheduleWindow);

    using Slot = void (UI_NormalV3::*)(bool);
    const Slot setSlots[3] = { &UI_NormalV3::onClicked_schedule1, &UI_NormalV3::onClicked_schedule2,
                               &UI_NormalV3::onClicked_schedule3 };
    for (int n = 0; n < 3; ++n) {
        schedule_node_t& node = m_nodes[n];
        auto* group = new QGroupBox(m_lang->translate(QStringLiteral("Node%1").arg(n + 1)));
        auto* nodeLayout = new QVBoxLayout(group);

        auto* timeRow = new QGridLayout;
        node.hour = new QSpinBox;
        node.hour->setRange(0, 23);
        node.minute = new QSpinBox;
        node.minute->setRange(0, 59);
        node.second = new QSpinBox;
        node.second->setRange(0, 59);
        const QList<QPair<QString, QSpinBox*>> boxes{ { QStringLiteral("Hour"), node.hour },
                                                      { QStringLiteral("Minute"), node.minute },
                                                      { QStringLiteral("Second"), node.second } };
        for (int c = 0; c < boxes.size(); ++c) {
            boxes[c].second->setObjectName(QStringLiteral("node%1%2").arg(n + 1).arg(boxes[c].first));
            timeRow->addWidget(new QLabel(m_lang->translate(boxes[c].first)), 0, c);
            timeRow->addWidget(boxes[c].second, 1, c);
        }

        auto* targetRow = new QHBoxLayout;
        node.target = new QDoubleSpinBox;
        node.target->setObjectName(QStringLiteral("node%1Target").arg(n + 1));
        node.target->setRange(0, 120);
        node.target->setDecimals(2);
        node.target->setValue(0);
        auto* setButton = new QPushButton(m_lang->translate("Set"));
        setButton->setObjectName(QStringLiteral("node%1Set").arg(n + 1));
        connect(setButton, &QPushButton::clicked, this, setSlots[n]);
        targetRow->addWidget(new QLabel(m_lang->translate("TargetFlow")));
        targetRow->addWidget(node.target);
        targetRow->addWidget(new QLabel(QStringLiteral("% of F.S.")));
        targetRow->addWidget(setButton);

        auto* currentRow = new QHBoxLayout;
        node.current = new QLineEdit;
        node.current->setObjectName(QStringLiteral("node%1Current").arg(n + 1));
        node.current->setReadOnly(true);
        currentRow->addWidget(new QLabel(m_lang->translate("Current schedule")));
        currentRow->addWidget(node.current);

        nodeLayout->addLayout(timeRow);
        nodeLayout->addLayout(targetRow);
        nodeLayout->addLayout(currentRow);
        layout->addWidget(group);
    }
    m_scheduleWindow->hide();
}

void UI_NormalV3::onClicked_schedule(bool)
{
    if (m_scheduleWindow->isVisible())
        m_scheduleWindow->hide();
    else
        emit schedule_show_req();
}

void UI_NormalV3::showScheduleWindow(int x, int y)
{
    qDebug().noquote().nospace() << "x = " << x << ", y = " << y << ".";
    m_scheduleWindow->move(x, y);
    m_scheduleWindow->show();
}

void UI_NormalV3::setScheduleNode(int n)
{
    schedule_node_t& node = m_nodes[n];
    node.current->setText(QStringLiteral("%1:%2:%3 @ %4 % of FS.")
                              .arg(node.hour->value())
                              .arg(node.minute->value())
                              .arg(node.second->value())
                              .arg(QString::number(node.target->value(), 'g', 6)));
    node.h = node.hour->value();
    node.m = node.minute->value();
    node.s = node.second->value();
    const bool anyActive = m_nodes[0].active || m_nodes[1].active || m_nodes[2].active;
    if (!anyActive)
        m_scheduleTimer->start();
    node.active = true;
}

void UI_NormalV3::onClicked_schedule1(bool) { setScheduleNode(0); }
void UI_NormalV3::onClicked_schedule2(bool) { setScheduleNode(1); }
void UI_NormalV3::onClicked_schedule3(bool) { setScheduleNode(2); }

void UI_NormalV3::schedule_poll()
{
    m_scheduleTimer->start();
    // A tick that comes late may miss a node's second; it then fires the next day.
    const QTime now = currentDateTime().time();
    for (const schedule_node_t& node : m_nodes) {
        if (node.active && node.h == now.hour() && node.m == now.minute() && node.s == now.second()) {
            applySetpointPercent(node.target->value());
            return;
        }
    }
}
