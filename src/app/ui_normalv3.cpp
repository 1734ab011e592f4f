#include "ui_normalv3.h"

#include "flowrecord.h"
#include "languagedictionary.h"
#include "notice.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <qcustomplot.h>

#include <cmath>

namespace {

UI_NormalV3::Clock& clockOverride()
{
    static UI_NormalV3::Clock clock;
    return clock;
}

// The number a reply carries, read from the member its kind names.
double numberOf(const TervanCore::mfc_reg_t& reg)
{
    switch (reg.type) {
    case KIND_UINT8:
        return reg.value.u8;
    case KIND_UINT16:
        return reg.value.u16;
    case KIND_UINT32:
        return reg.value.u32;
    case KIND_INT32:
        return reg.value.i32;
    case KIND_FLOAT:
        return double(reg.value.f32);
    case KIND_DOUBLE:
        return reg.value.f64;
    default:
        return reg.output.toDouble();
    }
}

const char* const MANUAL_PATH = "doc/InstructionManual.pdf";

} // namespace

UI_NormalV3::UI_NormalV3(bool compact, QWidget* parent)
    : QWidget(parent)
    , m_compact(compact)
{
    m_timeWindow = compact ? 10 : 24;
    m_baseDate = currentDateTime().date();

    m_lang = new LanguageDictionary();
    m_regList = QStringList{ "CM", "ValveCommand", "DigitalSetpoint", "TargetGasFullScaleRange",
                             "ReadActiveSetpoint", "ReadFlow", "ReadCurrentSetpoint" };

    m_axisTimer = new QTimer(this);
    m_axisTimer->setObjectName(QStringLiteral("axisTimer"));
    m_axisTimer->setInterval(m_timeWindow * 1000);
    connect(m_axisTimer, &QTimer::timeout, this, &UI_NormalV3::update_xAixsRange);
    m_scheduleTimer = new QTimer(this);
    m_scheduleTimer->setObjectName(QStringLiteral("scheduleTimer"));
    m_scheduleTimer->setInterval(900);
    connect(m_scheduleTimer, &QTimer::timeout, this, &UI_NormalV3::schedule_poll);

    m_flowRecord = new FlowRecord(this);
    m_flowRecord->setClock([] { return UI_NormalV3::currentDateTime(); });
    connect(m_flowRecord, &FlowRecord::saveError, this, &UI_NormalV3::error_record_req);
    // Rows come in reply handling: the notice does not wait for its answer.
    connect(m_flowRecord, &FlowRecord::nameTaken, this, [this](const QString& msg) { showNotice(this, msg); });
    // Before the window goes, while a failed save can still be told.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &UI_NormalV3::finishRecord);

    auto* layout = new QVBoxLayout(this);
    m_ctrlPanel = buildControlPanel();
    layout->addWidget(m_ctrlPanel);
    layout->addWidget(buildPlotArea(), 1);
    layout->addWidget(buildQuickSetpoints());
    buildScheduleWindow();

    updatePlot();
    const double t0 = plotTime();
    m_plotStart = t0;
    m_headerEnd = t0 + m_timeWindow;
    for (QCustomPlot* plot : { m_smallPlot, m_maxPlot })
        plot->xAxis->setRange(t0, t0 + m_timeWindow);
}

UI_NormalV3::~UI_NormalV3()
{
    delete m_scheduleWindow;
    delete m_lang;
}

void UI_NormalV3::setClock(Clock clock)
{
    clockOverride() = std::move(clock);
}

QDateTime UI_NormalV3::currentDateTime()
{
    const Clock& clock = clockOverride();
    return clock ? clock() : QDateTime::currentDateTime();
}

double UI_NormalV3::plotTime() const
{
    const QDateTime dt = currentDateTime();
    if (!dt.isValid())
        return 0;
    const qint64 days = m_baseDate.daysTo(dt.date());
    return double(days) * 86400.0 + dt.time().msecsSinceStartOfDay() / 1000.0;
}

QStringList UI_NormalV3::readList()
{
    return m_regList;
}

void UI_NormalV3::mfc_ack(TervanCore::mfc_reg_t reg)
{
    if (!m_regList.contains(reg.cmd))
        return;
    const double v = numberOf(reg);
    if (reg.cmd == QLatin1String("CM")) {
        showControlMode(int(v));
    } else if (reg.cmd == QLatin1String("ValveCommand")) {
        switch (int(v)) {
        case VALVE_FULL_CLOSE:
            m_valveClose->setChecked(true);
            break;
        case VALVE_NORMAL:
            m_valveNormal->setChecked(true);
            break;
        case VALVE_FULL_OPEN:
            m_valveOpen->setChecked(true);
            break;
        default:
            break;
        }
    } else if (reg.cmd == QLatin1String("ReadFlow")) {
        showFlow(v);
        updatePlot();
    } else if (reg.cmd == QLatin1String("ReadActiveSetpoint")) {
        showActiveSetpoint(v);
    } else if (reg.cmd == QLatin1String("TargetGasFullScaleRange")) {
        // A full scale of 0 would turn every sccm/slm conversion into a division
        // by zero; the last valid full scale stays in force instead.
        if (!(v >= 1 && v <= 65535)) {
            qDebug().noquote().nospace() << "Ignored full scale " << reg.output << ", keeping " << m_fullScale;
            return;
        }
        m_fullScale = quint16(v);
        applyUnit();
    }
}

void UI_NormalV3::resetReadouts(QStringList)
{
    showFlow(0);
    showActiveSetpoint(0);
}

void UI_NormalV3::requestWrite(const QString& name, const QString& value)
{
    QList<mfc_frame_t> cmds{makeFrame(name, MFC_WRITE, value)};
    if (m_limitation && name == QLatin1String("ValveCommand"))
        cmds.append(makeFrame(QStringLiteral("AppDelay"), MFC_DELAY, QStringLiteral("1500")));
    emit commands_req(cmds);
}

void UI_NormalV3::writeSetpoint(double p)
{
    // The device must never receive NaN or infinity as a setpoint.
    if (!std::isfinite(p)) {
        qDebug().noquote().nospace() << "Setpoint not written: not a number";
        return;
    }
    m_digitalSetpoint = p;
    requestWrite(QStringLiteral("DigitalSetpoint"), QString::number(p, 'g', 6));
}

void UI_NormalV3::saveRecord_req(bool isStart, double saveTime, QString path)
{
    if (isStart)
        m_flowRecord->start(saveTime, path);
    else
        m_flowRecord->stop();
}

void UI_NormalV3::finishRecord()
{
    const QString problem = m_flowRecord->stop();
    if (problem.isEmpty())
        return;
    // The event loop has ended and the status line goes with the window: the
    // engineer reads this before the program is gone.
    QMessageBox box(QMessageBox::Warning, m_lang->translate("Record"),
                    problem + "\n" + m_lang->translate("The rows recorded since the last save are lost."),
                    QMessageBox::Ok);
    box.setObjectName(QStringLiteral("finalSaveMessage"));
    box.exec();
}

void UI_NormalV3::limitation_sync(bool v)
{
    m_limitation = v;
}

void UI_NormalV3::onClicked_valveFullOpen(bool)
{
    requestWrite(QStringLiteral("ValveCommand"), QString::number(VALVE_FULL_OPEN));
}

void UI_NormalV3::onClicked_valveFullClose(bool)
{
    requestWrite(QStringLiteral("ValveCommand"), QString::number(VALVE_FULL_CLOSE));
}

void UI_NormalV3::onClicked_valveNormal(bool)
{
    requestWrite(QStringLiteral("ValveCommand"), QString::number(VALVE_NORMAL));
}

void UI_NormalV3::onClicked_CM_Digital(bool)
{
    requestWrite(QStringLiteral("CM"), QString::number(CM_DIGITAL));
}

void UI_NormalV3::onClicked_CM_Voltage(bool)
{
    requestWrite(QStringLiteral("CM"), QString::number(CM_VOLTAGE));
}

void UI_NormalV3::onClicked_CM_Current(bool)
{
    requestWrite(QStringLiteral("CM"), QString::number(CM_CURRENT));
}

void UI_NormalV3::onClicked_CM_Dirctect(bool)
{
    requestWrite(QStringLiteral("CM"), QString::number(CM_DIRECT));
}

void UI_NormalV3::onClicked_zero(bool)
{
    requestWrite(QStringLiteral("ZeroStatusAndSetting"), QStringLiteral("1"));
}

void UI_NormalV3::onClicked_helper(bool)
{
    const QString path = QDir::current().absoluteFilePath(QString::fromLatin1(MANUAL_PATH));
    QString problem;
    if (!QFileInfo(path).isFile())
        problem = m_lang->translate("The instruction manual is missing:") + "\n" + path;
    else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        problem = m_lang->translate("No viewer could open the instruction manual:") + "\n" + path;
    if (problem.isEmpty())
        return;
    // Not exec(): the page keeps running (plots, schedule, records) while the box is up.
    auto* box = new QMessageBox(QMessageBox::Warning, m_lang->translate("Helper"), problem,
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("manualMessage"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
