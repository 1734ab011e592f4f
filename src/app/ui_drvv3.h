#pragma once

#include "mfcframe.h"
#include "tervancore.h"

#include <QList>
#include <QMetaObject>
#include <QStringList>
#include <QWidget>

class LanguageDictionary;
class QComboBox;
class QPushButton;
class QSpinBox;
class QTimer;
class TervanHALV3;

// The "Communication" tab. Owns the program's one serial transport, finds the
// device by trying every port at every rate, and changes the device's address
// and baud rate.
class UI_DrvV3 : public QWidget
{
    Q_OBJECT

public:
    // From the accepted reset frames to the restart request: the queued 1000 ms
    // delay, the Reset frame, and a margin.
    static constexpr int RESTART_AFTER_RESET_MS = 2000;
    // Probes a rate may get beyond its first one and the one confirming an
    // answer: after a reply that answers no probe (another register, an
    // undecodable frame, an address not heard before) or an unanswered
    // confirming probe. One more such event and the rate counts as silent.
    static constexpr int MAX_REPROBES = 3;
    // After a reply the search waits this long before its next step and then
    // empties the port: other devices on the line answer a few ms later, and
    // the tail of a noisy burst is no answer to the next probe.
    static constexpr int QUIET_MS = 100;

    explicit UI_DrvV3(QWidget* parent = nullptr);
    ~UI_DrvV3() override;

    // Starts the port search; the outcome arrives as search_result. False when
    // no port could be opened or the first probe read was refused.
    bool searchDevice(const QStringList& ports, const QList<int>& bauds, QString& err);
    void mfc_ack(TervanCore::mfc_reg_t reg);
    void writeAddress();

    TervanHALV3* hal() const { return m_hal; }
    // Addresses that also answered at the rate found, besides the one taken.
    QList<int> otherAddresses() const { return m_otherAddresses; }
    // Every request is gone (the link failed or was emptied): a baud-rate
    // change not yet confirmed by its EEPROMProgram reply did not happen.
    void linkFailed(const QString& msg);

signals:
    void search_result(bool ok, QString portName, int bps);
    void restart_req(bool v);
    void changedAddr_req();

public slots:
    void _mfc_nack(QStringList cmds);
    void _mfc_ack(TervanCore::mfc_reg_t reg);
    void _mfc_error(QString msg);
    void onClicked_setBps(bool v);
    void onClicked_setAddr(bool v);
    void time2restart();

private:
    void buildUi();
    void connectProbe();
    void disconnectProbe();
    bool tryNextPort(QString& err);
    bool probe(QString& err);
    void wrongReply();
    void quietEnded();
    void nextRate();
    void found(quint8 address);
    QString currentPort() const;
    int currentBaud() const;

    TervanHALV3* m_hal = nullptr;
    LanguageDictionary* m_lang = nullptr;
    int m_restartPending = 0;
    QTimer* m_restartTimer = nullptr;
    QComboBox* m_portCombo = nullptr;
    QComboBox* m_baudCombo = nullptr;
    QPushButton* m_setBpsButton = nullptr;
    QSpinBox* m_addressSpin = nullptr;
    QPushButton* m_setAddrButton = nullptr;
    QStringList m_ports;
    int m_portIndex = 0;
    QList<int> m_bauds;
    int m_baudIndex = 0;
    quint8 m_searchAddress = 255; // the address every probe of this search goes to
    bool m_searching = false;
    QList<int> m_heard;           // addresses that answered at the rate being tried
    int m_reprobes = 0;           // at the rate being tried
    int m_foundAddress = -1;      // answered twice; taken once the line is quiet
    QList<int> m_otherAddresses;
    QTimer* m_quietTimer = nullptr;
    bool m_draining = false;      // taking in what came during the quiet wait
    int m_foundBaud = 0;
    QMetaObject::Connection m_probeAck;
    QMetaObject::Connection m_probeNack;
    QMetaObject::Connection m_probeError;
};
