// The live flow plots of the normal page: a small plot under the controls and a
// large one in their place, a time window that follows the clock, a frozen
// ("static") mode, dragging, vertical zoom to the recent flow.
#include "ui_normalv3.h"

#include "flowrecord.h"
#include "languagedictionary.h"

#include <QDebug>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>

namespace {

// The time axis counts on past midnight (86400 s per day since the first day);
// the labels still show the time of day.
class TimeOfDayTicker : public QCPAxisTickerTime
{
protected:
    QString getTickLabel(double tick, const QLocale& locale, QChar formatChar, int precision) override
    {
        double t = std::fmod(tick, 86400.0);
        if (t < 0)
            t += 86400.0;
        return QCPAxisTickerTime::getTickLabel(t, locale, formatChar, precision);
    }
};

struct time_scale_t
{
    int window;
    int ticks;
};

// Slider positions 1 to 5.
const time_scale_t TIME_SCALES[] = { { 24, 6 }, { 50, 5 }, { 120, 7 }, { 210, 7 }, { 240, 4 } };

// How often (plot seconds) old points are looked for; dropping is cheap, but
// there is no need to do it on every step.
constexpr double DROP_PERIOD = 60.0;

} // namespace

QCustomPlot* UI_NormalV3::buildPlot(bool small)
{
    auto* plot = new QCustomPlot(nullptr);
    plot->setObjectName(small ? QStringLiteral("smallPlot") : QStringLiteral("maxPlot"));
    plot->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    if (small) {
        QPalette palette = plot->palette();
        palette.setColor(QPalette::Highlight, Qt::white);
        palette.setColor(QPalette::HighlightedText, Qt::black);
        plot->setPalette(palette);
        plot->setFocusPolicy(Qt::NoFocus);
    } else {
        plot->hide();
    }

    plot->addGraph();
    plot->graph(0)->setPen(QPen(Qt::blue, 1));
    plot->graph(0)->setName(QStringLiteral("Readout"));
    plot->addGraph();
    plot->graph(1)->setPen(QPen(Qt::red, 2));
    plot->graph(1)->setName(QStringLiteral("Setpoint"));

    plot->xAxis->setTicker(m_ticker);
    plot->axisRect(0)->setupFullAxesBox(false);
    plot->yAxis->setRange(-2, 125);
    plot->legend->setVisible(true);
    plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectPlottables);

    // Legend to the right of the axis rectangle, vertically centred.
    auto* legendGrid = new QCPLayoutGrid;
    plot->plotLayout()->addElement(0, 1, legendGrid);
    legendGrid->addElement(0, 0, new QCPLayoutElement(plot));
    legendGrid->addElement(1, 0, plot->legend);
    legendGrid->addElement(2, 0, new QCPLayoutElement(plot));
    legendGrid->setRowStretchFactor(1, 0.001); // the legend keeps its own height
    legendGrid->setMargins(QMargins(0, 0, 6, 0));
    plot->plotLayout()->setColumnStretchFactor(1, 0.001);
    plot->axisRect()->setRangeZoom(Qt::Vertical);

    connect(plot, &QCustomPlot::mousePress, this, &UI_NormalV3::mousePress_smallPlot);
    connect(plot, &QCustomPlot::mouseRelease, this, &UI_NormalV3::mouseRelease_smallPlot);
    connect(plot, &QCustomPlot::mouseDoubleClick, this,
            small ? &UI_NormalV3::doubleClicked_smallPlot : &UI_NormalV3::doubleClicked_maxPlot);
    return plot;
}

QWidget* UI_NormalV3::buildPlotArea()
{
    m_ticker = QSharedPointer<QCPAxisTickerTime>(new TimeOfDayTicker);
    m_ticker->setTickStepStrategy(QCPAxisTicker::tssMeetTickCount);
    m_ticker->setTickCount(m_compact ? 5 : 6);
    m_ticker->setTimeFormat(QStringLiteral("%h:%m:%s"));

    m_maxPlot = buildPlot(false);
    m_smallPlot = buildPlot(true);

    auto* area = new QWidget;
    auto* layout = new QVBoxLayout(area);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_maxPlot, 1);
    layout->addWidget(m_smallPlot, 1);
    layout->addStretch();

    auto* row = new QHBoxLayout;
    m_dynamicButton = new QPushButton(m_lang->translate("Static Curve"));
    m_dynamicButton->setObjectName(QStringLiteral("dynamicButton"));
    auto* microButton = new QPushButton(m_lang->translate("Micro Show"));
    microButton->setObjectName(QStringLiteral("microButton"));
    auto* originButton = new QPushButton(m_lang->translate("Origin Curve"));
    originButton->setObjectName(QStringLiteral("originButton"));
    row->addWidget(m_dynamicButton, 1);
    row->addWidget(microButton, 1);
    row->addWidget(originButton, 1);
    connect(m_dynamicButton, &QPushButton::clicked, this, &UI_NormalV3::onClicked_dynamic);
    connect(microButton, &QPushButton::clicked, this, &UI_NormalV3::onClicked_micro);
    connect(originButton, &QPushButton::clicked, this, &UI_NormalV3::onClicked_origin);
    if (m_compact) {
        row->addStretch(3);
    } else {
        row->addWidget(new QLabel(m_lang->translate("Time scale:")));
        m_slider = new QSlider(Qt::Horizontal);
        m_slider->setObjectName(QStringLiteral("timeScaleSlider"));
        m_slider->setRange(1, 5);
        m_slider->setSingleStep(1);
        m_slider->setPageStep(1);
        m_slider->setValue(1);
        m_slider->setTickPosition(QSlider::TicksBelow);
        row->addWidget(m_slider, 3);
        connect(m_slider, &QSlider::valueChanged, this, &UI_NormalV3::sldValChanged);
    }
    row->addStretch(3);
    layout->addLayout(row);

    m_headerTimer = new QTimer(this);
    m_headerTimer->setObjectName(QStringLiteral("headerTimer"));
    m_headerTimer->setInterval(62);
    connect(m_headerTimer, &QTimer::timeout, this, &UI_NormalV3::fill_header);
    m_headerTimer->start();
    return area;
}

bool UI_NormalV3::isDynamicCurve()
{
    return m_dynamic;
}

void UI_NormalV3::addPoint(double t, double flow, double setpoint)
{
    for (QCustomPlot* plot : { m_smallPlot, m_maxPlot }) {
        plot->graph(0)->addData(t, flow);
        plot->graph(1)->addData(t, setpoint);
    }
}

void UI_NormalV3::queueSample(double t)
{
    plot_sample_t sample;
    sample.time = t;
    sample.flow = m_flow;
    sample.setpoint = m_activeSetpoint;
    m_history.append(sample);
}

void UI_NormalV3::flushHistory()
{
    for (const plot_sample_t& s : qAsConst(m_history))
        addPoint(s.time, s.flow, s.setpoint);
    m_history.clear();
}

void UI_NormalV3::dropOldPoints(double t)
{
    if (std::fabs(t - m_lastDrop) < DROP_PERIOD)
        return;
    m_lastDrop = t;
    const double cutoff = t - RETENTION_SECONDS;
    for (QCustomPlot* plot : { m_smallPlot, m_maxPlot }) {
        for (int g = 0; g < 2; ++g) {
            const auto data = plot->graph(g)->data();
            data->removeBefore(cutoff);
            // Moving the kept points to the front now keeps the container at its
            // size; left to itself it lets the freed head grow far beyond the
            // points it holds before it compacts.
            data->squeeze(true, false);
        }
    }
    // A curve left static for hours queues its points; they age out the same way.
    const auto keep = std::find_if(m_history.begin(), m_history.end(),
                                   [cutoff](const plot_sample_t& s) { return s.time >= cutoff; });
    m_history.erase(m_history.begin(), keep);
}

void UI_NormalV3::replotVisible()
{
    for (QCustomPlot* plot : { m_smallPlot, m_maxPlot }) {
        if (plot->isVisible())
            plot->replot(QCustomPlot::rpRefreshHint);
    }
}

void UI_NormalV3::updatePlot()
{
    const double t = plotTime();
    while (m_recentFlow.size() > 160)
        m_recentFlow.removeFirst();
    m_recentFlow.append(m_flow);

    if (!m_dynamic || m_dragging) {
        queueSample(t);
    } else {
        addPoint(t, m_flow, m_activeSetpoint);
        for (QCustomPlot* plot : { m_smallPlot, m_maxPlot }) {
            if (t > m_headerEnd) {
                // 600 dragged pixels count as one window width, in whole seconds.
                const int shift = (m_timeWindow * m_dragX) / 600;
                plot->xAxis->setRange(t - shift, m_timeWindow, Qt::AlignRight);
            } else {
                plot->xAxis->setRange(m_plotStart, m_timeWindow, Qt::AlignLeft);
            }
        }
        replotVisible();
    }
    dropOldPoints(t);
    m_flowRecord->step(m_activeSetpoint, m_flow);
}

void UI_NormalV3::fill_header()
{
    if (plotTime() < m_headerEnd) {
        updatePlot();
        m_headerTimer->start();
    } else {
        m_headerTimer->stop();
    }
}

void UI_NormalV3::update_xAixsRange()
{
    if (m_dynamic) {
        const double r = std::floor(plotTime() + m_timeWindow);
        for (QCustomPlot* plot : { m_smallPlot, m_maxPlot })
            plot->xAxis->setRange(r, m_timeWindow + 1, Qt::AlignRight);
        m_axisTimer->start();
    }
    m_smallPlot->replot(QCustomPlot::rpRefreshHint);
    m_maxPlot->replot(QCustomPlot::rpRefreshHint);
}

void UI_NormalV3::onClicked_dynamic(bool)
{
    if (m_dynamic) {
        m_dynamicButton->setText(m_lang->translate("Dynamic Curve"));
        m_axisTimer->stop();
    } else {
        flushHistory();
        m_dynamicButton->setText(m_lang->translate("Static Curve"));
        m_axisTimer->start();
    }
    m_dynamic = !m_dynamic;
}

void UI_NormalV3::onClicked_micro(bool)
{
    double min = 120;
    double max = -120;
    for (double v : qAsConst(m_recentFlow)) {
        qDebug().noquote().nospace() << v;
        min = std::min(min, v);
        max = std::max(max, v);
    }
    qDebug().noquote().nospace() << "min: " << min << ", max: " << max;
    const double span = std::fabs(max - min);
    const double margin = span < 0.2 ? 0.05 : span * 0.25;
    for (QCustomPlot* plot : { m_smallPlot, m_maxPlot }) {
        plot->yAxis->setRange(min - margin, max + margin);
        plot->replot(QCustomPlot::rpRefreshHint);
    }
}

void UI_NormalV3::onClicked_origin(bool)
{
    qDebug().noquote().nospace() << "axis reset to origin.";
    for (QCustomPlot* plot : { m_smallPlot, m_maxPlot })
        plot->yAxis->setRange(-2, 125);
    update_xAixsRange();
}

void UI_NormalV3::sldValChanged(int v)
{
    qDebug().noquote().nospace() << "Slider value: " << v;
    if (v >= 1 && v <= 5) {
        m_timeWindow = TIME_SCALES[v - 1].window;
        m_ticker->setTickCount(TIME_SCALES[v - 1].ticks);
    }
    m_axisTimer->setInterval(m_timeWindow * 1000);
    update_xAixsRange();
}

void UI_NormalV3::doubleClicked_smallPlot(QMouseEvent*)
{
    m_ctrlPanel->hide();
    m_smallPlot->hide();
    m_maxPlot->show();
}

void UI_NormalV3::doubleClicked_maxPlot(QMouseEvent*)
{
    m_maxPlot->hide();
    m_ctrlPanel->show();
    m_smallPlot->show();
}

void UI_NormalV3::mousePress_smallPlot(QMouseEvent* event)
{
    m_dragging = true;
    const bool dragButton = event->button() == Qt::LeftButton || event->button() == Qt::RightButton;
    if (plotTime() > m_headerEnd && dragButton) {
        m_pressX = qRound(event->localPos().x());
        m_pressY = qRound(event->localPos().y());
    }
}

void UI_NormalV3::mouseRelease_smallPlot(QMouseEvent* event)
{
    m_dragging = false;
    flushHistory();
    const bool dragButton = event->button() == Qt::LeftButton || event->button() == Qt::RightButton;
    if (plotTime() > m_headerEnd && dragButton) {
        m_dragX += qRound(event->localPos().x()) - m_pressX;
        m_dragY += qRound(event->localPos().y()) - m_pressY;
    }
}
