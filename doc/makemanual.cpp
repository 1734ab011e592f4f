// Build tool: turns the Markdown manual into the PDF that "Helper" opens.
// Usage: makemanual <input.md> <output.pdf>
#include <QFile>
#include <QFileInfo>
#include <QDir>
#include <QGuiApplication>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <QTextStream>

#include <cstdio>

namespace {

int fail(const QString& msg)
{
    std::fprintf(stderr, "makemanual: %s\n", qPrintable(msg));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    // Text layout needs fonts and therefore a GUI application, but no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QStringList args = app.arguments();
    if (args.size() != 3)
        return fail(QStringLiteral("usage: makemanual <input.md> <output.pdf>"));

    QFile in(args.at(1));
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text))
        return fail(QStringLiteral("cannot read %1: %2").arg(in.fileName(), in.errorString()));
    const QString markdown = QString::fromUtf8(in.readAll());
    if (markdown.trimmed().isEmpty())
        return fail(QStringLiteral("%1 is empty").arg(in.fileName()));

    const QString outPath = args.at(2);
    if (!QDir().mkpath(QFileInfo(outPath).absolutePath()))
        return fail(QStringLiteral("cannot create the folder of %1").arg(outPath));

    QTextDocument doc;
    QFont font(QStringLiteral("DejaVu Sans"), 10);
    doc.setDefaultFont(font);
    doc.setDefaultStyleSheet(QStringLiteral("table { border-collapse: collapse; } td, th { padding: 3px; }"));
    doc.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);

    // Write to a temporary name first so that a failed run leaves no half file behind.
    const QString tmpPath = outPath + QStringLiteral(".part");
    {
        QPdfWriter writer(tmpPath);
        writer.setTitle(QStringLiteral("Varnoc Instruction Manual"));
        writer.setCreator(QStringLiteral("Varnoc"));
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter));
        doc.print(&writer);
    }
    QFile tmp(tmpPath);
    if (!tmp.exists() || tmp.size() == 0)
        return fail(QStringLiteral("no PDF was written to %1").arg(tmpPath));
    QFile::remove(outPath);
    if (!tmp.rename(outPath))
        return fail(QStringLiteral("cannot rename %1 to %2: %3").arg(tmpPath, outPath, tmp.errorString()));
    return 0;
}
