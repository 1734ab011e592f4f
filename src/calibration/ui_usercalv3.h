#pragma once

#include "mfcframe.h"
#include "tervancore.h"

#include <QList>
#include <QMap>
#include <QModelIndex>
#include <QPointF>
#include <QPointer>
#include <QStringList>
#include <QWidget>

class LanguageDictionary;
class LeastSquaresCurveFitting;
class QDoubleSpinBox;
class QGroupBox;
class QLineEdit;
class QMessageBox;
class QPushButton;
class QRadioButton;
class QSettings;
class QStandardItemModel;
class QTableView;

// Path of the points file of the device with serial text `name`: "data/<name>.ini".
// Characters of `name` that would name another folder become '_'.
QString pointsFilePath(const QString& name);

// User calibration page: recovers the device's calibration table to the
// linear default, lets the user drive setpoints and enter a reference meter's
// readings, fits them and writes the fitted 32-point table to the device.
class UI_UserCalV3 : public QWidget
{
    Q_OBJECT

public:
    explicit UI_UserCalV3(QWidget* parent = nullptr);
    ~UI_UserCalV3() override;

    // Names the page wants read once after the device is found.
    QStringList readList() const;
    // Every decoded reply, in the order the link delivers them.
    void mfc_ack(TervanCore::mfc_reg_t reg);
    // A request timed out after all its sends.
    void mfc_nack(QStringList cmds);
    // The link dropped this page's requests (timeout, refused list, failed
    // read-back, undecodable reply, queues emptied): end what is pending.
    void linkFailed(const QString& msg);
    // The device reported control mode `cm` (register CM).
    void setControlMode(int cm);

signals:
    void recoverXYTable_req();
    void writeXYTable_req(QList<double> xTable, QList<double> yTable);
    void commands_req(QList<mfc_frame_t> cmds);

public slots:
    void onClicked_fullRangeCal(bool v);
    void onClicked_singlePointCal(bool v);
    void onClicked_calibrate(bool v);
    void doubleClicked_stadnardX(QModelIndex index);
    double get_singleXPercent();
    bool calibration_2points_check(QPointF pre, QPointF next, QString& err);
    bool calibration_points_check(QList<QPointF> points, QString& err);
    void onClicked_sp10(bool v);
    void onClicked_sp20(bool v);
    void onClicked_sp30(bool v);
    void onClicked_sp40(bool v);
    void onClicked_sp50(bool v);
    void onClicked_sp60(bool v);
    void onClicked_sp70(bool v);
    void onClicked_sp80(bool v);
    void onClicked_sp90(bool v);
    void onClicked_sp100(bool v);

private:
    // Entries of the fit's arrays: a file or a run with more points is refused.
    static constexpr int MAX_POINTS = 16;

    enum Operation {
        OP_NONE = 0,
        OP_RECOVER = 1,
        OP_CALIBRATE = 2,
    };

    // Construction and modes (ui_usercalv3.cpp).
    void readSlopeBounds();
    void buildUi();
    QGroupBox* buildCalGroup();
    QGroupBox* buildPointsGroup();
    QGroupBox* buildSingleGroup();
    void makeConnections();
    void confirmMode(QRadioButton* radio);
    void applyMode(QRadioButton* radio, bool sure);
    void setpointPercent(int percent);
    void requestWrite(const QString& name, const QString& value);

    // Replies, operations and enabling (ui_usercalv3_replies.cpp).
    void startRecover();
    void startOperation(Operation op);
    void trackSequenceTail(const TervanCore::mfc_reg_t& reg);
    void finishOperation(bool ok);
    void updateEnabled();
    void loadPointsOnce();
    void showMessage(const QString& text);
    void setCalCell(int row, int column, double fraction);
    bool fullScaleKnown() const;

    // Points table and file (ui_usercalv3_points.cpp).
    void loadPoints();
    bool readPointsFile(const QSettings& file, int count, QList<QPointF>& points);
    void createDefaultPoints();
    QList<QPointF> defaultPoints() const;
    void showPoints(const QList<QPointF>& points, int yDigits);
    bool savePoints(const double* x, const double* y, int count, QString& err);
    bool writePointsFile(const QList<QPointF>& points, int yDigits, QString& err);

    // The calibration run (ui_usercalv3_run.cpp).
    bool tablePoints(QList<QPointF>& points, QString& err) const;
    bool mergeSinglePoint(QList<QPointF>& points, QString& err);
    bool fitPoints(double* x, double* y, int n, QString& err);
    void sendFittedTable();

    int m_op = OP_NONE;
    LanguageDictionary* m_lang = nullptr;
    QStringList m_readList;
    QGroupBox* m_modeGroup = nullptr;
    QRadioButton* m_fullRangeRadio = nullptr;
    QRadioButton* m_singlePointRadio = nullptr;
    QPushButton* m_startButton = nullptr;
    QGroupBox* m_calGroup = nullptr;
    QStandardItemModel* m_calModel = nullptr;
    QTableView* m_calView = nullptr;
    QMap<QString, int> m_calXRow;
    QMap<QString, int> m_calYRow;
    QGroupBox* m_pointsGroup = nullptr;
    QStandardItemModel* m_pointsModel = nullptr;
    QTableView* m_pointsView = nullptr;
    QLineEdit* m_setpointEdit = nullptr;
    QLineEdit* m_flowEdit = nullptr;
    QGroupBox* m_singleGroup = nullptr;
    QList<QRadioButton*> m_percentRadios;
    QDoubleSpinBox* m_sccmSpin = nullptr;
    QString m_pointsName;
    quint16 m_tarGasRange = 65535;
    QMap<QString, double> m_expected;
    LeastSquaresCurveFitting* m_fit = nullptr;
    QList<double> m_fitX;
    QList<double> m_fitY;
    bool m_pointsLoaded = false;
    double m_yxRateMin = 0.25;
    double m_yxRateMax = 4.0;

    int m_controlMode = 0;            // last CM reply; 0 until one arrives
    QStringList m_tail;               // replies the table sequence still owes after the table
    int m_tableReplies = 0;           // replies to expected table names since the operation began
    QPointer<QMessageBox> m_confirmBox;
};
