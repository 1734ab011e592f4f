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

namespace {

const QString REG_DIR = QStringLiteral("reg");
const QString HEADER_NAME = QStringLiteral("Command");
const QString HEADER_VALUE = QStringLiteral("Value");

// A cell as text whatever its type: a number gives its shortest text form.
QString cellText(const xlsx::Document& doc, int row, int column)
{
    return doc.read(row, column).toString();
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
    xlsx::Document doc(REG_DIR + QLatin1Char('/') + m_fileNameEdit->text());
    bool ok = doc.write(1, 1, HEADER_NAME) && doc.write(1, 2, HEADER_VALUE);
    for (int row = 0; ok && row < m_model->rowCount(); ++row) {
        ok = doc.write(row + 2, 1, m_model->index(row, 0).data().toString())
            && doc.write(row + 2, 2, valueText(row));
    }
    ok = ok && doc.save();
    showMessage(m_lang->translate(ok ? QStringLiteral("Completed")
                                     : QStringLiteral("Export fail. Please close file at an other appliction!")));
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
