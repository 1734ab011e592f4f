// UI_ToolsV3: construction and the single-register actions.
#include "ui_toolsv3.h"

#include "autoscrolltableview.h"
#include "languagedictionary.h"
#include "notice.h"
#include "tableroom.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QVBoxLayout>

namespace {

enum Column {
    COL_NAME = 0,
    COL_VALUE = 1,
    COL_WRITE = 2,
    COL_WRITE_ALL = 3,
    COL_READ = 4,
    COL_READ_ALL = 5,
    COLUMN_COUNT = 6,
};

QStandardItem* fixedItem(const QString& text)
{
    auto* item = new QStandardItem(text);
    item->setEditable(false);
    return item;
}

QString yesNo(bool no)
{
    return no ? QStringLiteral("N") : QStringLiteral("Y");
}

} // namespace

UI_ToolsV3::UI_ToolsV3(QWidget* parent)
    : QWidget(parent)
    , m_lang(new LanguageDictionary)
{
    {
        // Only the name lists are needed; the page keeps no codec.
        const TervanCore core;
        m_cmdList = core.cmdList();
        m_noReadList = core.noReadList();
        m_noReadAllList = core.noReadAllList();
        m_readOnlyList = core.readOnlyList();
        m_noCheckList = core.noCheckList();
    }
    buildUi();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tableGroup);
    layout->addWidget(m_operatorGroup);
    layout->addWidget(m_saveGroup);
    makeConnections();
}

UI_ToolsV3::~UI_ToolsV3()
{
    delete m_lang;
}

QSize UI_ToolsV3::sizeHint() const
{
    // A scroll area's own hint shows a handful of rows and cuts columns off.
    // The vertical scroll bar is counted: there are more rows than shown.
    const QSize table = tableRoom(m_table, VISIBLE_ROWS, true);
    const QSize shown = m_table->sizeHint();
    const QSize page = QWidget::sizeHint();
    const QMargins margins = layout()->contentsMargins();
    const int groupWidth = m_tableGroup->sizeHint().width() + qMax(0, table.width() - shown.width());
    return {qMax(page.width(), groupWidth + margins.left() + margins.right()),
            page.height() + qMax(0, table.height() - shown.height())};
}

void UI_ToolsV3::buildUi()
{
    buildTableGroup();
    buildRegisterOperatorGroup();
    buildFileGroup();
}

void UI_ToolsV3::buildTableGroup()
{
    m_model = new QStandardItemModel(0, COLUMN_COUNT, this);
    m_model->setHorizontalHeaderLabels({QStringLiteral("Command"), QStringLiteral("Value"), QStringLiteral("Write"),
                                        QStringLiteral("WriteAll"), QStringLiteral("Read"), QStringLiteral("ReadAll")});
    for (const QString& name : qAsConst(m_cmdList)) {
        if (name == QLatin1String("Undefined"))
            continue;
        const bool readOnly = m_readOnlyList.contains(name);
        auto* value = new QStandardItem;
        value->setEditable(!readOnly);
        const int row = m_model->rowCount();
        m_model->appendRow({fixedItem(name), value, fixedItem(yesNo(readOnly)),
                            fixedItem(yesNo(m_noCheckList.contains(name))),
                            fixedItem(yesNo(m_noReadList.contains(name))),
                            fixedItem(yesNo(m_noReadAllList.contains(name)))});
        m_model->setHeaderData(row, Qt::Vertical, row, Qt::EditRole);
        m_rowOf.insert(name, row);
    }

    m_table = new AutoScrollTableView;
    m_table->setObjectName(QStringLiteral("regTable"));
    m_table->setModel(m_model);
    m_table->setColumnWidth(COL_NAME, m_table->columnWidth(COL_NAME) * 2 + 10);
    m_table->setColumnWidth(COL_VALUE, m_table->columnWidth(COL_VALUE) * 3);
    for (int c = COL_WRITE; c < COLUMN_COUNT; ++c)
        m_table->setColumnWidth(c, 55);
    // Those widths cut the longest names and headers at a desktop's font: a
    // column grows to its contents, never shrinks below them.
    for (int c = 0; c < COLUMN_COUNT; ++c) {
        const int width = m_table->columnWidth(c);
        m_table->resizeColumnToContents(c);
        m_table->setColumnWidth(c, qMax(width, m_table->columnWidth(c)));
    }

    m_indexSpin = new QSpinBox;
    m_indexSpin->setObjectName(QStringLiteral("indexSpin"));
    m_indexSpin->setRange(0, m_cmdList.size() - 2);
    m_indexSpin->setValue(0);

    auto* indexRow = new QHBoxLayout;
    indexRow->addStretch(1);
    indexRow->addWidget(new QLabel(m_lang->translate(QStringLiteral("Command index:"))));
    indexRow->addWidget(m_indexSpin, 1);
    indexRow->addStretch(1);

    m_tableGroup = new QGroupBox(m_lang->translate(QStringLiteral("Command list")));
    auto* box = new QVBoxLayout(m_tableGroup);
    box->addWidget(m_table);
    box->addLayout(indexRow);
}

void UI_ToolsV3::buildRegisterOperatorGroup()
{
    auto counter = [](const QString& name) {
        auto* edit = new QLineEdit;
        edit->setObjectName(name);
        edit->setReadOnly(true);
        return edit;
    };
    m_totalEdit = counter(QStringLiteral("totalEdit"));
    m_completedEdit = counter(QStringLiteral("completedEdit"));
    m_checkedEdit = counter(QStringLiteral("checkedEdit"));
    m_readAllButton = new QPushButton(m_lang->translate(QStringLiteral("Read all")));
    m_readAllButton->setObjectName(QStringLiteral("readAllButton"));
    m_writeAllButton = new QPushButton(m_lang->translate(QStringLiteral("Write all")));
    m_writeAllButton->setObjectName(QStringLiteral("writeAllButton"));
    m_writeSingleButton = new QPushButton(m_lang->translate(QStringLiteral("Write single")));
    m_writeSingleButton->setObjectName(QStringLiteral("writeSingleButton"));

    m_operatorGroup = new QGroupBox(m_lang->translate(QStringLiteral("Regigster operator")));
    auto* row = new QHBoxLayout(m_operatorGroup);
    row->addWidget(new QLabel(m_lang->translate(QStringLiteral("Total"))));
    row->addWidget(m_totalEdit, 1);
    row->addWidget(new QLabel(m_lang->translate(QStringLiteral("Completed"))));
    row->addWidget(m_completedEdit, 1);
    row->addWidget(new QLabel(m_lang->translate(QStringLiteral("Checked"))));
    row->addWidget(m_checkedEdit, 1);
    row->addWidget(m_readAllButton, 1);
    row->addWidget(m_writeAllButton, 1);
    row->addWidget(m_writeSingleButton, 1);
    row->addStretch(1);
}

void UI_ToolsV3::buildFileGroup()
{
    m_exportButton = new QPushButton(m_lang->translate(QStringLiteral("Export")));
    m_exportButton->setObjectName(QStringLiteral("exportButton"));
    m_fileNameEdit = new QLineEdit;
    m_fileNameEdit->setObjectName(QStringLiteral("fileNameEdit"));
    m_fileNameEdit->setReadOnly(true);
    m_importButton = new QPushButton(m_lang->translate(QStringLiteral("Import")));
    m_importButton->setObjectName(QStringLiteral("importButton"));

    m_saveGroup = new QGroupBox(m_lang->translate(QStringLiteral("Save")));
    m_saveGroup->setObjectName(QStringLiteral("saveGroup"));
    m_saveGroup->setEnabled(false);
    auto* row = new QHBoxLayout(m_saveGroup);
    row->addWidget(m_exportButton, 1);
    row->addWidget(m_fileNameEdit, 2);
    row->addWidget(m_importButton, 1);
    row->addStretch(4);
}

void UI_ToolsV3::makeConnections()
{
    connectItemChanged();
    connect(m_table, &QAbstractItemView::doubleClicked, this, &UI_ToolsV3::doubleClicked_table);
    connect(m_indexSpin, QOverload<int>::of(&QSpinBox::valueChanged), this, &UI_ToolsV3::valueChanged_regIndex);
    connect(m_readAllButton, &QPushButton::clicked, this, &UI_ToolsV3::onClicked_realAll);
    connect(m_writeAllButton, &QPushButton::clicked, this, &UI_ToolsV3::onClicked_writeAll);
    connect(m_writeSingleButton, &QPushButton::clicked, this, &UI_ToolsV3::onClicked_writeSingle);
    connect(m_exportButton, &QPushButton::clicked, this, &UI_ToolsV3::onClicked_exportRegs);
    connect(m_importButton, &QPushButton::clicked, this, &UI_ToolsV3::onClicked_importRegs);
}

void UI_ToolsV3::connectItemChanged()
{
    connect(m_model, &QStandardItemModel::itemChanged, this, &UI_ToolsV3::itemChanged, Qt::UniqueConnection);
}

void UI_ToolsV3::disconnectItemChanged()
{
    disconnect(m_model, &QStandardItemModel::itemChanged, this, &UI_ToolsV3::itemChanged);
}

QString UI_ToolsV3::valueText(int row) const
{
    // Display data that is not text (a number from a delegate) counts by its text form.
    return m_model->index(row, COL_VALUE).data(Qt::DisplayRole).toString();
}

void UI_ToolsV3::setValueCell(int row, const QString& text)
{
    // A value the device reported is not to be written back to it.
    disconnectItemChanged();
    m_model->setData(m_model->index(row, COL_VALUE), text, Qt::DisplayRole);
    connectItemChanged();
}

void UI_ToolsV3::itemChanged(QStandardItem* item)
{
    if (item->column() != COL_VALUE)
        return;
    const QString name = m_model->item(item->row(), COL_NAME)->text();
    const QString value = item->text();
    if (m_readOnlyList.contains(name) || value.isEmpty())
        return;
    if (m_state == TOOL_IMPORT) {
        // The import sends what it filled in as one list once the table is done.
        m_importWrites << makeFrame(name, MFC_WRITE, value);
        m_pending << name;
        m_written.insert(name, value);
        return;
    }
    requestWrite(name, value);
}

void UI_ToolsV3::onClicked_writeSingle(bool v)
{
    Q_UNUSED(v);
    const QModelIndex current = m_table->currentIndex();
    if (!current.isValid())
        return;
    const QString name = m_model->index(current.row(), COL_NAME).data().toString();
    const QString value = valueText(current.row());
    if (m_readOnlyList.contains(name) || value.isEmpty())
        return;
    requestWrite(name, value);
}

void UI_ToolsV3::doubleClicked_table(QModelIndex index)
{
    if (index.column() != COL_NAME)
        return;
    const QString name = index.data().toString();
    if (m_noReadList.contains(name))
        return;
    requestRead(name);
}

void UI_ToolsV3::valueChanged_regIndex(int index)
{
    m_table->scrollTo(m_model->index(index, COL_VALUE), QAbstractItemView::EnsureVisible);
    m_table->selectRow(index);
}

void UI_ToolsV3::requestRead(QString name)
{
    emit commands_req({makeFrame(name, MFC_READ)});
}

void UI_ToolsV3::requestWrite(QString name, QString value)
{
    emit commands_req({makeFrame(name, MFC_WRITE, value)});
}

void UI_ToolsV3::showMessage(const QString& text)
{
    // Non-modal: the link goes on while the box is open.
    showNotice(this, text);
}
