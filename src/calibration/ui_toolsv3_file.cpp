// UI_ToolsV3: the register list as a spreadsheet ("Command" and "Value"
// columns in the folder "reg"): export and import.
#include "ui_toolsv3.h"

#include "languagedictionary.h"
#include "xlsxdocument.h"

#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QStandardItemModel>

#include <algorithm>
#include <cmath>

namespace {

const QString REG_DIR = QStringLiteral("reg");
const QString HEADER_NAME = QStringLiteral("Command");
const QString HEADER_VALUE = QStringLiteral("Value");

// A number as spreadsheet programs show it, at most 15 significant digits
// (a stored 0.30000000000000004 is 0.3), written out in full: 100000000, not
// 1e+08, and 0.0000123, not 1.23e-05.
QString numberText(double value)
{
    if (value == 0 || !qIsFinite(value))
        return QString::number(value == 0 ? 0.0 : value);
    // d.dddddddddddddde[+-]x: the digits and where the point goes.
    const QString e = QString::number(std::abs(value), 'e', 14);
    const int mark = e.indexOf(QLatin1Char('e'));
    QString digits = e.left(mark).remove(QLatin1Char('.'));
    const int point = e.mid(mark + 1).toInt() + 1; // digits before the point
    while (digits.endsWith(QLatin1Char('0')))
        digits.chop(1);
    QString text;
    if (point <= 0)
        text = QStringLiteral("0.") + QString(-point, QLatin1Char('0')) + digits;
    else if (point >= digits.size())
        text = digits + QString(point - digits.size(), QLatin1Char('0'));
    else
        text = digits.left(point) + QLatin1Char('.') + digits.mid(point);
    return value < 0 ? QLatin1Char('-') + text : text;
}

// A cell as the text the file shows: a number written out in full.
QString cellText(const xlsx::Document& doc, int row, int column)
{
    const QVariant value = doc.read(row, column);
    if (value.userType() == QMetaType::Double)
        return numberText(value.toDouble());
    if (value.userType() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    return value.toString();
}

// Whether a spreadsheet program has the file open: it leaves a lock file beside it.
bool isOpenElsewhere(const QString& path)
{
    const QFileInfo info(path);
    return QFileInfo::exists(info.dir().filePath(QStringLiteral(".~lock.") + info.fileName() + QLatin1Char('#')))
        || QFileInfo::exists(info.dir().filePath(QStringLiteral("~$") + info.fileName()));
}

} // namespace

void UI_ToolsV3::onClicked_exportRegs(bool v)
{
    Q_UNUSED(v);
    const QFileInfo dir(REG_DIR);
    if (dir.exists() ? !dir.isDir() : !QDir().mkdir(REG_DIR)) {
        showMessage(m_lang->translate(QStringLiteral("Can't create dir: ")) + REG_DIR);
        return;
    }
    // The whole-file save goes through a temporary file: a failed export
    // leaves the previous list as it was.
    const QString path = REG_DIR + QLatin1Char('/') + m_fileNameEdit->text();
    xlsx::Document doc(path);
    if (doc.isLoadFailed()) {
        // Not ours to replace: the engineer may still need what it holds.
        showMessage(m_lang->translate(QStringLiteral("Export fail. The file there is not a workbook this program can read, "
                                                     "so it is left as it was:"))
                    + QLatin1Char('\n') + doc.errorString());
        return;
    }
    QString failure;
    for (int row = 0; failure.isEmpty() && row <= m_model->rowCount(); ++row) {
        const QString name = row == 0 ? HEADER_NAME : m_model->index(row - 1, 0).data().toString();
        const QString value = row == 0 ? HEADER_VALUE : valueText(row - 1);
        if (!doc.write(row + 1, 1, name) || !doc.write(row + 1, 2, value))
            failure = QStringLiteral("row %1 cannot hold %2 = %3").arg(row + 1).arg(name, value);
    }
    if (failure.isEmpty() && !doc.save())
        failure = doc.errorString();
    if (failure.isEmpty())
        showMessage(m_lang->translate(QStringLiteral("Completed")));
    else if (isOpenElsewhere(path))
        showMessage(m_lang->translate(QStringLiteral("Export fail. Please close file at an other appliction!"))
                    + QLatin1Char('\n') + failure);
    else
        showMessage(m_lang->translate(QStringLiteral("Export fail.")) + QLatin1Char('\n') + failure);
}

void UI_ToolsV3::onClicked_importRegs(bool v)
{
    Q_UNUSED(v);
    // Window-modal without a nested event loop: replies go on arriving while
    // the user chooses, and the import runs when a file is chosen.
    auto* dialog = new QFileDialog(this, QStringLiteral("Open file"), QStringLiteral("."),
                                   QStringLiteral("Excell (*.xlsx)"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    connect(dialog, &QFileDialog::fileSelected, this, &UI_ToolsV3::importFile);
    dialog->open();
}

void UI_ToolsV3::importFile(const QString& path)
{
    if (path.isEmpty() || m_state != TOOL_IDLE)
        return;
    const QString fileName = QFileInfo(path).fileName();
    qDebug().noquote() << fileName;
    m_fileNameEdit->setText(fileName);

    QList<ImportRow> rows;
    QString message;
    if (!checkImportRows(path, rows, message)) {
        showMessage(message);
        return;
    }
    applyImport(rows);
}

// Reads and checks every row before anything is applied: a file with an
// unknown name or a value its register cannot take changes nothing.
bool UI_ToolsV3::checkImportRows(const QString& path, QList<ImportRow>& rows, QString& message) const
{
    const xlsx::Document doc(path);
    if (doc.isLoadFailed() || cellText(doc, 1, 1) != HEADER_NAME || cellText(doc, 1, 2) != HEADER_VALUE) {
        message = m_lang->translate(QStringLiteral("A unvalid register file!"));
        return false;
    }
    TervanCore core; // only to tell whether a value encodes for its register
    QStringList unknown;
    QStringList badRows;
    // rowCount() is the last row that holds a cell: the loop is bounded by the file.
    for (int n = 2; n <= doc.rowCount(); ++n) {
        // A name only a spreadsheet program could compute would end the list early.
        const QString nameProblem = doc.cellProblem(n, 1);
        if (!nameProblem.isEmpty()) {
            badRows << m_lang->translate(QStringLiteral("Row %1: the name is %2."))
                           .arg(QString::number(n), m_lang->translate(nameProblem));
            continue;
        }
        const QString name = cellText(doc, n, 1);
        if (name.isEmpty())
            break;
        const QString value = cellText(doc, n, 2);
        qDebug().noquote().nospace() << "cmd: " << name << ", val: " << value;
        if (!m_cmdList.contains(name)) {
            unknown << name;
            continue;
        }
        // "Undefined" is a known name without a row: it changes nothing.
        if (m_noCheckList.contains(name) || m_readOnlyList.contains(name) || !m_rowOf.contains(name))
            continue;
        // Sent as the file shows it, or not at all.
        const QString valueProblem = doc.cellProblem(n, 2);
        if (!valueProblem.isEmpty()) {
            badRows << m_lang->translate(QStringLiteral("Row %1: the value of %2 is %3."))
                           .arg(QString::number(n), name, m_lang->translate(valueProblem));
            continue;
        }
        QByteArray frame;
        QString err;
        if (!value.isEmpty() && !core.encodeWrite(name, value, frame, err)) {
            badRows << m_lang->translate(QStringLiteral("Row %1: %2 cannot take the value %3."))
                           .arg(QString::number(n), name, value);
            continue;
        }
        qDebug().noquote().nospace() << "--> cmd: " << name << ", val: " << value;
        // A name given twice takes its last value, at its first place.
        auto same = std::find_if(rows.begin(), rows.end(), [&name](const ImportRow& r) { return r.name == name; });
        if (same != rows.end())
            same->value = value;
        else
            rows << ImportRow{name, value};
    }
    if (unknown.isEmpty() && badRows.isEmpty())
        return true;
    QStringList lines;
    if (!unknown.isEmpty())
        lines << QStringLiteral("Unkown commands: ") + unknown.join(QLatin1Char(','));
    lines << badRows << m_lang->translate(QStringLiteral("Nothing imported."));
    message = lines.join(QLatin1Char('\n'));
    return false;
}

// Fills the table; the filled cells become one list of writes, a new device
// address last (nothing may follow it in a list encoded for the old one).
void UI_ToolsV3::applyImport(const QList<ImportRow>& rows)
{
    m_state = TOOL_IMPORT;
    m_pending.clear();
    m_written.clear();
    m_importWrites.clear();
    m_mismatches.clear();
    QList<ImportRow> ordered = rows;
    std::stable_partition(ordered.begin(), ordered.end(),
                          [](const ImportRow& r) { return r.name != QLatin1String("MACAddress"); });
    for (const ImportRow& r : qAsConst(ordered))
        m_model->setData(m_model->index(m_rowOf.value(r.name), 1), r.value, Qt::DisplayRole);

    const QList<mfc_frame_t> frames = m_importWrites;
    m_importWrites.clear();
    if (frames.isEmpty()) {
        m_state = TOOL_IDLE;
        return;
    }
    resetCounters(m_pending.size());
    startOperation(TOOL_IMPORT_WRITE, frames);
}
