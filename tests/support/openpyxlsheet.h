#pragma once
// Debian's python3 (not whatever python is first on the PATH) as an independent
// reader and writer of workbooks.

#include <QtCore>

// Runs `script` with `args`; true and its standard output, or false and why it failed.
inline bool runPython(const QString& script, const QStringList& args, QByteArray& out)
{
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"), QStringList{QStringLiteral("-c"), script} + args);
    const bool ok = py.waitForFinished(120000) && py.exitStatus() == QProcess::NormalExit && py.exitCode() == 0;
    out = ok ? py.readAllStandardOutput() : py.readAllStandardError();
    return ok;
}

// What openpyxl finds in a workbook's first sheet, after a checksum test of every
// zip entry: rows[0][0] is A1; text cells as their text, others as "type:value"
// ("int:100", "bool:True"), empty ones as "".
struct OpenpyxlSheet {
    QString error; // empty when the file was read
    QList<QStringList> rows;
};

inline OpenpyxlSheet readWithOpenpyxl(const QString& path)
{
    static const char script[] = R"(
import json, sys, zipfile, openpyxl
if zipfile.ZipFile(sys.argv[1]).testzip():
    sys.exit("bad zip entry")
wb = openpyxl.load_workbook(sys.argv[1])
cell = lambda v: "" if v is None else v if isinstance(v, str) else "%s:%r" % (type(v).__name__, v)
rows = [[cell(v) for v in r] for r in wb.worksheets[0].iter_rows(values_only=True)]
print(json.dumps(rows))
)";
    QByteArray out;
    if (!runPython(QString::fromLatin1(script), {path}, out))
        return {QStringLiteral("openpyxl: ") + QString::fromUtf8(out), {}};
    OpenpyxlSheet sheet;
    for (const QJsonValue& row : QJsonDocument::fromJson(out).array())
        sheet.rows << row.toVariant().toStringList();
    return sheet;
}
