// Record control of the others page: the switch, interval and file name of
// the flow record that the normal page writes.
#include "ui_othersv3.h"

#include "languagedictionary.h"
#include "notice.h"
#include "safefilename.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

namespace {
// Folder of the flow records, relative to the working directory.
const QString RECORD_DIR = QStringLiteral("record");
// A line edit's frame and text margins, both sides.
constexpr int FILE_NAME_PADDING = 8;
} // namespace

void UI_OthersV3::createSaveGroup()
{
    m_saveGroup = new QGroupBox(m_lang->translate(QStringLiteral("Save")));
    m_saveActive = new QCheckBox(m_lang->translate(QStringLiteral("Active")));
    m_saveActive->setObjectName(QStringLiteral("saveActive"));

    m_saveInterval = new QDoubleSpinBox;
    m_saveInterval->setObjectName(QStringLiteral("saveInterval"));
    m_saveInterval->setRange(0.1, 300.0);
    m_saveInterval->setValue(60.0);
    auto* intervalRow = new QHBoxLayout;
    intervalRow->addWidget(m_saveInterval);
    auto* intervalLabel = new QLabel(m_lang->translate(QStringLiteral("Save time(Second)")));
    intervalLabel->setWordWrap(true); // too long for the column on one line in English
    intervalRow->addWidget(intervalLabel, 1);

    m_fileName = new QLineEdit;
    m_fileName->setObjectName(QStringLiteral("saveFileName"));
    // Room for the whole name proposed for a serial number of seven characters.
    const int textWidth = m_fileName->fontMetrics().horizontalAdvance(QStringLiteral("SN00000_000000_000000.xlsx"));
    m_fileName->setMinimumWidth(textWidth + FILE_NAME_PADDING);

    m_saveBox = new QGroupBox;
    m_saveBox->setObjectName(QStringLiteral("saveBox"));
    auto* inner = new QVBoxLayout(m_saveBox);
    inner->addLayout(intervalRow);
    inner->addWidget(m_fileName);

    auto* box = new QVBoxLayout(m_saveGroup);
    box->addWidget(m_saveActive);
    box->addWidget(m_saveBox);
}

void UI_OthersV3::onClicked_activeSave(bool v)
{
    // Without the folder no record can be written: say so and stay off.
    if (v && !makeRecordDir()) {
        m_saveActive->setChecked(false);
        showRecordDirError();
        return;
    }

    QString path = RECORD_DIR + QLatin1Char('/') + m_fileName->text();
    if (v && !isPlainFileName(m_fileName->text())) {
        m_saveActive->setChecked(false);
        showNotice(this, m_lang->translate(QStringLiteral("Record not started: \"%1\" is not a file name inside the folder %2."))
                             .arg(m_fileName->text(), RECORD_DIR));
        return;
    }
    if (v && isPathTaken(path)) {
        // A typed name, or one proposed twice within a second, may be taken.
        const QString taken = path;
        path = freeFilePath(taken);
        m_fileName->setText(QFileInfo(path).fileName());
        showNotice(this, m_lang->translate(QStringLiteral("%1 already exists; the record is written to %2."))
                             .arg(taken, path));
    }
    emit saveRecord_req(v, m_saveInterval->value(), path);
    m_saveBox->setEnabled(!v);
    if (!v) {
        // The next record gets a new name.
        const QString name = recordFileName();
        if (!name.isEmpty())
            m_fileName->setText(name);
    }
}

bool UI_OthersV3::makeRecordDir() const
{
    const QFileInfo info(RECORD_DIR);
    if (info.isDir())
        return true;
    if (info.exists())
        return false; // a file of that name is in the way
    return QDir().mkdir(RECORD_DIR);
}

void UI_OthersV3::showRecordDirError()
{
    if (m_dirErrorBox)
        return; // one box at a time, however many replies ask for a name
    auto* box = new QMessageBox;
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Warning);
    box->setText(QStringLiteral("无法创建目录：%1！").arg(RECORD_DIR));
    box->setStandardButtons(QMessageBox::Ok);
    m_dirErrorBox = box;
    box->show();
}

// The proposed file name, without the folder; empty when the folder cannot be
// made (the user has been told).
QString UI_OthersV3::recordFileName()
{
    if (!makeRecordDir()) {
        showRecordDirError();
        return QString();
    }
    return safeFileBase(m_serialNumber) + QLatin1Char('_')
        + QDateTime::currentDateTime().toString(QStringLiteral("yyMMdd_hhmmss"))
        + QStringLiteral(".xlsx");
}

void UI_OthersV3::setSerialNumber(const QString& serial)
{
    m_serialNumber = serial;
    if (m_saveActive->isChecked())
        return; // the running record keeps its name
    const QString name = recordFileName();
    if (!name.isEmpty())
        m_fileName->setText(name);
}
