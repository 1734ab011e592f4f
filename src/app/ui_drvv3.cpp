#include "ui_drvv3.h"

#include "languagedictionary.h"
#include "tervanhalv3.h"

#include <QComboBox>
#include <QDebug>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

// The resources live in the app library; a static library's resource object is
// only linked in when something names it.
static void initVarnocResources()
{
    static bool done = false;
    if (!done) {
        Q_INIT_RESOURCE(varnoc);
        done = true;
    }
}

UI_DrvV3::UI_DrvV3(QWidget* parent)
    : QWidget(parent)
{
    initVarnocResources();
    m_restartPending = 0;
    m_lang = new LanguageDictionary();
    m_hal = new TervanHALV3();
    m_restartTimer = new QTimer();
    m_restartTimer->setTimerType(Qt::PreciseTimer);
    buildUi();

    connect(m_setBpsButton, &QPushButton::clicked, this, &UI_DrvV3::onClicked_setBps);
    connect(m_setAddrButton, &QPushButton::clicked, this, &UI_DrvV3::onClicked_setAddr);
    connect(m_restartTimer, &QTimer::timeout, this, &UI_DrvV3::time2restart);
}

UI_DrvV3::~UI_DrvV3()
{
    delete m_restartTimer;
    delete m_hal;
    delete m_lang;
}

void UI_DrvV3::buildUi()
{
    LanguageDictionary lang;

    auto* logo = new QLabel();
    const QPixmap pix(QStringLiteral(":/tervanlogo.png"));
    logo->setPixmap(pix);
    logo->setScaledContents(true);
    logo->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    logo->setObjectName(QStringLiteral("logoLabel"));

    auto* comBox = new QGroupBox(lang.translate(QStringLiteral("COM")));
    m_portCombo = new QComboBox();
    m_portCombo->setObjectName(QStringLiteral("portCombo"));
    m_portCombo->setEditable(false);
    m_portCombo->setEnabled(false);
    auto* comLayout = new QHBoxLayout(comBox);
    comLayout->addWidget(m_portCombo);

    auto* baudBox = new QGroupBox(lang.translate(QStringLiteral("Baudrate")));
    m_baudCombo = new QComboBox();
    m_baudCombo->setObjectName(QStringLiteral("baudCombo"));
    m_setBpsButton = new QPushButton(lang.translate(QStringLiteral("Set")));
    m_setBpsButton->setObjectName(QStringLiteral("setBpsButton"));
    m_setBpsButton->setEnabled(false);
    auto* baudLayout = new QHBoxLayout(baudBox);
    baudLayout->addWidget(m_baudCombo);
    baudLayout->addWidget(m_setBpsButton);

    auto* addrBox = new QGroupBox(lang.translate(QStringLiteral("Address")));
    m_addressSpin = new QSpinBox();
    m_addressSpin->setObjectName(QStringLiteral("addressSpin"));
    m_addressSpin->setRange(32, 95);
    m_addressSpin->setValue(32);
    m_setAddrButton = new QPushButton(lang.translate(QStringLiteral("Set")));
    m_setAddrButton->setObjectName(QStringLiteral("setAddrButton"));
    m_setAddrButton->setEnabled(false);
    auto* addrLayout = new QHBoxLayout(addrBox);
    addrLayout->addWidget(m_addressSpin);
    addrLayout->addWidget(m_setAddrButton);

    auto* right = new QVBoxLayout();
    right->addWidget(comBox, 1);
    right->addWidget(baudBox, 2);
    right->addWidget(addrBox, 2);
    right->addStretch(2);

    auto* row = new QHBoxLayout(this);
    row->addWidget(logo, 3);
    row->addLayout(right, 1);

    qDebug().noquote().nospace() << "logo size: " << pix.width() << " x " << pix.height();
    qDebug().noquote().nospace() << "widget size: " << width() << " x " << height();
}

bool UI_DrvV3::searchDevice(const QStringList& ports, const QList<int>& bauds, QString& err)
{
    m_portCombo->addItems(ports);
    for (int b : bauds)
        m_baudCombo->addItem(QString::number(b));
    m_ports = ports;
    m_bauds = bauds;
    m_portIndex = 0;
    m_baudIndex = 0;
    m_searchAddress = m_hal->core()->address();
    connectProbe();
    if (tryNextPort(err))
        return true;
    // No probe read is under way, yet the link goes on polling and timing out
    // on its closed port; left connected, the probe would take those timeouts
    // for its own and report a finished search after the caller's failure.
    disconnectProbe();
    return false;
}

void UI_DrvV3::connectProbe()
{
    m_hal->setRetry(1);
    m_probeAck = connect(m_hal, &TervanHALV3::ack, this, &UI_DrvV3::_mfc_ack);
    m_probeNack = connect(m_hal, &TervanHALV3::timeout, this, &UI_DrvV3::_mfc_nack);
}

void UI_DrvV3::disconnectProbe()
{
    disconnect(m_probeAck);
    disconnect(m_probeNack);
}

QString UI_DrvV3::currentPort() const
{
    return m_ports.value(m_portIndex);
}

int UI_DrvV3::currentBaud() const
{
    return m_bauds.value(m_baudIndex);
}

bool UI_DrvV3::tryNextPort(QString& err)
{
    // Iterative form of "skip this port and start again at the next one".
    for (;;) {
        if (m_hal->isOpen())
            m_hal->closePort();
        err = QStringLiteral("No valid port!");
        if (m_baudIndex >= m_bauds.size()) {
            m_baudIndex = 0;
            ++m_portIndex;
        }
        if (m_portIndex >= m_ports.size() || m_bauds.isEmpty())
            return false;

        qDebug().noquote().nospace() << "Try MFC port: " << currentPort() << " with bps: " << currentBaud();
        if (m_hal->open(currentPort(), currentBaud())) {
            m_foreignReplies = 0;
            m_firstAnswer = -1;
            return probe(err);
        }

        ++m_portIndex;
        m_baudIndex = 0;
        if (m_portIndex >= m_ports.size())
            return false;
    }
}

// Bytes the port still holds (a late reply to the last poll before a restart)
// would be taken for the answer at a speed the device does not run.
bool UI_DrvV3::probe(QString& err)
{
    m_hal->discardInput();
    // The link takes up the address of any MACAddress reply; one that did not
    // confirm its rate must not steer the probes that follow.
    m_hal->setAddress(m_searchAddress);
    return m_hal->readOne(QStringLiteral("MACAddress"), err);
}

void UI_DrvV3::_mfc_ack(TervanCore::mfc_reg_t reg)
{
    // Only a MACAddress reply naming the address asked (any, for 255) answers
    // the probe; another reply ended the probe in the link, so the rate is
    // probed again, or counts as silent after a few. Even an answer may be a
    // leftover of an exchange from before the restart that came in after the
    // port was emptied, so the rate counts as found only when a second probe,
    // sent after emptying the port again, is answered with the same address.
    const bool answer = reg.cmd == QLatin1String("MACAddress")
        && (m_searchAddress == 255 || reg.value.u8 == m_searchAddress);
    if (!answer || m_firstAnswer != int(reg.value.u8)) {
        const bool foreign = !answer || m_firstAnswer >= 0;
        if (answer)
            m_firstAnswer = reg.value.u8;
        QString err;
        if ((foreign && ++m_foreignReplies > MAX_FOREIGN_REPLIES) || !probe(err))
            _mfc_nack(QStringList());
        return;
    }
    const QString port = currentPort();
    const int bps = currentBaud();
    qDebug().noquote().nospace() << "Found MFC port: " << port << " with bps: " << bps;
    m_portCombo->setCurrentText(port);
    m_baudCombo->setCurrentText(QString::number(bps));
    m_addressSpin->setValue(reg.value.u8);
    m_hal->setAddress(reg.value.u8);
    m_setBpsButton->setEnabled(true);
    m_setAddrButton->setEnabled(true);
    disconnectProbe();
    m_hal->setRetry(5);
    emit search_result(true, port, bps);
}

void UI_DrvV3::_mfc_nack(QStringList cmds)
{
    Q_UNUSED(cmds);
    ++m_baudIndex;
    m_hal->closePort();
    QString err;
    if (!tryNextPort(err)) {
        qDebug().noquote().nospace() << err;
        disconnectProbe();
        emit search_result(false, QString(), 0);
    }
}

void UI_DrvV3::writeAddress()
{
    QString err;
    if (!m_hal->request({makeFrame(QStringLiteral("MACAddress"), MFC_WRITE, QString::number(m_addressSpin->value())),
                         makeFrame(QStringLiteral("AppDelay"), MFC_DELAY, QStringLiteral("1000"))},
                        err))
        qDebug().noquote().nospace() << "Error: " << err;
}

void UI_DrvV3::onClicked_setAddr(bool v)
{
    Q_UNUSED(v);
    writeAddress();
}

void UI_DrvV3::onClicked_setBps(bool v)
{
    Q_UNUSED(v);
    QMessageBox box(this); // over the main window, not in the middle of the screen
    box.setText(m_lang->translate(QStringLiteral("Change baudrate will restart application.")));
    box.exec();

    m_restartPending = 2;
    QString err;
    if (!m_hal->request({makeFrame(QStringLiteral("BaudRate"), MFC_WRITE, m_baudCombo->currentText()),
                         makeFrame(QStringLiteral("EEPROMProgram"), MFC_WRITE, QStringLiteral("1"))},
                        err))
        qDebug().noquote().nospace() << "Error: " << err;
}

void UI_DrvV3::mfc_ack(TervanCore::mfc_reg_t reg)
{
    if (m_restartPending == 0 || reg.cmd != QLatin1String("EEPROMProgram"))
        return;
    const QList<mfc_frame_t> frames{makeFrame(QStringLiteral("AppDelay"), MFC_DELAY, QStringLiteral("1000")),
                                    makeFrame(QStringLiteral("Reset"), MFC_WRITE, QStringLiteral("1"))};
    QString err;
    // The restart closes the port, so it must come after the Reset frame has
    // left, which happens when the 1000 ms delay ends; a restart after 1000 ms
    // would race that delay and could leave the device un-reset.
    if (m_hal->request(frames, err))
        m_restartTimer->start(RESTART_AFTER_RESET_MS);
    else
        qDebug().noquote().nospace() << err;
}

void UI_DrvV3::time2restart()
{
    m_restartTimer->stop();
    emit restart_req(true);
}
