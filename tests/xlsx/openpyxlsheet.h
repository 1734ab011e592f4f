#pragma once
// What an independent reader (Debian's python3 with openpyxl, after a checksum test
// of every zip entry) finds in a workbook's first sheet: rows[0][0] is A1; text cells
// as their text, others as "type:value" ("int:100", "bool:True"), empty ones as "".

#include <QtCore>

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
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(script), path});
    if (!py.waitForFinished(120000) || py.exitCode() != 0)
        return {QStringLiteral("openpyxl: ") + QString::fromUtf8(py.readAllStandardError()), {}};
    OpenpyxlSheet sheet;
    for (const QJsonValue& row : QJsonDocument::fromJson(py.readAllStandardOutput()).array())
        sheet.rows << row.toVariant().toStringList();
    return sheet;
}
