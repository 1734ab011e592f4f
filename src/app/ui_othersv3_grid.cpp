// Register grid (Name/Value of ten registers, editable values written back)
// and the controlled-flow accumulator of the others page.
#include "ui_othersv3.h"

#include "languagedictionary.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace {
struct GridRow
{
    const char* name;
    const char* caption; // shown instead of the name when set
    const char* unit;
};

const GridRow kGridRows[] = {
    {"Delay", nullptr, "(ms)"},
    {"TargetGasFullScaleRange", nullptr, "(sccm)"},
    {"ZeroConstant", nullptr, ""},
    {"TargetNullValue", nullptr, ""},
    {"ReadValveVoltage", nullptr, "(V)"},
    {"ShutoffLevel", nullptr, "(%)"},
    {"SoftstartRate", nullptr, "(%)"},
    {"ReadTemperature", nullptr, "(°C)"},
    {"TargetGas2CalibrationGas", "ConversionFactor", ""},
    {"ValveCommandMode", nullptr, ""},
};
} // namespace

void UI_OthersV3::createRegisterTable()
{
    m_tableModel = new QStandardItemModel;
    m_tableModel->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Value")});

    // Registers written without read-back are shown, not edited.
    const TervanCore core;
    int row = 0;
    for (const GridRow& r : kGridRows) {
        const QString name = QLatin1String(r.name);
        m_nameToRow.insert(name, row);
        m_rowToName.insert(row, name);
        m_tableNames << name;

        const QString caption = (r.caption ? QString::fromUtf8(r.caption) : name) + QString::fromUtf8(r.unit);
        auto* nameItem = new QStandardItem(caption);
        nameItem->setEditable(false);
        auto* valueItem = new QStandardItem;
        valueItem->setEditable(core.needCheck(name));
        m_tableModel->setItem(row, 0, nameItem);
        m_tableModel->setItem(row, 1, valueItem);
        ++row;
    }

    m_tableView = new QTableView;
    m_tableView->setObjectName(QStringLiteral("registerTable"));
    m_tableView->setModel(m_tableModel);
    // Every name and value readable at once: names set the first column's
    // width, rows are one text line high, and the view is as high as its ten
    // rows (row numbers would only take room).
    m_tableView->verticalHeader()->hide();
    m_tableView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    const int rowHeight = m_tableView->fontMetrics().height() + 2;
    m_tableView->verticalHeader()->setMinimumSectionSize(rowHeight);
    m_tableView->verticalHeader()->setDefaultSectionSize(rowHeight);
    m_tableView->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_tableView->horizontalHeader()->setStretchLastSection(true);
    m_tableView->setMinimumHeight(m_tableView->horizontalHeader()->sizeHint().height()
                                  + m_tableModel->rowCount() * m_tableView->verticalHeader()->defaultSectionSize()
                                  + 2 * m_tableView->frameWidth());
    m_tableView->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
}

void UI_OthersV3::fillGridCell(const QString& name, const QString& text)
{
    // A reply shown in the grid is not an edit: keep it away from itemChanged.
    if (m_itemChangedConnection)
        disconnect(m_itemChangedConnection);
    if (QStandardItem* item = m_tableModel->item(m_nameToRow.value(name), 1))
        item->setData(text, Qt::DisplayRole);
    m_itemChangedConnection =
        connect(m_tableModel, &QStandardItemModel::itemChanged, this, &UI_OthersV3::itemChanged);
}

void UI_OthersV3::itemChanged(QStandardItem* item)
{
    const QString name = m_rowToName.value(item->row());
    requestWriteAndProgram(name, item->data(Qt::DisplayRole).toString());
}

void UI_OthersV3::createAccumulationGroup()
{
    m_accGroup = new QGroupBox(m_lang->translate(QStringLiteral("Accumulation")));

    m_accumulation = new QLineEdit;
    m_accumulation->setObjectName(QStringLiteral("accumulation"));
    m_accumulation->setReadOnly(true);
    m_accumulation->setAlignment(Qt::AlignLeft);
    auto* valueRow = new QHBoxLayout;
    valueRow->addWidget(m_accumulation, 1);
    valueRow->addWidget(new QLabel(m_lang->translate(QStringLiteral("Standar(mL)"))));

    m_readAcc = new QPushButton(m_lang->translate(QStringLiteral("Read")));
    m_readAcc->setObjectName(QStringLiteral("readAccumulation"));
    m_eraseAcc = new QPushButton(m_lang->translate(QStringLiteral("Erase")));
    m_eraseAcc->setObjectName(QStringLiteral("eraseAccumulation"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_readAcc);
    buttons->addWidget(m_eraseAcc);

    auto* box = new QVBoxLayout(m_accGroup);
    box->addLayout(valueRow);
    box->addLayout(buttons);
    box->addStretch();
}

void UI_OthersV3::onClicked_readAccumulation(bool)
{
    requestRead(QStringLiteral("ReadControlledFlowAccumulator"), false);
}

void UI_OthersV3::onClicked_eraseAccumulation(bool)
{
    requestWriteAndProgram(QStringLiteral("ControlFlowAccumulatorMode"), QStringLiteral("0"));
}
