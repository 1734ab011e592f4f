#include "ui_drvv3.h"

#include "languagedictionary.h"
#include "notice.h"
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
    // Nothing to poll until a device is found.
    m_hal->setPolling(false);
    m_quietTimer = new QTimer(this);
    m_quietTimer->setSingleShot(true);
    m_quietTimer->setInterval(QUIET_MS);
    connect(m_quietTimer, &QTimer::timeout, this, &UI_DrvV3::quietEnded);
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
    // No probe read is under way; left connected, the probe would take a
    // later timeout of the link for its own and report a finished search
    // after the caller's failure.
    disconnectProbe();
    return false;
}

void UI_DrvV3::connectProbe()
{
    m_searching = true;
    m_hal->setPolling(false);
    m_hal->setRetry(1);
    m_probeAck = connect(m_hal, &TervanHALV3::ack, this, &UI_DrvV3::_mfc_ack);
    m_probeNack = connect(m_hal, &TervanHALV3::timeout, this, &UI_DrvV3::_mfc_nack);
    m_probeError = connect(m_hal, &TervanHALV3::error, this, &UI_DrvV3::_mfc_error);
}

void UI_DrvV3::disconnectProbe()
{
    m_searching = false;
    m_quietTimer->stop();
    disconnect(m_probeAck);
    disconnect(m_probeNack);
    disconnect(m_probeError);
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
            m_heard.clear();
            m_reprobes = 0;
            m_foundAddress = -1;
            return probe(err);
        }

        ++m_portIndex;
        m_baudIndex = 0;
        if (m_portIndex >= m_ports.size())
            return false;
    }
}

// Bytes the port still holds (a late reply to the last poll before a restart,
// another device's answer, noise) would be taken for the answer to this probe.
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
    if (!m_searching)
        return;
    // Only a MACAddress reply naming the address asked (any, for 255) answers
    // a probe. Even an answer may be a leftover of an exchange from before a
    // restart, so a rate counts as found only when a later probe, sent after
    // emptying the port again, is answered by an address already heard at it.
    // Several devices may answer 255: whichever of them answers a probe again
    // is taken.
    const bool answer = reg.cmd == QLatin1String("MACAddress")
        && (m_searchAddress == 255 || reg.value.u8 == m_searchAddress);
    const int address = reg.value.u8;
    if (m_quietTimer->isActive() || m_draining) {
        // A late reply to the probe just handled: only noted.
        if (answer && !m_heard.contains(address))
            m_heard << address;
        return;
    }
    if (answer && m_heard.contains(address)) {
        m_foundAddress = address;
        m_quietTimer->start();
        return;
    }
    const bool first = answer && m_heard.isEmpty();
    if (answer)
        m_heard << address;
    if (first)
        m_quietTimer->start(); // then the confirming probe
    else
        wrongReply();
}

// The link reports an undecodable reply twice (frame and value); the second
// report comes during the quiet wait the first one started.
void UI_DrvV3::_mfc_error(QString msg)
{
    Q_UNUSED(msg);
    if (m_searching && !m_quietTimer->isActive() && !m_draining)
        wrongReply();
}

// Probed again after the quiet wait, or given up as silent past the limit.
void UI_DrvV3::wrongReply()
{
    ++m_reprobes;
    m_quietTimer->start();
}

void UI_DrvV3::quietEnded()
{
    if (!m_searching)
        return;
    // What came during the wait counts as heard during it, even when a busy
    // event loop has not read it yet: the next probe empties the port.
    m_draining = true;
    m_hal->receivePending();
    m_draining = false;
    if (m_foundAddress >= 0) {
        found(quint8(m_foundAddress));
        return;
    }
    QString err;
    if (m_reprobes > MAX_REPROBES || !probe(err))
        nextRate();
}

void UI_DrvV3::_mfc_nack(QStringList cmds)
{
    Q_UNUSED(cmds);
    // During the quiet wait no probe is in flight: stray bytes restarted the
    // link's reply timer, and the next step is already due.
    if (!m_searching || m_quietTimer->isActive())
        return;
    // A lost reply to a confirming probe does not make the rate silent.
    QString err;
    if (!m_heard.isEmpty() && ++m_reprobes <= MAX_REPROBES && probe(err))
        return;
    nextRate();
}

void UI_DrvV3::nextRate()
{
    ++m_baudIndex;
    m_hal->closePort();
    QString err;
    if (!tryNextPort(err)) {
        qDebug().noquote().nospace() << err;
        disconnectProbe();
        emit search_result(false, QString(), 0);
    }
}

void UI_DrvV3::found(quint8 address)
{
    const QString port = currentPort();
    const int bps = currentBaud();
    m_otherAddresses.clear();
    for (int a : qAsConst(m_heard)) {
        if (a != address)
            m_otherAddresses << a;
    }
    qDebug().noquote().nospace() << "Found MFC port: " << port << " with bps: " << bps;
    qDebug().noquote().nospace() << "MFC address: " << address;
    m_foundBaud = bps;
    m_portCombo->setCurrentText(port);
    m_baudCombo->setCurrentText(QString::number(bps));
    m_addressSpin->setValue(address);
    // Late answers of other devices may have steered the link's address.
    m_hal->discardInput();
    m_hal->setAddress(address);
    m_setBpsButton->setEnabled(true);
    m_setAddrButton->setEnabled(true);
    disconnectProbe();
    m_hal->setRetry(5);
    m_hal->setPolling(true);
    emit search_result(true, port, bps);
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
                        err)) {
        qDebug().noquote().nospace() << "Error: " << err;
        linkFailed(err);
    }
}

void UI_DrvV3::linkFailed(const QString& msg)
{
    if (m_restartPending == 0)
        return;
    // Left pending, the next EEPROMProgram reply of any page would reset the
    // device and restart the program.
    m_restartPending = 0;
    qDebug().noquote().nospace() << "Baud rate not changed: " << msg;
    if (m_foundBaud != 0)
        m_baudCombo->setCurrentText(QString::number(m_foundBaud));
    showNotice(this, m_lang->translate(QStringLiteral("The baud rate was not changed: the device did not confirm it.")));
}

void UI_DrvV3::mfc_ack(TervanCore::mfc_reg_t reg)
{
    if (m_restartPending == 0 || reg.cmd != QLatin1String("EEPROMProgram"))
        return;
    // From here the restart timer carries the change; a later failure or
    // EEPROMProgram reply no longer belongs to it.
    m_restartPending = 0;
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
