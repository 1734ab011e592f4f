#pragma once

#include "mfcframe.h"
#include "tervancore.h"

#include <QList>
#include <QMap>
#include <QModelIndex>
#include <QSet>
#include <QStringList>
#include <QWidget>

class LanguageDictionary;
class QCloseEvent;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStandardItem;
class QStandardItemModel;
class QTabWidget;
class QTableView;
class QTimer;

// Pending operation of the manual calibration page (0 when idle).
enum manual_op_t {
    MCAL_IDLE = 0,
    MCAL_BACKUP_GAIN = 1,
    MCAL_RESTORE_GAIN = 2,
    MCAL_SENSOR_ZERO = 3,
    MCAL_SENSOR_FS = 4,
    MCAL_SET_PWMV = 5,
    MCAL_CAL_PWMV = 6,
    MCAL_SET_PWMC = 7,
    MCAL_CAL_PWMC = 8,
    MCAL_ADC_V = 9,
    MCAL_CAL_SETPOINTV = 10,
    MCAL_ADC_C = 11,
    MCAL_CAL_SETPOINTC = 12,
};

// Manual calibration page: sensor offset and gain, PWM and setpoint gains
// and offsets from two-point measurements. Five tabs, each a four-column
// table (name, "Writable", "ReadOnly", "Status"). Every multi-step action is
// one pending operation: the page is disabled until its ending reply, a
// 5000 ms timeout ("Timeout") or a failure of the link ends it.
class UI_ManualCalV3 : public QWidget
{
    Q_OBJECT

public:
    explicit UI_ManualCalV3(QWidget* parent = nullptr);
    ~UI_ManualCalV3() override;

    // Every decoded reply, in the order the link delivers them.
    void mfc_ack(TervanCore::mfc_reg_t reg);
    // The link reports empty queues.
    void onQueueEmpty();
    // The link dropped this page's requests (timeout, refused list, failed
    // read-back, undecodable reply, queues emptied): end what is pending.
    void linkFailed(const QString& msg);

    static constexpr int OP_TIMEOUT_MS = 5000;
    static constexpr int READINGS = 10; // ratio or ADC readings per measurement
    static constexpr int DIRECT_COMMIT_DELAY_MS = 1000; // hold after the commit of a single write
    static constexpr int CAL_COMMIT_DELAY_MS = 2000;    // hold after the commit of a calculation

    // Table columns.
    enum Column { COL_NAME = 0, COL_WRITABLE = 1, COL_READONLY = 2, COL_STATUS = 3 };

signals:
    void commands_req(QList<mfc_frame_t> cmds);

protected:
    // Closing the window ends the pending step: nothing it has not sent yet goes out.
    void closeEvent(QCloseEvent* e) override;

public slots:
    void onClicked_backupSensorGain(bool v);
    void onClicked_restoreSensorGain(bool v);
    void onClicked_sensorCal(bool v);
    void sensor_itemChanged(QStandardItem* item);
    void safe_sensor_updateWriteable(int row, QString text);
    void doubleClicked_Sensor(QModelIndex index);
    void pwmv_itemChanged(QStandardItem* item);
    void onClicked_pwmvCal(bool v);
    void doubleClicked_PWMV(QModelIndex index);
    void pwmc_itemChanged(QStandardItem* item);
    void onClicked_pwmcCal(bool v);
    void doubleClicked_PWMC(QModelIndex index);
    void onClicked_setpointvADC(bool v);
    void onClicked_setpointvCalc(bool v);
    void setpointv_itemChanged(QStandardItem* item);
    void doubleClicked_setpointv(QModelIndex index);
    void onClicked_setpointcADC(bool v);
    void onClicked_setpointcCalc(bool v);
    void setpointc_itemChanged(QStandardItem* item);
    void doubleClicked_setpointc(QModelIndex index);
    void timeout4op();

private:
    // The registers and input conversion of one PWM or setpoint tab.
    struct Channel
    {
        QStandardItemModel* model;
        QString offsetReg; // row 4
        QString gainReg;   // row 5
        QString ioReg;     // raw PWM setting or ADC reading
        bool current;      // 4..20 mA instead of 0..5 V
    };
    Channel pwmvChannel() const;
    Channel pwmcChannel() const;
    Channel setpointvChannel() const;
    Channel setpointcChannel() const;

    // Construction.
    void buildUi();
    void buildSensorTab();
    void buildPwmTab(QWidget* page, QStandardItemModel*& model, QTableView*& view, QPushButton*& calc,
                     const QString& caption, QChar unit);
    void buildSetpointTab(QWidget* page, QStandardItemModel*& model, QTableView*& view, QRadioButton*& first,
                          QRadioButton*& second, QPushButton*& read, QPushButton*& calc,
                          const QString& caption, QChar unit);
    void makeConnections();

    // Requests.
    void requestRead(const QString& name);
    void requestWriteAndProgram(const QString& name, const QString& value);
    // Empty when `value` can be written to `name`, else the message for the user.
    QString writeProblem(const QString& name, const QString& value) const;
    bool typedNumber(QStandardItemModel* model, int row, double& v);
    // Rows 0 to 3 of a two-point table given anew; otherwise a message naming the others.
    bool inputsGiven(QStandardItemModel* model);
    void refuseEqual(QStandardItemModel* model, int row1, int row2, const QString& value);

    // Operations.
    void beginOperation(int op);
    void finishOperation();
    // The first `neutral` frames set the control mode and neutral values for a measurement.
    void startOperation(int op, const QList<mfc_frame_t>& frames, int neutral = 0);
    // What the step's writes left on the device, for a message; empty when nothing.
    QString leftOnDevice(bool queuedToo) const;
    void expectReplies(const QList<mfc_frame_t>& frames, int neutral = 0);
    void showMessage(const QString& text);

    // Replies.
    void accumulateSensorRatio(TervanCore::mfc_reg_t reg);
    void accumulateAdc(const TervanCore::mfc_reg_t& reg, const Channel& c, int& count, qint64& sum,
                       QRadioButton* first, QRadioButton* second);
    void showIn(QStandardItemModel* model, int row, const QString& text);

    // Cells.
    void setCell(QStandardItemModel* model, int row, int column, const QString& text);
    QString cell(QStandardItemModel* model, int row, int column) const;
    void setWritableQuietly(QStandardItemModel* model, int row, const QString& text);
    void readRowRegister(QStandardItemModel* model, const QModelIndex& index, int offsetRow, const QString& offsetReg,
                         int gainRow, const QString& gainReg);
    void writeRowRegister(QStandardItemModel* model, int row, const QString& reg);

    // Procedures shared by the voltage and current variants.
    void pwmItemChanged(QStandardItem* item, const Channel& c, int setOp, int& rememberedRow);
    void calculatePwm(const Channel& c, int op);
    void writeCalibration(const Channel& c, int op, double offset, double gain, bool intoTable);
    void readAdc(const Channel& c, int op, int& count, qint64& sum, QRadioButton* first, QRadioButton* second);
    void calculateSetpoint(const Channel& c, int op);
    void setpointItemChanged(QStandardItem* item, const Channel& c);

    int m_op = MCAL_IDLE;
    QTimer* m_opTimer = nullptr;
    LanguageDictionary* m_lang = nullptr;
    QTabWidget* m_tabs = nullptr;
    QWidget* m_sensorPage = nullptr;
    QWidget* m_pwmvPage = nullptr;
    QWidget* m_pwmcPage = nullptr;
    QWidget* m_setpointvPage = nullptr;
    QWidget* m_setpointcPage = nullptr;
    QStandardItemModel* m_sensorModel = nullptr;
    QTableView* m_sensorView = nullptr;
    QRadioButton* m_ratioZeroRadio = nullptr;
    QRadioButton* m_ratioFsRadio = nullptr;
    QPushButton* m_sensorCalcButton = nullptr;
    QPushButton* m_backupButton = nullptr;
    QPushButton* m_restoreButton = nullptr;
    QLineEdit* m_gainEdit = nullptr;
    double m_ratioSum = 0.0;
    int m_ratioCount = 0;
    QStandardItemModel* m_pwmvModel = nullptr;
    QTableView* m_pwmvView = nullptr;
    QPushButton* m_pwmvCalcButton = nullptr;
    int m_pwmvRow = 0;
    QStandardItemModel* m_pwmcModel = nullptr;
    QTableView* m_pwmcView = nullptr;
    QPushButton* m_pwmcCalcButton = nullptr;
    int m_pwmcRow = 0;
    QStandardItemModel* m_setpointvModel = nullptr;
    QTableView* m_setpointvView = nullptr;
    QRadioButton* m_setpointV1Radio = nullptr;
    QRadioButton* m_setpointV2Radio = nullptr;
    QPushButton* m_setpointvReadButton = nullptr;
    QPushButton* m_setpointvCalcButton = nullptr;
    int m_adcvCount = 0;
    qint64 m_adcvSum = 0;
    QStandardItemModel* m_setpointcModel = nullptr;
    QTableView* m_setpointcView = nullptr;
    QRadioButton* m_setpointC1Radio = nullptr;
    QRadioButton* m_setpointC2Radio = nullptr;
    QPushButton* m_setpointcReadButton = nullptr;
    QPushButton* m_setpointcCalcButton = nullptr;
    int m_adccCount = 0;
    qint64 m_adccSum = 0;

    // Codec used only to test values before they are sent, so that the link
    // never refuses a list of this page.
    TervanCore* m_core = nullptr;
    // A write of the pending step whose value the device may keep: the neutral
    // values a measurement or raw setting starts with, and the results a
    // list writes together with their commit (`EEPROMProgram`, also listed).
    struct StepWrite
    {
        QString reg;
        QString value;
        bool result = false; // committed by the next commit of the list
        bool confirmed = false;
    };
    // A frame of the pending step whose reply has not come yet.
    struct Awaited
    {
        QString cmd;
        QString value;   // a reply to a write of a value the device keeps must show it
        int record = -1; // its entry in m_writes
    };
    // Replies the pending operation still awaits, in the order its frames go
    // out; a reply counts for the operation only when it is the next of these.
    QList<Awaited> m_expected;
    // Replies still due to frames of operations that have ended; each is
    // dropped when it arrives, so it cannot feed a later operation.
    QStringList m_stale;
    // Set while the page itself fills a "Writable" cell: not an edit.
    bool m_quietEdit = false;
    // Per two-point table: input rows (0 to 3) typed or read since the page
    // was built or its last confirmed calculation. A new raw value or input
    // (row 0 or 2) drops the measurement of its point (row 1 or 3).
    QMap<const QStandardItemModel*, QSet<int>> m_given;
    // The pending step's writes in the order they go out; the device confirms them in that order.
    QList<StepWrite> m_writes;
};
