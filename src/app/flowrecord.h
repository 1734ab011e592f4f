#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>

// The flow record of the normal page: one spreadsheet row of date-time, active
// setpoint and flow at most once per interval, saved after every row.
//
// A failed save is reported once through saveError(true, msg); the rows stay
// in the document, so the next save that succeeds writes them all and clears
// the report with saveError(false, "").
class FlowRecord : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    explicit FlowRecord(QObject* parent = nullptr);
    ~FlowRecord() override;

    // Tests set a clock of their own; the default is QDateTime::currentDateTime.
    void setClock(Clock clock);

    // Starts a record on path with a row every saveTime seconds. A record still
    // running is saved and closed first. Nothing is written to disk yet.
    void start(double saveTime, const QString& path);
    // Saves and closes the running record; does nothing without one.
    void stop();
    // The record step: writes a row when one is due. Values in percent of full scale.
    void step(double activeSetpoint, double flow);

    bool isRecording() const;

signals:
    // A save failed (isSet true, once until it recovers) or succeeded again (false).
    void saveError(bool isSet, QString msg);

private:
    struct Private;
    void saveDocument();
    qint64 dueAfter(const QDateTime& from) const;

    Private* d;
};
