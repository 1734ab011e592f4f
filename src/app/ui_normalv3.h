#pragma once

#include "mfcframe.h"
#include "tervancore.h"

#include <QDate>
#include <QDateTime>
#include <QGroupBox>
#include <QList>
#include <QSharedPointer>
#include <QStringList>
#include <QVector>
#include <QWidget>

#include <functional>

class FlowRecord;
class LanguageDictionary;
class QCPAxisTickerTime;
class QCustomPlot;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QMouseEvent;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QTimer;

// The operator's page ("NormalInformation"): setpoint, valve, control mode,
// live flow plots, the setpoint schedule and the flow records.
class UI_NormalV3 : public QWidget
{
    Q_OBJECT

public:
    // Display unit of the setpoint box and the two readouts.
    enum flow_unit_t {
        UNIT_FS = 0,
        UNIT_SCCM = 1,
        UNIT_SLM = 2,
        UNIT_MV = 3,
        UNIT_V = 4,
    };

    // A point waiting to be drawn while the curve is frozen or being dragged.
    struct plot_sample_t
    {
        double time = 0;     // plot time, seconds (see plotTime)
        double flow = 0;     // percent of full scale
        double setpoint = 0; // percent of full scale
    };

    using Clock = std::function<QDateTime()>;

    static constexpr int VALVE_PWM_MAX = 64760;
    // Plot points older than this (seconds behind the newest) are dropped, so a
    // run of days keeps bounded memory; far wider than the widest time window.
    static constexpr double RETENTION_SECONDS = 4 * 3600.0;

    explicit UI_NormalV3(bool compact, QWidget* parent = nullptr);
    ~UI_NormalV3() override;

    // The wall clock of every page built afterwards (plots, schedule, records).
    // Tests set one they can move; an empty function restores the system clock.
    static void setClock(Clock clock);
    static QDateTime currentDateTime();

    QStringList readList();
    void mfc_ack(TervanCore::mfc_reg_t reg);
    void resetReadouts(QStringList cmds);
    bool isDynamicCurve();
    void showScheduleWindow(int x, int y);

    // Unit conversions of the current unit (percent of full scale <-> unit value).
    double fromPercent(double p) const;
    double toPercent(double v) const;

    // Seconds on the time axis: time of day of the first day plus 86400 per day
    // since, so the axis keeps increasing across midnight.
    double plotTime() const;

    // Top-level schedule window; public so the main window can follow it when moved.
    QGroupBox* m_scheduleWindow = nullptr;

signals:
    void commands_req(QList<mfc_frame_t> cmds);
    void schedule_show_req();
    // A record save failed (isSet) or works again; the main window shows it as a warning.
    void error_record_req(bool isSet, QString msg);

public slots:
    void saveRecord_req(bool isStart, double saveTime, QString path);
    void limitation_sync(bool v);
    void onClicked_valveFullOpen(bool);
    void onClicked_valveFullClose(bool);
    void onClicked_valveNormal(bool);
    void onClicked_CM_Digital(bool);
    void onClicked_CM_Voltage(bool);
    void onClicked_CM_Current(bool);
    void onClicked_CM_Dirctect(bool);
    void onClicked_DirctectVal(bool);
    void onClicked_DirctectMax(bool);
    void onClicked_DirctectMin(bool);
    void onClicked_setpoint(bool);
    void onClicked_schedule(bool);
    void onClicked_helper(bool);
    void onClicked_zero(bool);
    void onClicked_UnitFS(bool);
    void onClicked_UnitSccm(bool);
    void onClicked_UnitSLM(bool);
    void onClicked_UnitMV(bool);
    void onClicked_UnitV(bool);
    void schedule_poll();
    void onClicked_schedule1(bool);
    void onClicked_schedule2(bool);
    void onClicked_schedule3(bool);
    void onClicked_dynamic(bool);
    void onClicked_micro(bool);
    void onClicked_origin(bool);
    void sldValChanged(int);
    void doubleClicked_smallPlot(QMouseEvent*);
    void doubleClicked_maxPlot(QMouseEvent*);
    void mousePress_smallPlot(QMouseEvent* event);
    void mouseRelease_smallPlot(QMouseEvent* event);
    void update_xAixsRange();
    void onClicked_sp0(bool);
    void onClicked_sp25(bool);
    void onClicked_sp50(bool);
    void onClicked_sp75(bool);
    void onClicked_sp100(bool);
    void onClicked_sp2(bool);
    void onClicked_sp5(bool);
    void onClicked_sp10(bool);
    void onClicked_sp120(bool);
    void fill_header();

private:
    struct schedule_node_t
    {
        QSpinBox* hour = nullptr;
        QSpinBox* minute = nullptr;
        QSpinBox* second = nullptr;
        QDoubleSpinBox* target = nullptr;
        QLineEdit* current = nullptr;
        bool active = false;
        int h = 0;
        int m = 0;
        int s = 0;
    };

    // Building (controls, plots, schedule window).
    QWidget* buildControlPanel();
    QWidget* buildValveColumn();
    QWidget* buildBars();
    QWidget* buildSetpointColumn();
    QWidget* buildQuickSetpoints();
    QWidget* buildPlotArea();
    QCustomPlot* buildPlot(bool small);
    void buildScheduleWindow();

    // The program ends: the record's last save.
    void finishRecord();

    // Device writes and readouts.
    void requestWrite(const QString& name, const QString& value);
    void writeSetpoint(double p);
    void applySetpointPercent(double p);
    void applyUnit();
    void setUnit(flow_unit_t unit);
    void showActiveSetpoint(double p);
    void showFlow(double p);
    void showControlMode(int cm);

    // Plots.
    void updatePlot();
    void queueSample(double t);
    void flushHistory();
    void addPoint(double t, double flow, double setpoint);
    void dropOldPoints(double t);
    void replotVisible();
    void setScheduleNode(int n);

    LanguageDictionary* m_lang = nullptr;
    QStringList m_regList;
    flow_unit_t m_unit = UNIT_FS;
    quint16 m_fullScale = 300;
    double m_digitalSetpoint = 0;
    double m_activeSetpoint = 0;
    double m_flow = 0;
    bool m_compact = false;
    bool m_limitation = false;

    // Controls.
    QWidget* m_ctrlPanel = nullptr;
    QRadioButton* m_valveOpen = nullptr;
    QRadioButton* m_valveClose = nullptr;
    QRadioButton* m_valveNormal = nullptr;
    QRadioButton* m_cmDigital = nullptr;
    QRadioButton* m_cmVoltage = nullptr;
    QRadioButton* m_cmCurrent = nullptr;
    QRadioButton* m_cmDirect = nullptr;
    QGroupBox* m_pwmGroup = nullptr;
    QSpinBox* m_pwmBox = nullptr;
    QProgressBar* m_spBar = nullptr;
    QProgressBar* m_flowBar = nullptr;
    QLineEdit* m_activeEdit = nullptr;
    QLineEdit* m_flowEdit = nullptr;
    QLabel* m_activeUnit = nullptr;
    QLabel* m_setpointUnit = nullptr;
    QLabel* m_flowUnit = nullptr;
    QGroupBox* m_setpointGroup = nullptr;
    QDoubleSpinBox* m_setpointBox = nullptr;
    QGroupBox* m_quickGroup = nullptr;

    // Plots.
    QCustomPlot* m_smallPlot = nullptr;
    QCustomPlot* m_maxPlot = nullptr;
    QSharedPointer<QCPAxisTickerTime> m_ticker;
    QPushButton* m_dynamicButton = nullptr;
    QSlider* m_slider = nullptr;
    QVector<plot_sample_t> m_history;
    bool m_dynamic = true;
    QTimer* m_axisTimer = nullptr;
    QTimer* m_headerTimer = nullptr;
    int m_timeWindow = 24;
    QList<double> m_recentFlow;
    double m_headerEnd = 0;
    double m_plotStart = 0;
    bool m_dragging = false;
    int m_pressX = 0;
    int m_pressY = 0;
    int m_dragX = 0;
    int m_dragY = 0;
    QDate m_baseDate;      // day whose midnight is 0 on the time axis
    double m_lastDrop = 0; // plot time of the last retention pass

    // Schedule.
    schedule_node_t m_nodes[3];
    QTimer* m_scheduleTimer = nullptr;

    FlowRecord* m_flowRecord = nullptr;
};
