// Construction of the manual calibration page: five tabs, their tables and
// buttons, and the connections.
#include "ui_manualcalv3.h"

#include "languagedictionary.h"
#include "tableroom.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <functional>

namespace {

// Only an editor the user typed into acts, and then even when it leaves the
// text as it was: the same raw value or measured output typed again is a new
// setting or input, though the model reports no change. An editor opened and
// left untouched (Return, Tab, a click elsewhere) changes and sends nothing.
class CommitDelegate : public QStyledItemDelegate
{
public:
    CommitDelegate(QObject* parent, std::function<void(QStandardItem*)> unchanged)
        : QStyledItemDelegate(parent)
        , m_unchanged(std::move(unchanged))
    {
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        // Filling the editor from the cell clears the flag; typing, pasting or
        // deleting sets it.
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (!line || !line->isModified())
            return;
        const QVariant before = index.data(Qt::EditRole);
        QStyledItemDelegate::setModelData(editor, model, index);
        auto* items = qobject_cast<QStandardItemModel*>(model);
        if (items && index.data(Qt::EditRole) == before)
            m_unchanged(items->itemFromIndex(index));
    }

private:
    std::function<void(QStandardItem*)> m_unchanged;
};

template<typename Slot>
void commitAlways(QTableView* view, UI_ManualCalV3* page, Slot slot)
{
    view->setItemDelegate(new CommitDelegate(view, [page, slot](QStandardItem* item) { (page->*slot)(item); }));
}

struct RowSpec
{
    QString name;
    QString writable; // "N": the cell cannot be typed into
    QString readOnly;
};

// One four-column table; the header of column 0 is the table's caption.
QStandardItemModel* buildModel(const QString& caption, const QList<RowSpec>& rows)
{
    auto* model = new QStandardItemModel(0, 4);
    model->setHorizontalHeaderLabels(
        {caption, QStringLiteral("Writable"), QStringLiteral("ReadOnly"), QStringLiteral("Status")});
    for (const RowSpec& r : rows) {
        QList<QStandardItem*> items = {new QStandardItem(r.name), new QStandardItem(r.writable),
                                       new QStandardItem(r.readOnly), new QStandardItem(QStringLiteral("No"))};
        for (int c = 0; c < items.size(); ++c) {
            if (c != UI_ManualCalV3::COL_WRITABLE || r.writable == QLatin1String("N"))
                items[c]->setEditable(false);
        }
        model->appendRow(items);
    }
    return model;
}

// A table that needs room for all its rows and columns: the page's size hint
// then shows every row and column of each tab's table, and the share of the
// width a tab gives its content cannot squeeze the table.
class WholeTableView : public QTableView
{
public:
    QSize minimumSizeHint() const override { return sizeHint(); }
    QSize sizeHint() const override { return tableRoom(this, -1, false); }
};

// The widest value a row of these tables shows: a FIXED16.16 or 'f', 8 float text.
const char* const WIDEST_VALUE = "-32768.00000000";

QTableView* buildView(QStandardItemModel* model)
{
    auto* view = new WholeTableView;
    view->setModel(model);
    view->resizeColumnsToContents();
    const int margin = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
    const int value = view->fontMetrics().horizontalAdvance(QLatin1String(WIDEST_VALUE)) + margin;
    for (int c : {UI_ManualCalV3::COL_WRITABLE, UI_ManualCalV3::COL_READONLY})
        view->setColumnWidth(c, qMax(view->columnWidth(c), value));
    return view;
}

// The content of every tab takes 60 parts of the width beside 40 parts of stretch.
QVBoxLayout* tabColumn(QWidget* page)
{
    auto* row = new QHBoxLayout(page);
    auto* column = new QVBoxLayout;
    row->addLayout(column, 60);
    row->addStretch(40);
    return column;
}

QString pointName(const char* prefix, QChar unit, int point)
{
    return QLatin1String(prefix) + unit + QString::number(point) + QLatin1Char(')');
}

} // namespace

UI_ManualCalV3::UI_ManualCalV3(QWidget* parent)
    : QWidget(parent)
    , m_opTimer(new QTimer(this))
    , m_lang(new LanguageDictionary)
    , m_core(new TervanCore)
{
    m_opTimer->setObjectName(QStringLiteral("opTimer"));
    m_opTimer->setInterval(OP_TIMEOUT_MS);
    buildUi();
    makeConnections();
}

UI_ManualCalV3::~UI_ManualCalV3()
{
    delete m_lang;
    delete m_core;
    // The views are children of the page and go with it; the models are not.
    for (QStandardItemModel* m : {m_sensorModel, m_pwmvModel, m_pwmcModel, m_setpointvModel, m_setpointcModel})
        delete m;
}

UI_ManualCalV3::Channel UI_ManualCalV3::pwmvChannel() const
{
    return {m_pwmvModel, QStringLiteral("VoltagePWMOffset"), QStringLiteral("VoltagePWMGain"),
            QStringLiteral("SetVoltagePWM"), false};
}

UI_ManualCalV3::Channel UI_ManualCalV3::pwmcChannel() const
{
    return {m_pwmcModel, QStringLiteral("CurrentPWMOffset"), QStringLiteral("CurrentPWMGain"),
            QStringLiteral("SetCurrentPWM"), true};
}

UI_ManualCalV3::Channel UI_ManualCalV3::setpointvChannel() const
{
    return {m_setpointvModel, QStringLiteral("VoltageSetpointOffset"), QStringLiteral("VoltageSetpointGain"),
            QStringLiteral("ReadVoltageADC"), false};
}

UI_ManualCalV3::Channel UI_ManualCalV3::setpointcChannel() const
{
    return {m_setpointcModel, QStringLiteral("CurrentSetpointOffset"), QStringLiteral("CurrentSetpointGain"),
            QStringLiteral("ReadCurrentADC"), true};
}

void UI_ManualCalV3::buildUi()
{
    m_tabs = new QTabWidget;
    m_sensorPage = new QWidget;
    m_pwmvPage = new QWidget;
    m_pwmcPage = new QWidget;
    m_setpointvPage = new QWidget;
    m_setpointcPage = new QWidget;
    buildSensorTab();
    buildPwmTab(m_pwmvPage, m_pwmvModel, m_pwmvView, m_pwmvCalcButton, QStringLiteral("PWM(V)"), QLatin1Char('V'));
    buildPwmTab(m_pwmcPage, m_pwmcModel, m_pwmcView, m_pwmcCalcButton, QStringLiteral("PWM(C)"), QLatin1Char('C'));
    buildSetpointTab(m_setpointvPage, m_setpointvModel, m_setpointvView, m_setpointV1Radio, m_setpointV2Radio,
                     m_setpointvReadButton, m_setpointvCalcButton, QStringLiteral("SETPOINT(V)"), QLatin1Char('V'));
    buildSetpointTab(m_setpointcPage, m_setpointcModel, m_setpointcView, m_setpointC1Radio, m_setpointC2Radio,
                     m_setpointcReadButton, m_setpointcCalcButton, QStringLiteral("SETPOINT(C)"), QLatin1Char('C'));

    m_tabs->addTab(m_sensorPage, QStringLiteral("Sensor"));
    m_tabs->addTab(m_pwmvPage, QStringLiteral("PWM(V)"));
    m_tabs->addTab(m_pwmcPage, QStringLiteral("PWM(C)"));
    m_tabs->addTab(m_setpointvPage, QStringLiteral("Setpoint(V)"));
    m_tabs->addTab(m_setpointcPage, QStringLiteral("Setpoint(C)"));
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_tabs);
}

void UI_ManualCalV3::buildSensorTab()
{
    m_sensorModel = buildModel(QStringLiteral("Sensor"), {{QStringLiteral("Ratio_Zero"), QStringLiteral("N"), QStringLiteral("0")},
                                                          {QStringLiteral("Offset"), QStringLiteral("0"), QStringLiteral("0")},
                                                          {QStringLiteral("Ratio_F.S."), QStringLiteral("N"), QStringLiteral("0")},
                                                          {QStringLiteral("Gain"), QStringLiteral("0"), QStringLiteral("0")}});
    m_sensorView = buildView(m_sensorModel);

    m_ratioZeroRadio = new QRadioButton(QStringLiteral("Ratio_Zero"));
    m_ratioFsRadio = new QRadioButton(QStringLiteral("Ratio_F.S."));
    m_ratioZeroRadio->setChecked(true);
    auto* radios = new QGroupBox;
    auto* radioLayout = new QVBoxLayout(radios);
    radioLayout->addWidget(m_ratioZeroRadio);
    radioLayout->addWidget(m_ratioFsRadio);
    m_sensorCalcButton = new QPushButton(m_lang->translate(QStringLiteral("Calculate")));
    auto* left = new QVBoxLayout;
    left->addWidget(radios);
    left->addWidget(m_sensorCalcButton);

    m_backupButton = new QPushButton(m_lang->translate(QStringLiteral("Backup Gain")));
    m_restoreButton = new QPushButton(m_lang->translate(QStringLiteral("Restore Gain")));
    // Nothing to restore until a gain has been backed up.
    m_restoreButton->setEnabled(false);
    m_gainEdit = new QLineEdit;
    m_gainEdit->setReadOnly(true);
    auto* gainLine = new QHBoxLayout;
    gainLine->addWidget(new QLabel(QStringLiteral("Gain:")));
    gainLine->addWidget(m_gainEdit);
    auto* right = new QVBoxLayout;
    right->addWidget(m_backupButton);
    right->addLayout(gainLine);
    right->addWidget(m_restoreButton);

    auto* buttons = new QHBoxLayout;
    buttons->addLayout(left, 1);
    buttons->addLayout(right, 1);
    QVBoxLayout* column = tabColumn(m_sensorPage);
    column->addWidget(m_sensorView, 46);
    column->addLayout(buttons, 25);
    column->addStretch(34);
}

void UI_ManualCalV3::buildPwmTab(QWidget* page, QStandardItemModel*& model, QTableView*& view, QPushButton*& calc,
                                 const QString& caption, QChar unit)
{
    const QString zero = QStringLiteral("0");
    const QString none = QStringLiteral("N");
    model = buildModel(caption, {{pointName("SetPWM(", unit, 1), zero, zero},
                                 {pointName("PWMOutput(", unit, 1), zero, none},
                                 {pointName("SetPWM(", unit, 2), zero, zero},
                                 {pointName("PWMOutput(", unit, 2), zero, none},
                                 {QStringLiteral("Offset"), zero, zero},
                                 {QStringLiteral("Gain"), zero, zero}});
    view = buildView(model);
    view->setColumnWidth(COL_NAME, int(view->columnWidth(COL_NAME) * 1.1));

    calc = new QPushButton(m_lang->translate(QStringLiteral("Calculate")));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(2);
    buttons->addWidget(calc);
    buttons->addStretch(2);
    QVBoxLayout* column = tabColumn(page);
    column->addWidget(view, 2);
    column->addLayout(buttons, 1);
    column->addStretch(2);
}

void UI_ManualCalV3::buildSetpointTab(QWidget* page, QStandardItemModel*& model, QTableView*& view,
                                      QRadioButton*& first, QRadioButton*& second, QPushButton*& read,
                                      QPushButton*& calc, const QString& caption, QChar unit)
{
    const QString zero = QStringLiteral("0");
    const QString none = QStringLiteral("N");
    const QString readAd = QStringLiteral("ReadAD_") + unit;
    model = buildModel(caption, {{pointName("Setpoint(", unit, 1), zero, none},
                                 {readAd + QLatin1Char('1'), none, zero},
                                 {pointName("Setpoint(", unit, 2), zero, none},
                                 {readAd + QLatin1Char('2'), none, zero},
                                 {QStringLiteral("Offset"), zero, zero},
                                 {QStringLiteral("Gain"), zero, zero}});
    view = buildView(model);

    first = new QRadioButton(pointName("Setpoint(", unit, 1));
    second = new QRadioButton(pointName("Setpoint(", unit, 2));
    first->setChecked(true);
    auto* radios = new QGroupBox;
    auto* radioLayout = new QHBoxLayout(radios);
    radioLayout->addWidget(first);
    radioLayout->addWidget(second);
    read = new QPushButton(m_lang->translate(QStringLiteral("ReadADC")));
    calc = new QPushButton(m_lang->translate(QStringLiteral("Calculate")));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(radios, 2);
    buttons->addWidget(read, 1);
    buttons->addWidget(calc, 1);
    QVBoxLayout* column = tabColumn(page);
    column->addWidget(view, 37);
    column->addLayout(buttons, 25);
    column->addStretch(35);
}

void UI_ManualCalV3::makeConnections()
{
    connect(m_opTimer, &QTimer::timeout, this, &UI_ManualCalV3::timeout4op);
    connect(m_backupButton, &QPushButton::clicked, this, &UI_ManualCalV3::onClicked_backupSensorGain);
    connect(m_restoreButton, &QPushButton::clicked, this, &UI_ManualCalV3::onClicked_restoreSensorGain);
    connect(m_sensorCalcButton, &QPushButton::clicked, this, &UI_ManualCalV3::onClicked_sensorCal);
    connect(m_pwmvCalcButton, &QPushButton::clicked, this, &UI_ManualCalV3::onClicked_pwmvCal);
    connect(m_pwmcCalcButton, &QPushButton::clicked, this, &UI_ManualCalV3::onClicked_pwmcCal);
    connect(m_setpointvReadButton, &QPushButton::clicked, this, &UI_ManualCalV3::onClicked_setpointvADC);
    connect(m_setpointvCalcButton, &QPushButton::clicked, this, &UI_ManualCalV3::onClicked_setpointvCalc);
    connect(m_setpointcReadButton, &QPushButton::clicked, this, &UI_ManualCalV3::onClicked_setpointcADC);
    connect(m_setpointcCalcButton, &QPushButton::clicked, this, &UI_ManualCalV3::onClicked_setpointcCalc);
    connect(m_sensorModel, &QStandardItemModel::itemChanged, this, &UI_ManualCalV3::sensor_itemChanged);
    connect(m_pwmvModel, &QStandardItemModel::itemChanged, this, &UI_ManualCalV3::pwmv_itemChanged);
    connect(m_pwmcModel, &QStandardItemModel::itemChanged, this, &UI_ManualCalV3::pwmc_itemChanged);
    connect(m_setpointvModel, &QStandardItemModel::itemChanged, this, &UI_ManualCalV3::setpointv_itemChanged);
    connect(m_setpointcModel, &QStandardItemModel::itemChanged, this, &UI_ManualCalV3::setpointc_itemChanged);
    connect(m_sensorView, &QTableView::doubleClicked, this, &UI_ManualCalV3::doubleClicked_Sensor);
    connect(m_pwmvView, &QTableView::doubleClicked, this, &UI_ManualCalV3::doubleClicked_PWMV);
    connect(m_pwmcView, &QTableView::doubleClicked, this, &UI_ManualCalV3::doubleClicked_PWMC);
    connect(m_setpointvView, &QTableView::doubleClicked, this, &UI_ManualCalV3::doubleClicked_setpointv);
    connect(m_setpointcView, &QTableView::doubleClicked, this, &UI_ManualCalV3::doubleClicked_setpointc);
    commitAlways(m_sensorView, this, &UI_ManualCalV3::sensor_itemChanged);
    commitAlways(m_pwmvView, this, &UI_ManualCalV3::pwmv_itemChanged);
    commitAlways(m_pwmcView, this, &UI_ManualCalV3::pwmc_itemChanged);
    commitAlways(m_setpointvView, this, &UI_ManualCalV3::setpointv_itemChanged);
    commitAlways(m_setpointcView, this, &UI_ManualCalV3::setpointc_itemChanged);
}
