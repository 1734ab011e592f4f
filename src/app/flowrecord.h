#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>

// The flow record of the normal page: one spreadsheet row of date-time, active
// setpoint and flow at most once per interval, saved after every row.
//
// Saved rows are not kept in memory, so a record may run for weeks. A record
// that fills its sheet, or whose file was removed or changed by someone else,
// continues in a new file beside it: the same name with "_2", "_3", ... before
// the extension, the same captions.
//
// A record never replaces a file. A file that appears at its name between the
// start and the first save stays as it is: the record goes on in the next free
// name and tells the user through nameTaken.
//
// A failed save (or a row that could not be written) is reported once through
// saveError(true, msg); unsaved rows wait for the next save, and the next
// save that succeeds clears the report with saveError(false, "").
class FlowRecord : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    explicit FlowRecord(QObject* parent = nullptr);
    ~FlowRecord() override;

    // Tests set a clock of their own; the default is QDateTime::currentDateTime.
    void setClock(Clock clock);
    // Rows a file may hold, captions included (at least 2): the sheet's limit
    // unless a test or benchmark needs a short one.
    void setRowLimit(int rows);

    // Starts a record on path with a row every saveTime seconds. A record still
    // running is saved and closed first. Nothing is written to disk yet.
    void start(double saveTime, const QString& path);
    // Saves and closes the running record; does nothing without one. A failed
    // save is reported as any other and also returned (empty when saved):
    // its unsaved rows are gone with the record.
    QString stop();
    // The record step: writes a row when one is due. Values in percent of full scale.
    void step(double activeSetpoint, double flow);

    bool isRecording() const;

signals:
    // A save failed (isSet true, once until it recovers) or succeeded again (false).
    void saveError(bool isSet, QString msg);
    // The first save found the started name taken; msg, in the user's
    // language, names it and the file the record is written to instead.
    void nameTaken(QString msg);

private:
    struct Private;
    void openFile(const QString& path);
    void continueInNewFile();
    QString saveDocument();
    void report(const QString& problem);
    qint64 dueAfter(const QDateTime& from) const;

    Private* d;
};
